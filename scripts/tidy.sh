#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over every source file of the
# project; exits non-zero on any finding. Uses clang-tidy-16: clang 14 cannot
# parse GCC 12's <expected>.
#   scripts/tidy.sh [BUILD_DIR]      (default build-tidy; configured when missing)
set -euo pipefail
cd "$(dirname "$0")/.."

tidy=$(command -v clang-tidy-16 || true)
[ -n "$tidy" ] || { echo "tidy: clang-tidy-16 is not installed (apt-get install clang-tidy-16)" >&2; exit 2; }
build=${1:-build-tidy}
if [ ! -f "$build/compile_commands.json" ]; then
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi
# Qt's generated sources must exist for the GUI files to parse.
cmake --build "$build" -j"${JOBS:-2}" --target tavorine_gui_autogen >/dev/null 2>&1 || true

# Clang 16 spells C++23 "c++2b" and announces an older concepts level than
# libstdc++ 12 wants before it shows std::expected.
files=$(git ls-files 'core/*.cpp' 'cli/*.cpp' 'app/*.cpp' 'tools/*.cpp' 'tests/*.cpp' 'bench/*.cpp' |
  grep -v '_win32\.cpp$' | grep -v '^tests/fuzz/')
run-clang-tidy-16 -quiet -p "$build" -clang-tidy-binary "$tidy" -j "${JOBS:-2}" \
  -extra-arg=-std=c++2b -extra-arg=-U__cpp_concepts -extra-arg=-D__cpp_concepts=202002L \
  $files > "$build/tidy.log" 2>&1 && status=0 || status=$?
grep -E '(warning|error): ' "$build/tidy.log" | sort -u || true
if [ "$status" -ne 0 ]; then
  echo "tidy: findings above (full output in $build/tidy.log)" >&2
  exit 1
fi
echo "tidy: clean ($(echo "$files" | wc -w) files)"
