#!/usr/bin/env bash
# Cross-builds the whole application for Windows with CMake and MinGW-w64
# (cmake/mingw-w64-x86_64-posix.cmake; the _win32 platform files instead of
# the _posix ones): core, CLI, wizard and their tests. Then, under Wine:
#   1. the Windows tests: core and Win32 platform tests, the wizard offscreen;
#   2. the CLI recovers the demo card byte for byte as the Linux build does;
#   3. the installer and the portable zip are made; the installer installs
#      silently into a fresh prefix, the installed CLI recovers the demo card,
#      the uninstaller leaves nothing behind (scripts/windows-install-check.sh);
#   4. the wizard's steps are walked under Xvfb with Qt's windows platform and
#      pictured into docs/screenshots/windows/ (or SHOTS_DIR).
# The Qt kit: ../shared/windows/qt6-mingw-6.4.2.tar.xz when present, otherwise
# what scripts/build-qt-windows.sh made. The Linux build (BUILD_DIR, default
# build) provides the card generator and the CLI to compare with.
#   OUT=build-win JOBS=3 SHOTS_DIR=docs/screenshots/windows scripts/windows-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh --windows
out=$(realpath -m "${OUT:-build-win}")
jobs=${JOBS:-3}
linux=$(realpath -m "${BUILD_DIR:-build}")
mkdir -p "$out"
say() { echo "windows-check: $*"; }
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }

# The kit, unpacked once per archive.
archive=$root/../shared/windows/qt6-mingw-6.4.2.tar.xz
if [ -f "$archive" ]; then
  stamp=$out/qt6-mingw/.unpacked
  if [ ! -f "$stamp" ] || [ "$archive" -nt "$stamp" ]; then
    rm -rf "$out/qt6-mingw"
    tar -C "$out" -xJf "$archive"
    touch "$stamp"
  fi
  kit=$out/qt6-mingw
elif [ -d build-qt-windows/qt6-mingw/lib/cmake/Qt6 ]; then
  kit=$root/build-qt-windows/qt6-mingw
else
  echo "windows-check: no Qt kit: put it in ../shared/windows or run scripts/build-qt-windows.sh" >&2
  exit 2
fi

# Wine: its own prefix, quiet, without the Mono and Gecko installers.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$out/wineprefix
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  wineserver -w
  "$wine" winecfg -v win10 >/dev/null 2>&1
fi
# A drive letter mapped to a folder: the Win32 listing must show it.
mkdir -p "$out/run/drive-t"
ln -sfn "$out/run/drive-t" "$WINEPREFIX/dosdevices/t:"

# The Linux side: card generator and CLI.
[ -f "$linux/CMakeCache.txt" ] ||
  cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVORINE_BUILD_TESTS=OFF >/dev/null
cmake --build "$linux" --target tavorine-cardgen tavorine-mov-cli -j"$jobs" >/dev/null

started=$(date +%s)
cmake -G Ninja -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64-posix.cmake" \
  -DCMAKE_PREFIX_PATH="$kit" -DQT_HOST_PATH=/usr -DCMAKE_BUILD_TYPE=Release \
  -DTAVORINE_LINUX_TESTDATA="$linux/testdata" >/dev/null
cmake --build "$out" -j"$jobs" >/dev/null
say "built core, CLI, wizard and tests for Windows in $(($(date +%s) - started)) s"

# 1. The cards the Windows tests read, made as the Linux tests make them.
layout=$(sed -nE 's/.*kCardLayoutVersion = ([0-9]+);.*/\1/p' tools/cardgen/card.hpp)
cards=$linux/testdata/cards-v$layout
mkdir -p "$cards"
for kind in raw lost-header; do
  [ -f "$cards/$kind.img.manifest.json" ] ||
    "$linux/tavorine-cardgen" "$kind" --seed 1 --clip-cache "$linux/testdata/clips" \
      --out "$cards/$kind.img" >/dev/null
done
WINEPATH="$(winpath "$kit/bin")" TAVORINE_MAPPED_DRIVE=T: ctest --test-dir "$out" -j2 \
  --output-on-failure --timeout 600 | tail -3

# 2. The CLI against the Linux build, on the demo card.
run=$out/run/demo
rm -rf "$run"
mkdir -p "$run"
"$linux/tavorine-cardgen" demo --out "$run/demo.img" >/dev/null
"$wine" "$out/tavorine-mov-cli.exe" recover "$(winpath "$run/demo.img")" \
  --out "$(winpath "$run/windows")" --mode deletion --quiet
"$linux/tavorine-mov-cli" recover "$run/demo.img" --out "$run/linux" --mode deletion --quiet >/dev/null
diff -r "$run/linux" "$run/windows"
say "the Windows CLI recovered $(ls "$run/windows" | wc -l) files of the demo card, byte for byte as on Linux"

# 3. Installer, portable zip, and the installed programs.
KIT=$kit scripts/package-windows.sh "$out"
KIT=$kit LINUX_BUILD=$linux scripts/windows-install-check.sh "$out"

# 4. The wizard under X with Qt's windows platform, run from the portable folder.
shots=$(realpath -m "${SHOTS_DIR:-docs/screenshots/windows}")
mkdir -p "$shots"
rm -f "$shots"/*.png
"$linux/tavorine-cardgen" raw --out "$out/run/shots.img" --size-mib 256 --files 6 --synthetic >/dev/null
TAVORINE_SCREENSHOT_DIR="$(winpath "$shots")" TAVORINE_SCREENSHOT_CARD="$(winpath "$out/run/shots.img")" \
  xvfb-run -a -s "-screen 0 1366x768x24" "$wine" "$out/stage/Tavorine-MOV/tavorine-mov.exe"
rm -f "$out/run/shots.img"
for step in step1-fault-type step2-source step3-scan step4-results step5-save; do
  [ -s "$shots/$step.png" ] || { echo "windows-check: the walk made no $step.png" >&2; exit 1; }
done
say "the wizard walked its five steps under Xvfb: $(cd "$shots" && ls | tr '\n' ' ')"
