#!/usr/bin/env bash
# What following split videos costs: a card of SIZE_MIB with FILES clips the
# file system split into several runs, against a card of the same size with
# the same number of whole clips. Each scan mode alternates the two cards for
# ROUNDS rounds; prints the medians, the difference (the cost of checking
# every sample and searching the further pieces) and how many split clips
# came back byte-exact.
#   bench/split_bench.sh [BUILD_DIR] [SIZE_MIB] [FILES] [ROUNDS]
set -euo pipefail

build=${1:-build}
size_mib=${2:-2048}
files=${3:-10}
rounds=${4:-5}
cli="$build/tavorine-mov-cli"
cardgen="$build/tavorine-cardgen"
for tool in "$cli" "$cardgen"; do
    [[ -x $tool ]] || { echo "split_bench: missing $tool (build it first)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

timed() {
    local t0=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || true
    local t1=$EPOCHREALTIME
    echo "$t1 - $t0" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

echo "generating ${size_mib} MiB cards with $files clips each..."
"$cardgen" fat32-split --out "$work/split.img" --size-mib "$size_mib" --files "$files" >/dev/null
"$cardgen" fat32-deleted --out "$work/whole.img" --size-mib "$size_mib" --files "$files" >/dev/null

for mode in deletion deep; do
    split_times=() whole_times=()
    for ((r = 0; r < rounds; r++)); do
        split_times+=("$(timed "$cli" scan "$work/split.img" --mode "$mode" --json --quiet)")
        whole_times+=("$(timed "$cli" scan "$work/whole.img" --mode "$mode" --json --quiet)")
    done
    s=$(median "${split_times[@]}")
    w=$(median "${whole_times[@]}")
    printf '%-9s scan, %s MiB: split clips %.3f s, whole clips %.3f s, difference %+.3f s\n' \
        "$mode" "$size_mib" "$s" "$w" "$(echo "$s - $w" | bc -l)"
done

# Byte-exact: every deleted clip's saved bytes against the manifest's hash.
"$cli" recover "$work/split.img" --out "$work/out" --quiet --json >"$work/run.json"
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
