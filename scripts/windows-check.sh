#!/usr/bin/env bash
# Cross-builds the core library and tavorine-mov-cli for Windows with CMake and
# MinGW-w64 (cmake/mingw-w64-x86_64-posix.cmake; the _win32 platform files
# instead of the _posix ones) and, when Wine is present, recovers the demo card
# with the Windows executable and compares every file with what the Linux
# build recovers.
#   apt-get install g++-mingw-w64-x86-64-posix wine64 wine ninja-build   # not part of install-deps
set -euo pipefail
cd "$(dirname "$0")/.."

command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
  { echo "windows-check: x86_64-w64-mingw32-g++-posix is not installed" >&2; exit 2; }
out=${OUT:-build-win}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

# The preview's decoder module (FFmpeg) is not built for Windows; without it
# the CLI answers --thumbnails with its "no decoder" line.
cmake "${generator[@]}" -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64-posix.cmake" \
  -DTAVORINE_BUILD_GUI=OFF -DTAVORINE_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out" -j"${JOBS:-2}" --target tavorine-mov-cli
echo "windows-check: built $out/tavorine-mov-cli.exe"

wine=$(command -v wine64 || ls /usr/lib/wine/wine64 2>/dev/null || command -v wine || true)
[ -n "$wine" ] || { echo "windows-check: no Wine, not run"; exit 0; }
build=${BUILD_DIR:-build}
[ -x "$build/tavorine-cardgen" ] && [ -x "$build/tavorine-mov-cli" ] ||
  cmake --build "$build" --target tavorine-cardgen tavorine-mov-cli -j"${JOBS:-2}"
run="$out/run"
rm -rf "$run"
mkdir -p "$run"
"$build/tavorine-cardgen" demo --out "$run/demo.img" >/dev/null
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-$(realpath -m "$out")/wineprefix} "$wine" "$out/tavorine-mov-cli.exe" \
  recover "$(winpath "$run/demo.img")" --out "$(winpath "$run/windows")" --mode deletion --quiet
"$build/tavorine-mov-cli" recover "$run/demo.img" --out "$run/linux" --mode deletion --quiet >/dev/null
diff -r "$run/linux" "$run/windows"
echo "windows-check: the Windows CLI recovered $(ls "$run/windows" | wc -l) files of the demo card, byte for byte as on Linux"
