#pragma once
// Generates a card image of a given kind and its manifest (IMG.manifest.json).

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "cardgen/manifest.hpp"

namespace tav::cardgen {

struct CardRequest {
    std::string kind;  // one of CardKinds()
    std::filesystem::path out;
    std::uint64_t seed = 1;
    int files = -1;  // camera files; -1: the kind's default
    std::int64_t size_mib =
        -1;                     // raw, large, the FAT, split and huge kinds; -1: the kind's default
    std::string aud = "mixed";  // "on", "off" or "mixed" (raw and large)
    bool mdat64 = false;        // force on every file
    bool co64 = false;
    int frames = -1;                   // per file; -1: the kind's default
    bool zero_filler = false;          // raw: zeros instead of pseudo-random filler
    bool synthetic = false;            // synthetic frames instead of ffmpeg-encoded H.264
    bool no_fuse = false;              // ntfs-deleted: place bytes in free clusters even with FUSE
    std::int64_t big_clip_mib = 0;     // huge-exfat: one more clip of this size; 0: none
    std::filesystem::path clip_cache;  // empty: EncodeClip's default
    // "camera": the tagging camera's layout; "other": other cameras' and
    // phones' layouts (WriterLayouts(), in turn); "mixed": every second file other.
    std::string clips = "camera";
};

// The kinds that can hold other writers' clips (--clips other or mixed).
bool TakesOtherClips(const std::string& kind);

const std::vector<std::string>& CardKinds();

// Bumped whenever generated images change shape, so that cached test images
// made by an older generator are not reused.
inline constexpr int kCardLayoutVersion = 3;

// Writes the image and its manifest; answers the manifest.
std::expected<Manifest, std::string> GenerateCard(const CardRequest& request);

std::filesystem::path ManifestPathFor(const std::filesystem::path& image);

// Per-kind generators (the image only; GenerateCard writes the manifest).
std::expected<Manifest, std::string> GenerateRawCard(const CardRequest& request);
std::expected<Manifest, std::string> GenerateLargeCard(const CardRequest& request);
std::expected<Manifest, std::string> GenerateFatCard(const CardRequest& request);
std::expected<Manifest, std::string> GenerateNtfsCard(const CardRequest& request);
std::expected<Manifest, std::string> GenerateExfatCard(const CardRequest& request);
std::expected<Manifest, std::string> GenerateSplitCard(const CardRequest& request);
std::expected<Manifest, std::string> GenerateLostHeaderCard(const CardRequest& request);
std::expected<Manifest, std::string> GenerateHugeExfatCard(const CardRequest& request);

}  // namespace tav::cardgen
