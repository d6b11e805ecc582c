#pragma once
// What a generated card image holds: one entry per camera file, with where
// its start region and movie atom lie on the image and hashes to check the
// bytes found there. Written as JSON beside the image (IMG.manifest.json).

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace tav::cardgen {

// A stretch of a file's bytes on the image: fragments in file order give
// the whole file; a file the file system split has one per cluster run.
struct Fragment {
    std::int64_t offset = 0;  // on the whole image
    std::int64_t length = 0;
    bool operator==(const Fragment&) const = default;
};

// state: "placed" (raw image, no file system), "in-use", "deleted",
// "orphan-head" (start region without its movie atom), "orphan-moov",
// "lost-header" (deleted, its movie atom overwritten).
struct ManifestFile {
    std::string name;
    std::string state;
    std::int64_t head_offset = -1;  // byte offset of the start region on the image; -1: absent
    std::int64_t moov_offset = -1;  // of the movie atom; -1: absent
    std::int64_t length = 0;        // whole file
    std::int64_t head_length = 0;   // start region (ftyp .. end of mdat; with moov first, all)
    std::int64_t moov_length = 0;
    int frames = 0;
    std::string date, time;
    bool aud = false, mdat64 = false, co64 = false, sound = false, cnmn = true;
    bool split = false;  // movie atom far from the start region, at an unaligned offset
    bool last_frame_verifies = false;
    // The container: major brand, video and sound sample entry types ("" for
    // none), the movie atom before the media data, the camera's DATE/TIME
    // block present, and the extension a recovered copy should get.
    // Manifests written before these existed read as the camera's layout.
    std::string brand = "qt  ";
    std::string video_codec = "avc1";
    std::string sound_codec;
    bool moov_first = false;
    bool tagged = true;
    std::string extension = ".mov";
    std::string file_hash;            // FNV-1a-64 of the whole file, 16 hex digits
    std::string head_hash;            // of the start region
    std::string moov_hash;            // of the movie atom
    std::vector<Fragment> fragments;  // empty where the generator does not know them
    // Lost headers: the reference clip to rebuild from and the original
    // file, both relative to the image's folder.
    std::string reference, original;
};

struct Manifest {
    std::string kind;
    std::uint64_t seed = 0;
    std::string image;  // file name of the image, beside the manifest
    std::int64_t image_size = 0;
    std::int64_t partition_offset = 0;  // byte offset of the file system; 0 for a volume image
    std::string file_system;            // "FAT32", "NTFS" or "Raw"
    std::string note;
    std::vector<ManifestFile> files;
};

std::string ManifestToJson(const Manifest& manifest);
// Reads back what ManifestToJson wrote (one file object per line).
std::expected<Manifest, std::string> ManifestFromJson(std::string_view text);

}  // namespace tav::cardgen
