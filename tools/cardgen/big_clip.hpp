#pragma once
// A camera clip of gigabytes that never sits in memory whole: synthetic
// frames (access-unit delimiter, one slice) whose first bytes are
// pseudo-random and the rest zeros, made again from the seed whenever the
// file's bytes are needed. Written over a sparse image only the random
// leads take room; the frames' sizes vary, so a copy off by any amount
// shows in the bytes.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "cardgen/mov_builder.hpp"

namespace tav::cardgen {

struct BigClip {
    Bytes lead;  // ftyp, the mdat header (64-bit size) and the DATE/TIME block
    Bytes moov;  // co64 chunk offsets
    std::vector<std::uint32_t> frame_sizes;
    std::vector<std::uint64_t> frame_offsets;  // file-relative
    std::uint64_t seed = 1;
    std::int64_t head_size() const;  // ftyp .. the end of the mdat
    std::int64_t size() const { return head_size() + static_cast<std::int64_t>(moov.size()); }
};

// Frames of about 1 MiB until the media data reaches `bytes`.
BigClip PlanBigClip(std::int64_t bytes, std::uint64_t seed, const MovOptions& options);

// The file's bytes that are not known zeros, in file order, with their
// file-relative offsets; everything between them is zeros.
void ForEachPiece(const BigClip& clip,
                  const std::function<void(std::int64_t, std::span<const std::uint8_t>)>& piece);

// FNV-1a-64 of the start region and of the whole file, as the manifest has them.
struct BigClipHashes {
    std::string head, file, moov;
};
BigClipHashes HashBigClip(const BigClip& clip);

}  // namespace tav::cardgen
