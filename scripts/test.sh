#!/usr/bin/env bash
# Runs every test: installs what is missing, builds everything, runs the core
# tests a second time under AddressSanitizer + UndefinedBehaviorSanitizer,
# then the whole suite, then a few seconds of every fuzz target when
# clang++-16 is there (scripts/fuzz.sh). Ends with ctest's summary and the fuzzing summary.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-2}
scripts/install-deps.sh

echo "== sanitizer build (core, the preview decoder and their tests, no GUI) =="
start=$SECONDS
# -O1 and line tables only: the sanitizers find the same faults, and the
# build takes half the time.
cmake -S . -B build-asan -DTAVORINE_BUILD_GUI=OFF -DTAVORINE_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" >/dev/null
cmake --build build-asan -j"$jobs" --target core_tests preview_tests tavorine-cardgen
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  build-asan/tests/core_tests --gtest_brief=1
# Damaged files through FFmpeg's demuxer and decoder.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  TAVORINE_DECODER="$PWD/build-asan/tavorine-mov-decoder.so" build-asan/tests/preview_tests --gtest_brief=1

echo "== sanitizer pass took $((SECONDS - start)) s =="

echo "== full build and suite =="
start=$SECONDS
# Line tables only: a test run needs no more debug information.
cmake -S . -B build "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" >/dev/null
cmake --build build -j"$jobs"
echo "== full build took $((SECONDS - start)) s =="
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 900

echo "== fuzzing: 5 s per target (skipped without clang++-16) =="
start=$SECONDS
scripts/fuzz.sh 5
echo "== fuzzing took $((SECONDS - start)) s =="
