#!/usr/bin/env bash
# Builds every fuzz target (fuzz/*.cpp) with clang's libFuzzer in build-fuzz/ and runs each for
# KO_FUZZ_SECONDS seconds (20 by default) from an empty corpus; a crash or sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KO_FUZZ_SECONDS:-20}
# Warnings stop the product build (gcc); clang's own set only warns here.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKO_FUZZ=ON -DKO_BENCH=OFF -DKO_WERROR=OFF >/dev/null
targets=()
for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
cmake --build build-fuzz --target "${targets[@]}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
for t in "${targets[@]}"; do
  corpus=$(mktemp -d)
  echo "fuzz: $t for ${seconds}s"
  build-fuzz/fuzz/"$t" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$corpus" 2>&1 |
    grep -E '^(stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' || true
  status=${PIPESTATUS[0]}
  rm -rf "$corpus"
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $t failed (status $status)"
    exit 1
  fi
done
echo "fuzz: every target ran clean"
