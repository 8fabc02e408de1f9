#!/usr/bin/env bash
# Sets up the machine, builds Velmora and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target velmora
exec build/bin/velmora "$@"
