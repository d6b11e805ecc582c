#!/usr/bin/env bash
# Scan and save throughput side by side with the plain tools, in one run:
# each comparison alternates its contenders for ROUNDS rounds and prints the
# medians and their ratio.
#   bench/scan_bench.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
# BUILD_DIR must hold tavorine-mov-cli, tavorine-cardgen and bench/fragment_bench
# (default: build). Cold rounds (page cache dropped before each run) and the
# deletion-scan read counters need root; PhotoRec runs when it is installed.
set -euo pipefail

build=${1:-build}
size_mib=${2:-2048}
rounds=${3:-5}
cli="$build/tavorine-mov-cli"
cardgen="$build/tavorine-cardgen"
fragment_bench="$build/bench/fragment_bench"
here=$(cd "$(dirname "$0")" && pwd)
for tool in "$cli" "$cardgen" "$fragment_bench"; do
    [[ -x $tool ]] || { echo "scan_bench: missing $tool (build it first)" >&2; exit 2; }
done
export PATH="$PATH:/sbin:/usr/sbin"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/timing.sh
source "$here/timing.sh"
can_drop=false
if [[ -w /proc/sys/vm/drop_caches ]]; then can_drop=true; fi
gbs() { echo "$1 / $2 / 1000000000" | bc -l; }

make_large() {  # MiB path
    "$cardgen" large --out "$2" --size-mib "$1" --synthetic >/dev/null
}
deep_scan() { "$cli" scan "$1" --mode deep --quiet --json; }

image="$work/large.img"
echo "making a ${size_mib} MiB image (pseudo-random bytes with camera files in it)..."
make_large "$size_mib" "$image"
bytes=$(stat -c %s "$image")
placed=$(grep -c '"state": *"placed"' "$image.manifest.json" || true)
found=$(deep_scan "$image" | grep -o '"quality"' | wc -l)
printf 'image: %d bytes, %s camera files placed, %d listed by a deep scan\n\n' "$bytes" "$placed" "$found"

printf '%-34s %10s %10s %10s %8s\n' comparison "ours s" "theirs s" "ours GB/s" ratio
row() {  # label ours_s theirs_s bytes target
    local ratio
    ratio=$(echo "$3 / $2" | bc -l)
    printf '%-34s %10.3f %10.3f %10.2f %8.2f  (target >= %s)\n' "$1" "$2" "$3" "$(gbs "$4" "$2")" "$ratio" "$5"
}

# Warm: both read the page cache.
cat "$image" >/dev/null
scan_t=() cat_t=()
for ((r = 0; r < rounds; r++)); do
    cat_t+=("$(timed cat "$image")")
    scan_t+=("$(timed deep_scan "$image")")
done
row "deep scan vs cat, warm" "$(median "${scan_t[@]}")" "$(median "${cat_t[@]}")" "$bytes" 1.0

if $can_drop; then
    scan_t=() cat_t=()
    for ((r = 0; r < rounds && r < 3; r++)); do
        drop_caches
        cat_t+=("$(timed cat "$image")")
        drop_caches
        scan_t+=("$(timed deep_scan "$image")")
    done
    row "deep scan vs cat, cold" "$(median "${scan_t[@]}")" "$(median "${cat_t[@]}")" "$bytes" 0.95
else
    echo "deep scan vs cat, cold: skipped (dropping the page cache needs root)"
fi

if command -v photorec >/dev/null; then
    pr_t=() scan_t=()
    for ((r = 0; r < rounds && r < 3; r++)); do
        rm -rf "$work/pr"
        mkdir -p "$work/pr"
        pr_t+=("$(timed photorec /log /d "$work/pr/out" /cmd "$image" \
            partition_none,fileopt,everything,disable,mov,enable,search)")
        scan_t+=("$(timed deep_scan "$image")")
    done
    row "deep scan vs PhotoRec (MOV only)" "$(median "${scan_t[@]}")" "$(median "${pr_t[@]}")" "$bytes" 2.0
    rm -rf "$work/pr"
else
    echo "deep scan vs PhotoRec: skipped (photorec is not installed)"
fi

# Saving every listed file (from a saved scan result, so no scan is timed)
# against cp of the same bytes; a card of four large files.
save_image="$work/save.img"
"$cardgen" large --out "$save_image" --size-mib 1024 --files 4 --frames 3000 --synthetic >/dev/null
"$cli" scan "$save_image" --mode deep --quiet --save-result "$work/save.vyr" >/dev/null 2>&1
cat "$save_image" >/dev/null
save_t=() cp_t=()
for ((r = 0; r < rounds && r < 5; r++)); do
    # Each run starts with no dirty pages of the one before waiting to be written.
    rm -rf "$work/saved" "$work/copied"
    sync
    save_t+=("$(timed "$cli" recover --load "$work/save.vyr" "$save_image" --quiet --out "$work/saved")")
    mkdir -p "$work/copied"
    sync
    cp_t+=("$(timed cp -r "$work/saved/." "$work/copied/")")
done
saved_bytes=$(du -sb "$work/saved" | awk '{print $1}')
row "save vs cp of the saved files" "$(median "${save_t[@]}")" "$(median "${cp_t[@]}")" "$saved_bytes" 0.9
rm -rf "$work/saved" "$work/copied" "$save_image" "$save_image.manifest.json"

# Deletion scan: throughput over the free bytes it reads, and how many bytes
# it really reads (device counters, root only).
card="$work/fat32.img"
"$cardgen" fat32-deleted --out "$card" --synthetic --size-mib "$size_mib" >/dev/null
free=$(MTOOLS_SKIP_CHECK=1 mdir -i "$card" :: 2>/dev/null | awk '/bytes free/{gsub(/ /,""); sub(/bytesfree/,""); print}')
card_bytes=$(stat -c %s "$card")
cat "$card" >/dev/null
del_t=() cat_t=()
for ((r = 0; r < rounds; r++)); do
    cat_t+=("$(timed cat "$card")")
    del_t+=("$(timed "$cli" scan "$card" --mode deletion --quiet --json)")
done
del_s=$(median "${del_t[@]}")
cat_s=$(median "${cat_t[@]}")
# cat reads the whole card, the scan only its free bytes: compare rates.
row "deletion scan (free bytes) vs cat" "$del_s" "$(echo "$cat_s * $free / $card_bytes" | bc -l)" "$free" 0.9
rm -f "$card" "$card.manifest.json"
if [[ $(id -u) -eq 0 ]] && command -v losetup >/dev/null; then
    echo
    echo "bytes a deletion scan reads per free byte (device read counters; target <= 1.02):"
    "$here/deletion_reads.sh" "$build" fat32-deleted ntfs-deleted exfat-deleted fat16-deleted
else
    echo "deletion read counters: skipped (needs root and losetup)"
fi

# Linear cost: the deep scan at 1, 2 and 4 GiB, warm.
echo
printf '%-10s %10s %10s %12s\n' size "scan s" "s per GiB" "peak RSS MiB"
rm -f "$image" "$image.manifest.json"
for mib in 1024 2048 4096; do
    make_large "$mib" "$image"
    cat "$image" >/dev/null
    t=()
    for ((r = 0; r < 3; r++)); do t+=("$(timed deep_scan "$image")"); done
    /usr/bin/time -v "$cli" scan "$image" --mode deep --quiet --json >/dev/null 2>"$work/time.txt" || true
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2 / 1024}' "$work/time.txt")
    s=$(median "${t[@]}")
    printf '%-10s %10.3f %10.3f %12.1f  (target <= 64)\n' "${mib} MiB" "$s" "$(echo "$s * 1024 / $mib" | bc -l)" "$rss"
    rm -f "$image" "$image.manifest.json"
done

echo
echo "fragment analysis at 100,000 fragments:"
"$fragment_bench" 50000 "$work"
