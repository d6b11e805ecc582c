#!/usr/bin/env bash
# The whole product in one command: installs what is missing, builds the
# command-line tool and the card generator, makes a FAT32 card image on which
# three camera videos were deleted, recovers them and lists what came back.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-2}
build=${BUILD_DIR:-build}
if [ "$(id -u)" = 0 ] || command -v sudo >/dev/null; then
  scripts/install-deps.sh
fi

echo "== build =="
if [ ! -f "$build"/CMakeCache.txt ]; then
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" -j"$jobs" --target tavorine-mov-cli tavorine-cardgen

echo "== demo card: three videos shot, then deleted =="
mkdir -p out
rm -rf out/recovered
"$build"/tavorine-cardgen demo --out out/demo.img

echo "== recover =="
set +e
"$build"/tavorine-mov-cli recover out/demo.img --out out/recovered --mode deletion
status=$?
set -e
if [ "$status" -ne 0 ]; then
  echo "demo: recover ended with exit code $status" >&2
  exit "$status"
fi

echo
echo "== recovered into out/recovered =="
shopt -s nullglob
files=(out/recovered/*.mov)
if [ ${#files[@]} -eq 0 ]; then
  echo "demo: nothing was recovered" >&2
  exit 1
fi
for f in "${files[@]}"; do
  size=$(stat -c %s "$f")
  if command -v ffprobe >/dev/null; then
    frames=$(ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=nb_read_frames -of csv=p=0 "$f" 2>/dev/null || true)
    printf '%-48s %10s Byte  %s frames\n' "$(basename "$f")" "$size" "${frames:-?}"
  else
    printf '%-48s %10s Byte\n' "$(basename "$f")" "$size"
  fi
done
echo
echo "Play them with any video player, e.g.: ffplay \"${files[0]}\""
