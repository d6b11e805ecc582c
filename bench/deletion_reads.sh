#!/usr/bin/env bash
# Bytes a deletion scan reads from the device, divided by the volume's free
# bytes, per file system. Each card is attached read-only as a loop device
# with read-ahead off, so the device's own counter (/sys/block/loopN/stat,
# sectors read) tells what the scan really read. Free bytes come from the
# file system's own tools (mtools, ntfsinfo, dump.exfat), not from us.
#   bench/deletion_reads.sh [BUILD_DIR] [KIND...]
# Needs root (losetup). Cards are made with the card generator in a temp folder.
set -euo pipefail

build=${1:-build}
shift || true
kinds=("$@")
[[ ${#kinds[@]} -gt 0 ]] || kinds=(fat32-deleted ntfs-deleted fat16-deleted exfat-deleted fat32-4k ntfs-4k mbr-exfat)
cli="$build/tavorine-mov-cli"
cardgen="$build/tavorine-cardgen"
for tool in "$cli" "$cardgen"; do
    [[ -x $tool ]] || { echo "deletion_reads: missing $tool (build it first)" >&2; exit 2; }
done
export PATH="$PATH:/sbin:/usr/sbin"

work=$(mktemp -d)
loop=""
cleanup() {
    [[ -n $loop ]] && losetup -d "$loop" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

json_number() {  # file key
    python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$1" "$2"
}

free_bytes() {  # image offset
    local image=$1 offset=$2 fs
    fs=$(dd if="$image" bs=1 skip=$((offset + 3)) count=8 status=none | tr -d '\0 ')
    case $fs in
    NTFS) ntfsinfo -m -f "$image" 2>/dev/null |
        awk '/Cluster Size:/{c=$3} /Free Clusters:/{f=$3} END{print c*f}' ;;
    EXFAT) dump.exfat "$image" 2>/dev/null |
        awk '/^Cluster size:/{c=$3} /^Free Clusters:/{f=$3} END{print c*f}' ;;
    *) MTOOLS_SKIP_CHECK=1 mdir -i "$image@@$offset" :: 2>/dev/null |
        awk '/bytes free/{gsub(/ /,""); sub(/bytesfree/,""); print}' ;;
    esac
}

printf '%-15s %-7s %14s %14s %7s %7s\n' kind fs free_bytes read_bytes ratio videos
for kind in "${kinds[@]}"; do
    image="$work/$kind.img"
    if ! "$cardgen" "$kind" --out "$image" --synthetic >/dev/null 2>"$work/err"; then
        printf '%-15s skipped: %s\n' "$kind" "$(tail -1 "$work/err")"
        continue
    fi
    offset=$(json_number "$image.manifest.json" partition_offset)
    part_args=()
    part_image="$image"
    if [[ $offset -gt 0 ]]; then
        part_args=(--partition 1)
        part_image="$work/part.img"
        dd if="$image" of="$part_image" bs=1M skip=$((offset / 1048576)) status=none
    fi
    free=$(free_bytes "$part_image" 0)
    loop=$(losetup -r -f --show "$image")
    blockdev --setra 0 "$loop"
    name=$(basename "$loop")
    before=$(awk '{print $3}' "/sys/block/$name/stat")
    videos=$("$cli" scan "$loop" --mode deletion "${part_args[@]}" --json 2>/dev/null |
        python3 -c 'import json,sys; print(len(json.load(sys.stdin)["results"]))' 2>/dev/null || echo 0)
    after=$(awk '{print $3}' "/sys/block/$name/stat")
    losetup -d "$loop"
    loop=""
    read_bytes=$(((after - before) * 512))
    fs=$(dd if="$part_image" bs=1 skip=3 count=8 status=none | tr -d '\0 ')
    [[ $fs == NTFS || $fs == EXFAT ]] || fs=FAT
    deleted=$(grep -c '"state": *"deleted"' "$image.manifest.json" || true)
    printf '%-15s %-7s %14d %14d %7.3f %4d/%d\n' "$kind" "$fs" "$free" "$read_bytes" \
        "$(echo "$read_bytes / $free" | bc -l)" "$videos" "$deleted"
    rm -f "$image" "$part_image"
done
