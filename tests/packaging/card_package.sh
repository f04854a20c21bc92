#!/usr/bin/env bash
# The card's Debian package: made by CPack from the card's build folder and unpacked into a
# scratch root, it must hold exactly what the card's root file system takes, the static
# PowerPC program at /usr/local/bin/kmbdiag and its page, and the program must run (through
# the emulator) and refuse a machine that is no test fixture, as on a card out of its fixture.
#
#   card_package.sh BUILD_DIR CPACK [EMULATOR...]
set -euo pipefail
build=$1
cpack=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB"; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "one package expected, found: ${debs[*]}"
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = kmbdiag ] || fail "package name: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Architecture)" = powerpc ] || fail "architecture: $(dpkg-deb -f "$deb" Architecture)"
[ -z "$(dpkg-deb -f "$deb" Depends)" ] || fail "a static program depends on nothing: $(dpkg-deb -f "$deb" Depends)"

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')
[ "$files" = "./usr/local/bin/kmbdiag ./usr/local/share/man/man8/kmbdiag.8 " ] || fail "contents: $files"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
file -b "$root/usr/local/bin/kmbdiag" | grep -q 'ELF 32-bit MSB executable, PowerPC.*statically linked' ||
    fail "not a static 32-bit big-endian PowerPC program: $(file -b "$root/usr/local/bin/kmbdiag")"
file -b "$root/usr/local/bin/kmbdiag" | grep -q 'not stripped' && fail "the card's program goes on stripped"

[ -e /var/run/InTestFixture ] && { echo "this machine claims to be a test fixture; run skipped"; exit 0; }
status=0
out=$("$@" "$root/usr/local/bin/kmbdiag" </dev/null) || status=$?
[ "$status" -eq 1 ] || fail "exit status $status out of the fixture"
[ "$out" = "This KMB is not in the test fixture, diagnostic won't run" ] || fail "printed: $out"
echo "kmbdiag package: ${deb##*/}"
