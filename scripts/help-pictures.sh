#!/usr/bin/env bash
# Makes the pictures of the program's windows in the help pages (data/Help/HTML/Window-*.png) from
# the program itself, on the offscreen platform with the test picture as camera. Run it after a
# window changed; the test suite fails while the committed pictures no longer match the windows.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j2 --target velmora velmora_window_pictures
QT_QPA_PLATFORM=offscreen "$build/bin/velmora_window_pictures" data/Help/HTML
ls data/Help/HTML/Window-*.png
