#!/usr/bin/env python3
"""Cuts seed inputs for the fuzz targets from generated cards.

usage: make_seeds.py CARDGEN CLI WORK CORPUS

Makes the cards once in WORK (raw, fat32-deleted, ntfs-deleted, mbr; seed 1,
synthetic frames), then writes seeds into CORPUS/<target>/seed-*: volume
starts, MFT records, movie atoms and whole camera files, fragment tables
with the sources they point into, and scan-result files saved by the CLI.
The trailers appended here are the ones each target's comment describes.
"""

import base64
import json
import pathlib
import struct
import subprocess
import sys

SECTOR = 512
FRAGMENT_SEPARATOR = "=" * 27
# Fragment rows as the scan adds them: the fragment list and grade empty.
ANALYSIS_COLUMNS = (10, 14)
# Sources above this are left out; the fragment target's max_len is larger.
MAX_SOURCE = 120 * 1024


def make_card(cardgen, work, kind):
    image = work / f"{kind}.img"
    manifest = pathlib.Path(str(image) + ".manifest.json")
    # A generator newer than the card may lay cards out differently.
    fresh = manifest.exists() and image.exists() and \
        manifest.stat().st_mtime >= pathlib.Path(cardgen).stat().st_mtime
    if not fresh:
        args = [cardgen, kind, "--out", str(image), "--seed", "1", "--frames", "8",
                "--synthetic", "--no-fuse"]
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    return image, json.loads(manifest.read_text())


def read(image, offset, length):
    with open(image, "rb") as f:
        f.seek(offset)
        return f.read(length)


class Corpus:
    def __init__(self, root):
        self.root = root
        self.count = {}

    def add(self, target, name, data):
        folder = self.root / target
        folder.mkdir(parents=True, exist_ok=True)
        (folder / f"seed-{name}").write_bytes(data)
        self.count[target] = self.count.get(target, 0) + 1


def atom_trailer(header_start, flags):
    # Taken from the end: header start (16 bits) first, then the flags.
    return struct.pack("<BH", flags, header_start)


def mft_trailer(bytes_per_sector, max_clusters, record_code, cluster_bytes):
    # Taken from the end in the order of the arguments.
    return struct.pack("<IHqH", cluster_bytes, record_code, max_clusters, bytes_per_sector)


def camera_parts(image, entry):
    """The start region and the movie atom of one file, where present."""
    head = read(image, entry["head_offset"], entry["head_length"]) if entry["head_offset"] >= 0 else b""
    moov = read(image, entry["moov_offset"], entry["moov_length"]) if entry["moov_offset"] >= 0 else b""
    return head, moov


def packed_source(image, entries):
    """The files' parts laid one after the other, each start region at a
    sector start and each movie atom at its original place in its sector."""
    out = bytearray()
    for entry in entries:
        head, moov = camera_parts(image, entry)
        for part, offset in ((head, entry["head_offset"]), (moov, entry["moov_offset"])):
            if not part:
                continue
            start = -(-len(out) // SECTOR) * SECTOR + offset % SECTOR
            out += bytes(start - len(out)) + part
    return bytes(out)


def scan_result_lines(path):
    return [base64.b64decode(line).decode("cp936") for line in path.read_bytes().splitlines()]


def fragment_seed(result_file, source):
    lines = scan_result_lines(result_file)
    rows = []
    for line in lines[2:]:
        if line == FRAGMENT_SEPARATOR:
            break
        cells = line.split("^")
        for col in ANALYSIS_COLUMNS:
            if col < len(cells):
                cells[col] = ""
        rows.append("^".join(cells))
    return "\n".join(rows).encode("utf-8") + b"\0" + source


def scan(cli, image, result, mode):
    done = subprocess.run([cli, "scan", str(image), "--mode", mode, "--save-result", str(result)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if done.returncode not in (0, 1):
        raise RuntimeError(f"{cli} scan {image} failed with {done.returncode}")
    return result.exists()


def main():
    cardgen, cli, work, root = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3]), pathlib.Path(sys.argv[4])
    work.mkdir(parents=True, exist_ok=True)
    corpus = Corpus(root)

    raw, raw_manifest = make_card(cardgen, work, "raw")
    fat32, fat32_manifest = make_card(cardgen, work, "fat32-deleted")
    ntfs, ntfs_manifest = make_card(cardgen, work, "ntfs-deleted")
    mbr, mbr_manifest = make_card(cardgen, work, "mbr")

    # Volume starts: boot sector, the first FAT or the first MFT records.
    for name, image, manifest in (("fat32", fat32, fat32_manifest), ("ntfs", ntfs, ntfs_manifest),
                                  ("mbr-partition", mbr, mbr_manifest)):
        corpus.add("boot_sector_fuzz", name, read(image, manifest["partition_offset"], 32 * 1024))
    corpus.add("boot_sector_fuzz", "mbr-sector0", read(mbr, 0, SECTOR))

    # MFT records 0..15 with the volume's own geometry.
    boot = read(ntfs, 0, SECTOR)
    bps, = struct.unpack_from("<H", boot, 0x0B)
    spc = boot[0x0D]
    total, mft_lcn = struct.unpack_from("<QQ", boot, 0x28)
    code = boot[0x40]
    signed = code - 256 if code > 127 else code
    record = 1 << -signed if signed < 0 else signed * bps * spc
    mft = read(ntfs, mft_lcn * spc * bps, 16 * record)
    for number in range(16):
        body = mft[number * record:(number + 1) * record]
        corpus.add("mft_record_fuzz", f"record{number}", body + mft_trailer(bps, total // spc, code, bps * spc))

    # Movie atoms alone, and whole files walked from their movie atom.
    for k, entry in enumerate(raw_manifest["files"]):
        head, moov = camera_parts(raw, entry)
        if moov:
            corpus.add("atom_walk_fuzz", f"moov{k}", moov + atom_trailer(0, 0))
            corpus.add("atom_walk_fuzz", f"moov{k}-large", moov + atom_trailer(0, 1))
        if head and moov and not entry["split"] and len(head) + len(moov) <= 0x40000:
            corpus.add("verify_fuzz", f"file{k}", head + moov)
        if head and moov and len(head) < 0x10000 and not entry["split"]:
            corpus.add("atom_walk_fuzz", f"file{k}", head + moov + atom_trailer(len(head), 0))
            corpus.add("atom_walk_fuzz", f"file{k}-free", head + moov + atom_trailer(len(head), 2))

    # Start regions with a reference's movie atom: their own, and the first
    # file's (with and without sound, delimiters or not).
    parts = [camera_parts(raw, entry) for entry in raw_manifest["files"]]
    whole = [(head, moov) for head, moov in parts if head and moov and len(head) < 0x10000]
    for k, (head, moov) in enumerate(whole):
        corpus.add("header_rebuild_fuzz", f"own{k}", moov + head + struct.pack("<I", len(moov)))
        ref = whole[0][1]
        corpus.add("header_rebuild_fuzz", f"other{k}", ref + head + struct.pack("<I", len(ref)))

    # Fragment tables from scans of small sources, and the saved results.
    sources = [[e] for e in raw_manifest["files"]] + [raw_manifest["files"][:3],
                                                      raw_manifest["files"][-3:]]
    for k, entries in enumerate(sources):
        source = packed_source(raw, entries)
        if len(source) > MAX_SOURCE:
            continue
        path = work / f"source{k}.img"
        path.write_bytes(source)
        result = work / f"source{k}.vyr"
        result.unlink(missing_ok=True)
        if scan(cli, path, result, "deep"):
            corpus.add("fragment_analysis_fuzz", f"source{k}", fragment_seed(result, source))
            corpus.add("scan_result_fuzz", f"source{k}", result.read_bytes())
    for name, image, mode in (("raw", raw, "deep"), ("fat32", fat32, "deletion"),
                              ("ntfs", ntfs, "deletion"), ("mbr", mbr, "deep")):
        result = work / f"{name}.vyr"
        result.unlink(missing_ok=True)
        if scan(cli, image, result, mode):
            corpus.add("scan_result_fuzz", name, result.read_bytes())

    for target in sorted(corpus.count):
        print(f"seeds: {target}: {corpus.count[target]}")


if __name__ == "__main__":
    main()
