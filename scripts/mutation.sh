#!/usr/bin/env bash
# Mutation testing of the card's code: changes single lines of src/ the way real bugs look (an
# operator swapped, a constant off by one, a condition negated, a call dropped, a retry count
# cut), rebuilds a copy of the tree incrementally for each, runs the native suite, and prints
# the score and every mutant no test killed, with its file and line.
#
# Usage: scripts/mutation.sh [--seed S] [--count N] [--build DIR] [--timeout S] [--list]
#                            [--jobs N] [--only FILE:LINE[:KIND]]... [--rerun JSON] [PATH...]
#   --seed S     which mutants are drawn (default 1); the same seed draws the same mutants
#   --count N    how many (default 150)
#   --build DIR  the mutated copy and its build (default build-mutation/)
#   --list       print the drawn mutants without building
#   --jobs N     test shards run at once (default: one per core); the first failure stops the rest
#   --only F:L   the mutants of this line of src/ instead of a draw (repeatable)
#   --rerun J    the mutants recorded in J again (DIR/survivors.json after a run)
#   PATH         draw only from these files or folders of src/
# A mutant takes some 10 s on two cores (an incremental build and the suite up to its first
# failure), a survivor some 30 s.
# DIR/results.json records each mutant's verdict and the test program and tests that killed it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh python3 g++ cmake make libgtest-dev libgmock-dev
exec python3 scripts/mutants.py "$@"
