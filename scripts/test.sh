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

echo "== Sanitizer build (clang, address + undefined, fuzz targets) =="
CC=clang CXX=clang++ cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug \
  -DTELLVAR_SANITIZE=ON -DTELLVAR_FUZZ=ON -DTELLVAR_BUILD_DESKTOP=OFF \
  -DTELLVAR_BUILD_BENCH=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
(cd build/sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")
