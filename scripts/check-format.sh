#!/usr/bin/env bash
# Fails when a C or C++ source of the repository differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run -Werror
echo "format: every source is formatted"
