#!/usr/bin/env bash
# What checkpoints cost and what a resume saves, in one run:
#  - a deep scan with checkpoints against one without, and cat, warm and
#    (as root) cold, alternating for ROUNDS rounds; medians;
#  - the bytes read from the image by a scan stopped half-way plus its
#    resume, against one uninterrupted scan (pread totals under strace).
#   bench/checkpoint_bench.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
set -euo pipefail

build=${1:-build}
size_mib=${2:-4096}
rounds=${3:-5}
cli="$build/tavorine-mov-cli"
cardgen="$build/tavorine-cardgen"
for tool in "$cli" "$cardgen"; do
    [[ -x $tool ]] || { echo "checkpoint_bench: missing $tool (build it first)" >&2; exit 2; }
done
command -v strace >/dev/null || { echo "checkpoint_bench: needs strace" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=bench/timing.sh
source "$(cd "$(dirname "$0")" && pwd)/timing.sh"

image="$work/card.img"
# Many short clips, so that videos are found all the time and checkpoints
# are written as often as they ever are.
"$cardgen" large --out "$image" --size-mib "$size_mib" --files 400 --frames 20 --synthetic >/dev/null
bytes=$(stat -c %s "$image")
printf 'image: %d bytes, 400 clips\n\n' "$bytes"

on() { "$cli" scan "$image" --mode deep --quiet --checkpoint "$work/cp"; }
off() { "$cli" scan "$image" --mode deep --quiet --no-checkpoint; }
compare() {  # label prepare
    local on_t=() off_t=() cat_t=()
    for ((r = 0; r < rounds; r++)); do
        $2; cat_t+=("$(timed cat "$image")")
        $2; off_t+=("$(timed off)")
        $2; on_t+=("$(timed on)")
    done
    local c o n
    c=$(median "${cat_t[@]}") o=$(median "${off_t[@]}") n=$(median "${on_t[@]}")
    printf '%-6s cat %.3f s (%.2f GB/s)  scan without checkpoints %.3f s (%.2f GB/s)  with %.3f s (%.2f GB/s)  cost %+.1f %%\n' \
        "$1" "$c" "$(echo "$bytes / $c / 1000000000" | bc -l)" "$o" "$(echo "$bytes / $o / 1000000000" | bc -l)" \
        "$n" "$(echo "$bytes / $n / 1000000000" | bc -l)" "$(echo "($n - $o) * 100 / $o" | bc -l)"
}
cat "$image" >/dev/null
compare warm true
if [[ -w /proc/sys/vm/drop_caches ]]; then compare cold drop_caches; fi

# Bytes the scan reads from the image: the preads on it, added up.
image_reads() {  # strace log
    awk -v img="$image" '
        /openat\(/ && index($0, img "\"") { if (match($0, /= [0-9]+$/)) fds[substr($0, RSTART + 2)] = 1 }
        /pread64\(/ { split($0, a, /[(,]/); fd = a[2]; if ((fd in fds) && match($0, /= [0-9]+$/)) s += substr($0, RSTART + 2) }
        END { printf "%.0f\n", s }' "$1"
}
echo
strace -f -e trace=openat,pread64 -o "$work/one.log" "$cli" scan "$image" --mode deep --quiet --no-checkpoint >/dev/null 2>&1
one=$(image_reads "$work/one.log")
whole_t=$(timed off)
half=$(echo "$whole_t / 2" | bc -l)
for signal in INT KILL; do
    rm -f "$work/cp"
    strace -f -e trace=openat,pread64 -o "$work/cut.log" timeout -s "$signal" "$half" \
        "$cli" scan "$image" --mode deep --quiet --checkpoint "$work/cp" >/dev/null 2>&1 || true
    cut=$(image_reads "$work/cut.log")
    strace -f -e trace=openat,pread64 -o "$work/rest.log" "$cli" scan --resume "$work/cp" --quiet >/dev/null 2>&1
    rest=$(image_reads "$work/rest.log")
    printf 'bytes read: one pass %d; SIG%s after %.2f s: %d + resumed %d = %d (%+d bytes, %+.4f %% of one pass)\n' \
        "$one" "$signal" "$half" "$cut" "$rest" "$((cut + rest))" "$((cut + rest - one))" \
        "$(echo "($cut + $rest - $one) * 100 / $one" | bc -l)"
done
