#!/usr/bin/env bash
# What following split videos costs: a card of SIZE_MIB with FILES clips the
# file system split into two or three runs each, and for comparison a card of
# the same size whose FILES deleted clips (90 frames each) lie whole. For each scan mode the
# sector loop and the analysis (where every paired file's samples are checked
# and split files are followed to their further pieces) are timed by
# bench/follow_bench over ROUNDS rounds, medians printed;
# then how many split clips a save brings back byte-exact.
#   bench/split_bench.sh [BUILD_DIR] [SIZE_MIB] [FILES] [ROUNDS]
set -euo pipefail

build=${1:-build}
size_mib=${2:-2048}
files=${3:-10}
rounds=${4:-5}
cli="$build/tavorine-mov-cli"
cardgen="$build/tavorine-cardgen"
follow_bench="$build/bench/follow_bench"
for tool in "$cli" "$cardgen" "$follow_bench"; do
    [[ -x $tool ]] || { echo "split_bench: missing $tool (build it first)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
# "loop analysis" seconds of one follow_bench run.
times_of() { "$follow_bench" "$1" "$2" | awk '/sector loop/ {print $3, $6}'; }

echo "generating ${size_mib} MiB cards with $files clips each..."
"$cardgen" fat32-split --out "$work/split.img" --size-mib "$size_mib" --files "$files" >/dev/null
"$cardgen" fat32-deleted --out "$work/whole.img" --size-mib "$size_mib" --files $((2 * files)) --frames 90 >/dev/null
"$follow_bench" "$work/split.img" deletion | head -1
"$follow_bench" "$work/whole.img" deletion | head -1

for mode in deletion deep; do
    for card in split whole; do
        loops=() analyses=()
        for ((r = 0; r < rounds; r++)); do
            read -r loop analysis < <(times_of "$work/$card.img" "$mode")
            loops+=("$loop") analyses+=("$analysis")
        done
        printf '%-8s scan, %s clips, %s MiB: sector loop %.3f s, analysis %.3f s\n' "$mode" \
            "$card" "$size_mib" "$(median "${loops[@]}")" "$(median "${analyses[@]}")"
    done
done

# Byte-exact: every deleted clip's saved bytes against the manifest's hash.
"$cli" recover "$work/split.img" --out "$work/out" --quiet --json >"$work/run.json" 2>/dev/null
python3 - "$work/split.img.manifest.json" "$work/out" <<'PY'
import json, os, sys
def fnv(b):
    h = 0xcbf29ce484222325
    for x in b:
        h = ((h ^ x) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h
m = json.load(open(sys.argv[1]))
saved = {f.split("-", 2)[2]: os.path.join(sys.argv[2], f) for f in os.listdir(sys.argv[2])}
clips = [f for f in m["files"] if f["state"] == "deleted"]
exact = 0
for f in clips:
    name = f"{f['frames']}-{f['date']} {f['time']}.mov".replace(":", "-")
    if name in saved and fnv(open(saved[name], "rb").read()[: f["length"]]) == f["file_fnv1a64"]:
        exact += 1
runs = [f.get("runs", 1) for f in clips]
print(f"split clips saved byte-exact: {exact} of {len(clips)} (runs per clip: {runs})")
PY
