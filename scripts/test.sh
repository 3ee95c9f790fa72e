#!/usr/bin/env bash
# Builds and runs the whole test suite. KO_SANITIZE=1 builds with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ instead of build/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${KO_SANITIZE:-0}" = 1 ]; then
  dir=build-asan
  flags=(-DKO_SANITIZE=ON -DKO_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  flags=()
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j2
