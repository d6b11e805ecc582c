#pragma once
// A camera file whose movie header was overwritten, rebuilt from a reference
// clip of the same camera: its start region up to the last whole sample
// walked, then a new movie atom. Reusable by every front end.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "recovery/media_walk.hpp"
#include "recovery/reference_movie.hpp"
#include "scan/media_follow.hpp"

namespace tav {

struct RebuiltFile {
    std::int64_t source_offset = 0;  // the start region's first byte on the source
    std::uint64_t copy_length = 0;   // bytes of the start region the file begins with
    // Bytes that replace the copied ones at patch_at: the mdat size, when
    // the walk ended before the media data did.
    std::uint64_t patch_at = 0;
    ByteString patch;
    ByteString moov;
    // The pieces after the first of a split file: from file_offset on, the
    // bytes lie at source_offset (on the source, as source_offset above).
    std::vector<MediaPiece> pieces;
    std::uint64_t frames = 0;
    bool sound = false;
    std::uint64_t size() const { return copy_length + moov.size(); }
};

// region: the start region's bytes from its "ftyp" on. Each reference is
// tried; the one whose walk covers the most media data (with parameter sets
// that match its own) is taken. The error says why nothing could be built.
std::expected<RebuiltFile, std::string> RebuildHeader(
    const MediaBytes& region, const std::vector<ReferenceMovie>& references);

// The same for the start region at head on the source (read by its own
// offsets); with a setup, media data that stops making sense is looked for
// on the source's clusters, and the file rebuilt across its pieces.
std::expected<RebuiltFile, std::string> RebuildHeader(const MediaBytes& source, std::int64_t head,
                                                      const std::vector<ReferenceMovie>& references,
                                                      const FollowSetup* setup);

// Whether the parameter sets met in the stream are all the reference's.
bool ParameterSetsMatch(const MediaWalk& walk, const ReferenceVideo& video);

}  // namespace tav
