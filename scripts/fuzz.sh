#!/usr/bin/env bash
# Runs the libFuzzer targets (fuzz/) for a while, built with clang and AddressSanitizer in
# build-fuzz/, starting from the inputs in fuzz/corpus (left as they are: what the fuzzer finds goes
# to a scratch folder). Any crash, leak or sanitizer report fails the run.
#   scripts/fuzz.sh [seconds per target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF
cmake --build build-fuzz -j2 --target fuzz_dib_load

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
echo "fuzz_dib_load: ${seconds} s from $(ls fuzz/corpus/dib | wc -l) starting inputs"
# -rss_limit_mb: a header that asks for a picture of gigabytes must be refused, not allocated.
build-fuzz/bin/fuzz_dib_load -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$scratch/" "$scratch" fuzz/corpus/dib 2>&1 | tail -n 12
