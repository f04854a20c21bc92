#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) and runs
# each for a bounded time from its seed corpus. Fails on any crash, leak, overflow, hang or
# descriptor left open, and leaves the input that showed it in build-fuzz/artifacts/<target>/.
#
# Usage: scripts/fuzz.sh [TARGET...]     (every target when none is named)
# Environment: KMB_FUZZ_SECONDS   time per target (default 20)
#              KMB_FUZZ_BUILD     build folder (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${KMB_FUZZ_SECONDS:-20}"
build="${KMB_FUZZ_BUILD:-build-fuzz}"

scripts/install-deps.sh clang libclang-rt-14-dev cmake make
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKMB_WERROR=ON \
  -DKMB_BUILD_FUZZERS=ON -DKMB_BUILD_TESTS=OFF -DKMB_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$build"/fuzzers/*; do
    [ -x "$exe" ] && targets+=("$(basename "$exe")")
  done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets in $build/fuzzers" >&2
  exit 1
fi

# The simulated cards' state folders, in memory where the machine has /dev/shm; libFuzzer ends
# its processes without exit handlers, so the folders are removed here.
state_base=/dev/shm
[ -d "$state_base" ] || state_base="${TMPDIR:-/tmp}"
KMB_FUZZ_STATE_PARENT="$(mktemp -d "$state_base/kmb-fuzz-run-XXXXXX")"
export KMB_FUZZ_STATE_PARENT
trap 'rm -rf "$KMB_FUZZ_STATE_PARENT"' EXIT

failed=()
for t in "${targets[@]}"; do
  exe="$build/fuzzers/$t"
  seeds="fuzz/corpus/$t"
  work="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  log="$build/logs/$t.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  # New inputs go to the build folder's corpus (the first folder); the repo's seeds stay as
  # they are. Standard output and error of the code under test are closed (close_fd_mask);
  # libFuzzer's own report and the sanitizers' still reach the log.
  if "$exe" -dict="fuzz/dict/$t.dict" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$work" "$seeds" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz $t: ok, $runs inputs in ${seconds}s"
  else
    echo "fuzz $t: FAILED (log: $log, inputs: $artifacts/)"
    grep -E 'ERROR|SUMMARY|kmb fuzz' "$log" | head -5 || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: ${#failed[@]} of ${#targets[@]} targets failed: ${failed[*]}"
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran clean"
