#!/usr/bin/env bash
# Sets up the machine, builds Velmora with its tests and runs every test.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/,
#                               which also measures the line coverage of src/ and prints it
#   scripts/test.sh --tsan      ThreadSanitizer build in build-tsan/, only the suites whose code
#                               runs threads of its own (CTest label "threads": upload and ui)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build
# Warnings are errors in the ordinary build (the sanitizer builds compile at other optimisation
# levels, where GCC's flow-dependent warnings differ; they only report them).
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON)
targets=()
labels=()
run=()
coverage=0
case "${1:-}" in
--sanitize)
  build=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_COVERAGE=ON -DVELMORA_BUILD_BENCH=OFF)
  coverage=1
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  ;;
--tsan)
  build=build-tsan
  options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON -DVELMORA_BUILD_BENCH=OFF)
  # The suites whose own code runs threads: the upload engine (worker threads for the network),
  # the capture component on the test pattern (GStreamer's streaming threads and its pipeline
  # worker) and the windows over them. Left to the other runs: the network camera cases (tearing
  # down GStreamer's RTSP source now and then trips an internal check of this sanitizer version
  # while it describes a race inside GStreamer, which it would then suppress), the main window's
  # cases and the cases that run the whole program (too slow under the sanitizer for
  # their time limits). QtCaptureDialogsTest only puts Qt's file dialog to work, whose file list is
  # filled on a thread of Qt's own.
  targets=(--target velmora velmora_upload_tests velmora_ui_tests velmora_capture_tests)
  labels=(-L threads -E '^(NetworkCameraTest|MainWindowTest|Modes/MainWindowLeaveTest|QtCaptureDialogsTest|ProgramEndGstTest)\.')
  # Any report fails the test that caused it (exit code 66); the program the ui tests start
  # runs under the same options. The tests start programs (fork, then exec at once) while
  # threads run, which ThreadSanitizer refuses unless told that the child only execs.
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/scripts/tsan.supp"
  # Qt's own event dispatcher: with GLib's, every event the program handles would carry GLib
  # frames, which the suppressions for GStreamer's GLib would then hide.
  export QT_NO_GLIB=1
  # ThreadSanitizer needs the usual address layout; a kernel with more mmap randomness than it
  # knows makes it stop at start, so the layout is fixed for this run.
  if command -v setarch >/dev/null; then
    run=(setarch "$(uname -m)" -R)
  fi
  ;;
esac

cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build" -j2 "${targets[@]}"
# The FTP tests need the system interpreter, which has pyftpdlib.
export VELMORA_PYTHON=/usr/bin/python3
if [ "$coverage" = 1 ]; then
  find "$build" -name '*.gcda' -delete
fi
"${run[@]}" ctest --test-dir "$build" -j2 --output-on-failure --timeout 300 "${labels[@]}"
if [ "$coverage" = 1 ]; then
  echo "line coverage of src/ by the tests:"
  # The code moc writes is not ours to measure, and gcov cannot find its sources from there.
  find "$build" -path '*_autogen*' -name '*.gc*' -delete
  gcovr --root . --filter 'src/' --object-directory "$build" --print-summary --txt "$build/coverage.txt" \
    --gcov-ignore-parse-errors -j 2
fi
