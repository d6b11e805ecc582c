#!/usr/bin/env bash
# Deep-scan throughput against `cat` on a page-cached image, and the scan's
# peak memory.
#   bench/scan_bench.sh [BUILD_DIR] [SIZE_MIB]
# BUILD_DIR must hold tavorine-mov-cli and tavorine-cardgen (default: build).
set -euo pipefail

build=${1:-build}
size_mib=${2:-2048}
cli="$build/tavorine-mov-cli"
cardgen="$build/tavorine-cardgen"
for tool in "$cli" "$cardgen"; do
    [[ -x $tool ]] || { echo "scan_bench: missing $tool (build it first)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image="$work/large.img"

echo "making a ${size_mib} MiB image (pseudo-random bytes with camera files in it)..."
"$cardgen" large --out "$image" --size-mib "$size_mib" --synthetic >/dev/null
bytes=$(stat -c %s "$image")
placed=$(grep -c '"state": *"placed"' "$image.manifest.json" || true)

# Warm the page cache so both readers see memory speed.
cat "$image" >/dev/null
cat "$image" >/dev/null

now() { date +%s.%N; }

t0=$(now)
cat "$image" >/dev/null
t1=$(now)
cat_s=$(echo "$t1 - $t0" | bc -l)

t0=$(now)
/usr/bin/time -v "$cli" scan "$image" --mode deep --json >"$work/result.json" 2>"$work/time.txt" || true
t1=$(now)
scan_s=$(echo "$t1 - $t0" | bc -l)
rss_kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
found=$(grep -o '"quality"' "$work/result.json" | wc -l)

cat_gbs=$(echo "$bytes / $cat_s / 1000000000" | bc -l)
scan_gbs=$(echo "$bytes / $scan_s / 1000000000" | bc -l)
ratio=$(echo "$scan_gbs / $cat_gbs" | bc -l)

printf 'image:            %d bytes, %s camera files placed, %d listed by the scan\n' "$bytes" "$placed" "$found"
printf 'cat:              %.3f s  %.2f GB/s\n' "$cat_s" "$cat_gbs"
printf 'deep scan:        %.3f s  %.2f GB/s\n' "$scan_s" "$scan_gbs"
printf 'ratio scan/cat:   %.2f (target >= 0.5)\n' "$ratio"
printf 'peak RSS:         %.1f MiB (target < 64)\n' "$(echo "$rss_kib / 1024" | bc -l)"
