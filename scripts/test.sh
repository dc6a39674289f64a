#!/usr/bin/env bash
# Builds everything and runs every test: the normal build (engine, program,
# GUI tests under Xvfb, benchmarks), then the engine under Address- and
# UndefinedBehaviorSanitizer with clang, including short fuzzing runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 4)

echo "== Normal build =="
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$jobs"
(cd build/release && ctest --output-on-failure -j "$jobs")

echo "== Scalar kernels only: the engine built without its vector kernels =="
# Every kernel level gives the same results; this build keeps the portable
# one whole, as machines without SSE2 or AVX2 run it.
cmake -S . -B build/scalar -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELLVAR_SCALAR_KERNELS=ON \
  -DTELLVAR_BUILD_DESKTOP=OFF -DTELLVAR_BUILD_BENCH=OFF >/dev/null
cmake --build build/scalar -j "$jobs" --target brennock_processor_tests
build/scalar/tests/engine/brennock_processor_tests --gtest_color=no --gtest_brief=1

echo "== Sanitizer build (clang, address + undefined, fuzz targets, instrumented codec libraries) =="
# libjpeg-turbo and libtiff are instrumented copies built from Debian's
# source packages of the installed versions (once; cached in build/).
JOBS=$jobs bash scripts/build-sanitize.sh
(cd build/sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

echo "== ThreadSanitizer build (clang): concurrent registration, worker and progress tests =="
# Real automatic runs under Xvfb: worker thread, per-frame threads, cancel,
# closing the window during a run. Only these tests: the rest of the GUI
# suite has no threads of its own.
CC=clang CXX=clang++ cmake -S . -B build/tsan-desktop -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTELLVAR_TSAN=ON -DTELLVAR_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan-desktop -j "$jobs" --target tellvar_gui_tests brennock_processor_tests
# Per-frame calls share one processor: the stack sum, the run message and
# the read-ahead queue are checked for races here.
build/tsan-desktop/tests/engine/brennock_processor_tests --gtest_color=no \
  --gtest_filter='ConcurrentRun*:RunLoop*:ReadAhead*:Formats/RunEquivalence*:Registration.FailedImages*'
# ignore_noninstrumented_modules: the toolkit, GLib and fontconfig are not
# instrumented and synchronise their own threads in ways the sanitizer cannot
# see; every access made by our instrumented code is still checked. A report
# makes the run exit non-zero.
LANG=C LC_ALL=C NO_AT_BRIDGE=1 TSAN_OPTIONS="ignore_noninstrumented_modules=1" \
  xvfb-run -a -s "-screen 0 1280x1024x24" build/tsan-desktop/tests/desktop/tellvar_gui_tests \
  --gtest_filter='AutoRun*:ProgressDialog*' --gtest_color=no

echo "== AddressSanitizer GUI build (clang): a run's end inside real modal loops =="
# The run lifecycle tests open real message boxes and dialogs and let the
# run's events arrive while they are open; under AddressSanitizer a window
# used after it was destroyed shows, with where it was freed. With them the
# other run tests (worker, progress, cancel). Address only, so that a use
# after free is reported as such. GTK, GLib and fontconfig keep allocations
# to the end, so leaks are not looked for here.
asan="-fsanitize=address -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B build/asan-gui -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTELLVAR_BUILD_BENCH=OFF -DCMAKE_C_FLAGS="$asan" -DCMAKE_CXX_FLAGS="$asan" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address \
  >/dev/null
cmake --build build/asan-gui -j "$jobs" --target tellvar_gui_tests
LANG=C LC_ALL=C NO_AT_BRIDGE=1 ASAN_OPTIONS=detect_leaks=0 \
  xvfb-run -a -s "-screen 0 1280x1024x24" build/asan-gui/tests/desktop/tellvar_gui_tests \
  --gtest_filter='RunLifecycle*:AutoRun*:ProgressDialog*' --gtest_color=no
