#!/usr/bin/env bash
# Installs the packages it needs (scripts/install-deps.sh), builds and runs the whole test suite
# (ctest). KO_SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/;
# KO_TSAN=1 builds the threaded test programs with ThreadSanitizer in build-tsan/ and runs those.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
if [ "${KO_TSAN:-0}" = 1 ]; then
  cmake -S . -B build-tsan -G Ninja -DKO_TSAN=ON -DKO_BENCH=OFF >/dev/null
  cmake --build build-tsan --target test_errors test_sync test_platform test_storage test_help test_setup
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L '^test_(errors|sync|platform|storage|help)$'
  # The setup module's one thread of its own: the About page's icon reel.
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L '^test_setup$' -R '^(Reel|AboutPage|AboutRoad)\.'
  exit 0
fi
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
ctest --test-dir "$dir" --output-on-failure -j"$jobs"
