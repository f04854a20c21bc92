#!/usr/bin/env bash
# Checks that README's fuzzing table has a row for every fuzz target fuzz/CMakeLists.txt builds,
# and no row for a target that is gone, so that the table stays the list of what is fuzzed.
set -euo pipefail
cd "$(dirname "$0")/.."
built=$(sed -n 's/^kmb_fuzz_target(\([a-z0-9_]*\) .*/\1/p' fuzz/CMakeLists.txt | sort)
listed=$(sed -n '/^## Fuzzing/,/^## /s/^| `\([a-z0-9_]*\)` |.*/\1/p' README.md | sort)
missing=$(comm -23 <(echo "$built") <(echo "$listed"))
stale=$(comm -13 <(echo "$built") <(echo "$listed"))
status=0
for t in $missing; do echo "README.md: the fuzzing table has no row for the target $t"; status=1; done
for t in $stale; do echo "README.md: the fuzzing table lists $t, which fuzz/CMakeLists.txt does not build"; status=1; done
exit $status
