#!/usr/bin/env bash
# Runs every test: installs what is missing, then builds the core with
# clang++-16 under AddressSanitizer + UndefinedBehaviorSanitizer (and
# libFuzzer's coverage) and runs the core and preview tests there, builds
# everything else with the system compiler and runs the rest of the suite,
# then fuzzes every target a few seconds in the sanitized build
# (scripts/fuzz.sh). Nothing is compiled twice that one build can serve.
# Ends with ctest's summary and the fuzzing summary.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-3}  # three jobs keep two cores busy while one waits on the disk
scripts/install-deps.sh
# Sanitizer reports name the functions and lines where a symbolizer is there.
if symbolizer=$(command -v llvm-symbolizer-16 || command -v llvm-symbolizer); then
  export ASAN_SYMBOLIZER_PATH=$symbolizer
fi
total=$SECONDS

echo "== sanitized build (clang++-16: core, preview decoder, their tests, fuzz targets) =="
start=$SECONDS
# -O1 and line tables only: the sanitizers find the same faults, and the
# build takes half the time.
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-16 -DTAVORINE_FUZZ=ON \
  -DTAVORINE_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" >/dev/null
cmake --build build-fuzz -j"$jobs" --target core_tests preview_tests tavorine-cardgen \
  tavorine-mov-decoder fuzz_targets
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  build-fuzz/tests/core_tests --gtest_brief=1
# Damaged files through FFmpeg's demuxer and decoder.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  TAVORINE_DECODER="$PWD/build-fuzz/tavorine-mov-decoder.so" build-fuzz/tests/preview_tests --gtest_brief=1
echo "== sanitized build and tests took $((SECONDS - start)) s =="

echo "== full build and the rest of the suite =="
start=$SECONDS
# -O1 without debug information: the suite runs as fast and the build takes
# a fifth less time. The core and preview tests ran sanitized above.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -DNDEBUG" \
  -DTAVORINE_BUILD_GUI=ON -DTAVORINE_BUILD_TESTS=ON -DTAVORINE_CORE_TESTS=OFF >/dev/null
cmake --build build -j"$jobs"
echo "== full build took $((SECONDS - start)) s =="
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 900

echo "== fuzzing: 5 s per target =="
start=$SECONDS
scripts/fuzz.sh 5
echo "== fuzzing took $((SECONDS - start)) s =="
echo "== every test took $((SECONDS - total)) s after the installs =="
