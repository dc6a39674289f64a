#!/usr/bin/env bash
# Configures and builds build/sanitize: the engine and its tests with clang
# under Address- and UndefinedBehaviorSanitizer, the fuzz targets, and the
# instrumented copies of libjpeg-turbo and libtiff (scripts/codec-libs.sh)
# in place of the system's.
#
#   bash scripts/build-sanitize.sh [SECONDS]   # how long ctest fuzzes each target (20)
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc 2>/dev/null || echo 4)}
CODEC_LIBS_JOBS=$jobs bash scripts/codec-libs.sh build/codec-libs
CC=clang CXX=clang++ cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug \
  -DTELLVAR_SANITIZE=ON -DTELLVAR_FUZZ=ON -DTELLVAR_BUILD_DESKTOP=OFF \
  -DTELLVAR_BUILD_BENCH=OFF -DTELLVAR_CODEC_LIBS="$PWD/build/codec-libs/prefix" \
  -DTELLVAR_FUZZ_SECONDS="${1:-20}" >/dev/null
cmake --build build/sanitize -j "$jobs"
