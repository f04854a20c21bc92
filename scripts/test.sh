#!/usr/bin/env bash
# Builds everything and runs the whole test suite three times: on this machine (build/), under
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), and built for the card's 32-bit
# big-endian PowerPC under qemu-ppc (build-ppc/). Then the fuzzers, when scripts/fuzz.sh is there.
# Any failure ends it with a non-zero status. Prints each stage's wall time at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

# The sanitizer stage needs nothing more: g++ brings libasan and libubsan.
# The real-kernel Ethernet tests need ip, tc (iproute2), nsenter and iptables; the package
# tests need CPack's helpers dpkg-shlibdeps (dpkg-dev) and file, and gzip for the man pages.
native_packages=(g++ cmake make libgtest-dev libgmock-dev nlohmann-json3-dev iproute2 iptables util-linux dpkg-dev file gzip)
ppc_packages=(g++-powerpc-linux-gnu qemu-user googletest)

timings=()
stage() {
  local name=$1
  shift
  local start=$SECONDS
  echo "=== $name"
  "$@"
  timings+=("$(printf '%-28s %4d s' "$name" $((SECONDS - start)))")
}

preset_run() {
  cmake --preset "$1"
  cmake --build --preset "$1"
  ctest --preset "$1"
}

report() {
  local status=$?
  if [ ${#timings[@]} -gt 0 ]; then
    echo "=== wall time per stage"
    printf '  %s\n' "${timings[@]}"
  fi
  [ "$status" -eq 0 ] || echo "=== FAILED (status $status)"
}
trap report EXIT

stage "install dependencies" scripts/install-deps.sh "${native_packages[@]}" "${ppc_packages[@]}"
stage "native build and tests" preset_run default
stage "asan build and tests" preset_run asan
stage "ppc build and tests (qemu)" preset_run ppc
if [ -x scripts/fuzz.sh ]; then
  stage "fuzz" scripts/fuzz.sh
fi
