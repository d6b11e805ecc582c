#!/usr/bin/env bash
# Cross-builds the core library and tavorine-mov-cli for Windows with MinGW-w64
# (the _win32 platform files instead of the _posix ones) and, when Wine is
# present, recovers the demo card with the Windows executable.
#   apt-get install g++-mingw-w64-x86-64-posix wine64   # not part of install-deps
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || { echo "windows-check: $cxx is not installed" >&2; exit 2; }
out=${OUT:-build-win}
mkdir -p "$out/obj" "$out/include"
ln -sfn /usr/include/CLI "$out/include/CLI"  # header-only CLI11, without the host's other headers

# The preview's decoder module (FFmpeg) is not built for Windows; without it
# the CLI answers --thumbnails with its "no decoder" line.
version=$(sed -n 's/^project(TavorineMov VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
sources=$(git ls-files core cli preview | grep '\.cpp$' | grep -v '_posix\.cpp$' | grep -v '^preview/decoder/')
for src in $sources; do
  obj="$out/obj/$(echo "$src" | tr / _).o"
  "$cxx" -std=c++23 -O2 -Wall -Wextra -Icore -Icli -Ipreview -I"$out/include" \
    "-DTAVORINE_VERSION=\"$version\"" -c "$src" -o "$obj" &
  while [ "$(jobs -r | wc -l)" -ge "${JOBS:-2}" ]; do sleep 0.2; done
done
wait
# GCC 12's libstdc++ defines type_info::operator== both inline (C++23) and in
# the static library; the definitions are the same.
"$cxx" -static -Wl,--allow-multiple-definition -o "$out/tavorine-mov-cli.exe" "$out"/obj/*.o
echo "windows-check: built $out/tavorine-mov-cli.exe"

wine=$(command -v wine64 || command -v wine || ls /usr/lib/wine/wine64 2>/dev/null || true)
[ -n "$wine" ] || { echo "windows-check: no Wine, not run"; exit 0; }
build=${BUILD_DIR:-build}
[ -x "$build/tavorine-cardgen" ] || cmake --build "$build" --target tavorine-cardgen -j2
mkdir -p "$out/run"
rm -rf "$out/run/recovered"
"$build/tavorine-cardgen" demo --out "$out/run/demo.img" >/dev/null
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-$PWD/$out/wineprefix} "$wine" "$out/tavorine-mov-cli.exe" \
  recover "$(winpath "$out/run/demo.img")" --out "$(winpath "$out/run/recovered")" --mode deletion
ls -l "$out/run/recovered"
