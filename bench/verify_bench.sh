#!/usr/bin/env bash
# The play check's speed on a 1080p H.264 camera-like clip (30 s, 1920x1080 at
# 30 frames/s, about 24 Mbit/s, key frame every 15, B-frames, PCM sound), and
# what a check running beside a scan costs the scan: a deep scan of a card
# image alone, then with checks looping beside it, paced as the wizard paces
# them while a scan or save runs, then unpaced; from the page cache and (as
# root) from the disk. Medians of ROUNDS.
#   bench/verify_bench.sh [BUILD_DIR] [ROUNDS] [CARD_MIB]
set -euo pipefail

build=${1:-build}
rounds=${2:-3}
card_mib=${3:-2048}
bench="$build/bench/verify_bench"
cli="$build/tavorine-mov-cli"
cardgen="$build/tavorine-cardgen"
for tool in "$bench" "$cli" "$cardgen"; do
    [[ -x $tool ]] || { echo "verify_bench: missing $tool (build it first)" >&2; exit 2; }
done
export TAVORINE_DECODER=${TAVORINE_DECODER:-$build/tavorine-mov-decoder.so}

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
# shellcheck source=bench/timing.sh
source "$(cd "$(dirname "$0")" && pwd)/timing.sh"

clip="$work/clip1080.mov"
ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 \
    -f lavfi -i sine=frequency=440:sample_rate=48000 -t 30 -vf noise=alls=10:allf=t \
    -c:v libx264 -preset veryfast -b:v 24M -maxrate 30M -bufsize 30M -g 15 -bf 2 \
    -pix_fmt yuv420p -c:a pcm_s16le -ac 2 "$clip"
echo "== the play check alone: $(stat -c %s "$clip") bytes =="
for _ in $(seq "$rounds"); do "$bench" "$clip" | tail -1; done
echo "== one decoding thread =="
"$bench" "$clip" --threads 1 | tail -1

image="$work/card.img"
"$cardgen" large --out "$image" --size-mib "$card_mib" --files 200 --frames 20 --synthetic >/dev/null
bytes=$(stat -c %s "$image")
scan() { timed "$cli" scan "$image" --mode deep --quiet --no-checkpoint; }
rate() { echo "scale=2; $bytes / $1 / 1000000000" | bc -l; }
# One round: the scan alone, beside a paced check, beside an unpaced one.
# $1 = cold: the page cache is dropped before each scan (as root), so the
# scan and the check both read the disk.
measure() {
    local cold=$1 checker
    alone=() paced=() unpaced=()
    for _ in $(seq "$rounds"); do
        [[ $cold == cold ]] && drop_caches
        alone+=("$(scan)")
        for mode in --busy ""; do
            "$bench" "$clip" $mode --loop 600 >/dev/null &
            checker=$!
            sleep 0.5
            [[ $cold == cold ]] && drop_caches
            if [[ $mode == --busy ]]; then paced+=("$(scan)"); else unpaced+=("$(scan)"); fi
            kill "$checker" 2>/dev/null || true
            wait "$checker" 2>/dev/null || true
        done
    done
    local a p u
    a=$(median "${alone[@]}") p=$(median "${paced[@]}") u=$(median "${unpaced[@]}")
    echo "== a deep scan of $bytes bytes ($2), medians of $rounds =="
    printf 'alone:                   %.3f s  %s GB/s\n' "$a" "$(rate "$a")"
    printf 'beside a paced check:    %.3f s  %s GB/s  (%+.1f %%)\n' "$p" "$(rate "$p")" \
        "$(echo "($p - $a) / $a * 100" | bc -l)"
    printf 'beside an unpaced check: %.3f s  %s GB/s  (%+.1f %%)\n' "$u" "$(rate "$u")" \
        "$(echo "($u - $a) / $a * 100" | bc -l)"
}
cat "$image" >/dev/null
measure warm "page cache warm"
if [[ $(id -u) == 0 ]]; then measure cold "page cache dropped before each scan"; fi
