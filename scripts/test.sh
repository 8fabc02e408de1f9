#!/usr/bin/env bash
# Sets up the machine, builds Velmora with its tests and runs every test.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF)
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
fi

cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build" -j2
# The FTP tests need the system interpreter, which has pyftpdlib.
export VELMORA_PYTHON=/usr/bin/python3
ctest --test-dir "$build" -j2 --output-on-failure --timeout 300
