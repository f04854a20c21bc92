#!/usr/bin/env bash
# Builds the diagnostic and runs it on the simulated card; arguments go to kmbdiag-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target kmbdiag-sim >/dev/null
exec build/kmbdiag-sim "$@"
