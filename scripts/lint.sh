#!/usr/bin/env bash
# Checks the sources as CI does: every C++ file formatted by .clang-format, and clang-tidy's
# focused checks (.clang-tidy) silent on the program's sources, its tools and its tests.
#   scripts/lint.sh [build folder]   (default build/, which must have compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/setup.sh

echo "clang-format: checking every C++ file"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

if [ ! -f "$build/compile_commands.json" ]; then
  echo "lint: $build/compile_commands.json is missing; build first (scripts/test.sh)" >&2
  exit 2
fi
echo "clang-tidy: checking src/, tools/ and tests/"
# GCC's command lines; clang does not know every GCC warning, which is not a finding.
run-clang-tidy -quiet -j 2 -p "$build" -extra-arg=-Wno-unknown-warning-option \
  "^$PWD/(src|tools|tests)/.*\.cpp$"
