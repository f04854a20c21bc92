#!/usr/bin/env bash
# The card's Debian package: it must hold exactly what the card's root file system takes, the
# static PowerPC program at /usr/local/bin/kmbdiag and its page, and the program must run
# (through the emulator) and refuse a machine that is no test fixture, as on a card out of its
# fixture.
#
#   card_package.sh BUILD_DIR CPACK [EMULATOR...]
set -euo pipefail
source "$(dirname "$0")/package_steps.sh"
make_package "$1" "$2"
shift 2

expect_field Package kmbdiag
expect_field Architecture powerpc
expect_field Depends "" # a static program depends on nothing

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')
[ "$files" = "./usr/local/bin/kmbdiag ./usr/local/share/man/man8/kmbdiag.8 " ] || fail "contents: $files"

kind=$(file -b "$root/usr/local/bin/kmbdiag")
grep -q 'ELF 32-bit MSB executable, PowerPC.*statically linked' <<<"$kind" ||
    fail "not a static 32-bit big-endian PowerPC program: $kind"
grep -q 'not stripped' <<<"$kind" && fail "the card's program goes on stripped"

[ -e /var/run/InTestFixture ] && { echo "this machine claims to be a test fixture; run skipped"; exit 0; }
status=0
out=$("$@" "$root/usr/local/bin/kmbdiag" </dev/null) || status=$?
[ "$status" -eq 1 ] || fail "exit status $status out of the fixture"
[ "$out" = "This KMB is not in the test fixture, diagnostic won't run" ] || fail "printed: $out"
echo "kmbdiag package: ${deb##*/}"
