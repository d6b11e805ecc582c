#!/usr/bin/env bash
# Cards of hundreds of gigabytes: for 1,000 / 5,000 / 20,000 clips a sparse
# 128 GiB huge-exfat card, its analysis time and peak RSS (card_scale_bench,
# deep scan: every clip listed), then the peak RSS of a whole command-line
# scan of a big card (deletion mode, /usr/bin/time -v). Images go to DIR and
# are removed at the end (20,000 clips take about 1 GB of disk).
#   bench/card_scale.sh [BUILD_DIR] [DIR] [BIG_CARD_MIB] [BIG_CARD_CLIPS]
# Targets: analysis of 5,000 clips < 2 s; peak RSS < 256 MiB whatever the size.
set -euo pipefail

build=${1:-build}
dir=${2:-${TMPDIR:-/tmp}}
big_mib=${3:-524288}
big_clips=${4:-20000}
cli="$build/tavorine-mov-cli"
cardgen="$build/tavorine-cardgen"
bench="$build/bench/card_scale_bench"
for tool in "$cli" "$cardgen" "$bench"; do
    [[ -x $tool ]] || { echo "card_scale: missing $tool (build it first)" >&2; exit 2; }
done
export PATH="$PATH:/sbin:/usr/sbin"
work=$(mktemp -d "$dir/card_scale.XXXXXX")
trap 'rm -rf "$work"' EXIT

for clips in 1000 5000 20000; do
    image="$work/card-$clips.img"
    "$cardgen" huge-exfat --out "$image" --files "$clips" --size-mib 131072 --seed 7 >/dev/null
    echo "== $clips clips on a 128 GiB card ($(du -h "$image" | cut -f1) on disk)"
    "$bench" "$image" deep
    rm -f "$image" "$image.manifest.json"
done

image="$work/big.img"
"$cardgen" huge-exfat --out "$image" --files "$big_clips" --size-mib "$big_mib" --seed 9 >/dev/null
echo "== tavorine-mov-cli scan of a $((big_mib / 1024)) GiB card with $big_clips clips (deletion mode)"
/usr/bin/time -v "$cli" scan "$image" --no-checkpoint --quiet --json 2>"$work/time.txt" |
    grep -o '"quality"' | wc -l | xargs printf 'videos listed: %s\n'
grep -E 'Elapsed|Maximum resident' "$work/time.txt"
