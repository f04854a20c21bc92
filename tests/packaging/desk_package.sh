#!/usr/bin/env bash
# The desk's Debian package as an engineer gets it, run from where it was unpacked. Checks the
# package's name and architecture, that everything lies under /usr, that kmbdiag-sim,
# kmbdiag-campaign, the daemons, the man pages, the coverage report and the completion are in
# it, that the installed program runs, that the man pages cover every option, and that the
# installed completion offers options and fault names.
#
#   desk_package.sh BUILD_DIR CPACK
set -euo pipefail
source "$(dirname "$0")/package_steps.sh"
make_package "$1" "$2"

expect_field Package kmbdiag-sim
expect_field Architecture "$(dpkg --print-architecture)"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no Depends on the C library: $(dpkg-deb -f "$deb" Depends)"

dpkg-deb -c "$deb" | awk '{print $6}' >"$scratch/contents"
if grep -v -e '^\./$' -e '^\./usr/' "$scratch/contents"; then
    fail "files outside /usr"
fi
for f in usr/bin/kmbdiag-sim usr/bin/kmbdiag-campaign usr/bin/kmb-agentd-sim usr/bin/kmb-seld-sim \
    usr/share/man/man1/kmbdiag-sim.1.gz usr/share/man/man1/kmbdiag-campaign.1.gz usr/share/man/man1/kmb-agentd-sim.1.gz \
    usr/share/man/man1/kmb-seld-sim.1.gz usr/share/man/man8/kmbdiag.8.gz \
    usr/share/doc/kmbdiag-sim/fault-coverage.md usr/share/bash-completion/completions/kmbdiag-sim; do
    grep -qx "\./$f" "$scratch/contents" || fail "missing /$f"
done
grep -q 'usr/bin/kmbdiag$' "$scratch/contents" && fail "the card's program has no place on a desk"

version=$("$root/usr/bin/kmbdiag-sim" --version) || fail "kmbdiag-sim --version exits $?"
[ "$version" = "kmbdiag-sim $(dpkg-deb -f "$deb" Version)" ] || fail "version: '$version'"

# Every option the installed PROGRAM's --help lists is described in its man page.
page_covers_options() {
    local options
    options=$("$root/usr/bin/$1" --help | sed -n 's/^ *\(-[a-zA-Z], \)\{0,1\}--\([a-z-]*\) .*/\2/p')
    [ -n "$options" ] || fail "no options in $1 --help"
    zcat "$root/usr/share/man/man1/$1.1.gz" >"$scratch/$1.1"
    for option in $options; do
        grep -qF -- "\-\-${option//-/\\-}" "$scratch/$1.1" || fail "$1(1) lacks the option --$option"
    done
}
page_covers_options kmbdiag-sim
page_covers_options kmbdiag-campaign
# The page lists every fault the installed program knows.
faults=$("$root/usr/bin/kmbdiag-sim" --list-faults | sed -n 's/^  \([a-z0-9-]*\) .*/\1/p')
[ -n "$faults" ] || fail "no faults listed"
for fault in $faults; do
    grep -qF ".B ${fault//-/\\-}" "$scratch/kmbdiag-sim.1" || fail "kmbdiag-sim(1) lacks the fault $fault"
done

# The completion, as bash-completion would load it, with the installed program on PATH: what
# it offers is DeskCompletion's; here, that the installed file under this name offers it.
complete_words() {
    PATH=$root/usr/bin:$PATH bash -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _kmbdiag_sim
        printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/kmbdiag-sim" "$@"
}
complete_words kmbdiag-sim --fa | grep -qx -- --fault || fail "completion of --fa"
[ "$(complete_words kmbdiag-sim --fault counter-agent-pin7 | sort | tr '\n' ' ')" = \
    "counter-agent-pin7-stuck-high counter-agent-pin7-stuck-low " ] || fail "completion of a fault name"
echo "kmbdiag-sim package: ${deb##*/}"
