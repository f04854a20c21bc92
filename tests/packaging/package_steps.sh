# What both package tests do first, sourced by each: a scratch folder that goes when the test
# ends, the one Debian package CPack makes from a build folder, unpacked into a scratch root (no
# dpkg database, no root needed), and a check of its control fields.

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }

# make_package BUILD_DIR CPACK: sets deb (the package) and root (where it was unpacked).
make_package() {
    "$2" -G DEB --config "$1/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
        { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB"; }
    local debs=("$scratch"/out/*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "one package expected, found: ${debs[*]}"
    deb=${debs[0]}
    root=$scratch/root
    dpkg-deb -x "$deb" "$root"
}

# expect_field FIELD VALUE: the package's control field FIELD is VALUE.
expect_field() {
    [ "$(dpkg-deb -f "$deb" "$1")" = "$2" ] || fail "$1: '$(dpkg-deb -f "$deb" "$1")', not '$2'"
}
