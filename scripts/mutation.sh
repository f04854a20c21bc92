#!/usr/bin/env bash
# Mutation testing of the card's code: changes single lines of src/ the way real bugs look (an
# operator swapped, a constant off by one, a condition negated, a call dropped, a retry count
# cut), rebuilds a copy of the tree incrementally for each, runs the native suite, and prints
# the score and every mutant no test killed, with its file and line.
#
# Usage: scripts/mutation.sh [--seed S] [--count N] [--build DIR] [--timeout S] [--list] [PATH...]
#   --seed S     which mutants are drawn (default 1); the same seed draws the same mutants
#   --count N    how many (default 150)
#   --build DIR  the mutated copy and its build (default build-mutation/)
#   --list       print the drawn mutants without building
#   PATH         draw only from these files or folders of src/
# A mutant takes some 20 to 40 s on two cores (an incremental build and the three suites).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh python3 g++ cmake make libgtest-dev libgmock-dev
exec python3 scripts/mutants.py "$@"
