#!/bin/sh
# Writes a picture of every window of tavorine-mov into docs/screenshots/ (and
# at 200 % scaling into docs/screenshots/2x/):
# builds the program and the card generator if needed, makes a small card
# image, and walks the wizard under a virtual X server.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-"$root/build-gui"}
out="$root/docs/screenshots"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DTAVORINE_BUILD_GUI=ON
fi
cmake --build "$build" --target tavorine-mov tavorine-cardgen -j2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tavorine-cardgen" raw --out "$work/card.img" --size-mib 256 --files 6 --synthetic >/dev/null

# Once at 100 % and once at 200 % scaling (docs/screenshots/2x).
mkdir -p "$out" "$out/2x"
TAVORINE_SCREENSHOT_DIR="$out" TAVORINE_SCREENSHOT_CARD="$work/card.img" \
  xvfb-run -a -s "-screen 0 1280x900x24" "$build/tavorine-mov"
QT_SCALE_FACTOR=2 TAVORINE_SCREENSHOT_DIR="$out/2x" TAVORINE_SCREENSHOT_CARD="$work/card.img" \
  xvfb-run -a -s "-screen 0 2560x1800x24" "$build/tavorine-mov"
ls "$out" "$out/2x"
