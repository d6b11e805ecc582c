#include "scan/media_map.hpp"

#include <algorithm>

namespace tav {

namespace {

// Spans of a track's samples (each) or chunks (whole), in table order.
std::vector<FileSpan> Spans(const MovieTrack& t, bool per_sample) {
    std::vector<FileSpan> out;
    std::size_t sample = 0;
    for (std::size_t c = 0; c < t.chunk_offsets.size(); ++c) {
        std::uint64_t at = t.chunk_offsets[c];
        const std::uint64_t chunk_start = at;
        for (std::uint32_t k = 0; k < t.chunk_samples[c]; ++k, ++sample) {
            const std::uint64_t size =
                t.sample_bytes != 0 ? t.sample_bytes : t.sample_sizes[sample];
            if (per_sample) out.push_back({at, size});
            at += size;
        }
        if (!per_sample) out.push_back({chunk_start, at - chunk_start});
    }
    return out;
}

bool Ordered(std::vector<FileSpan>& spans) {
    std::sort(spans.begin(), spans.end(),
              [](const FileSpan& a, const FileSpan& b) { return a.offset < b.offset; });
    for (std::size_t k = 1; k < spans.size(); ++k)
        if (spans[k].offset < spans[k - 1].end()) return false;
    return true;
}

}  // namespace

std::optional<MediaMap> MapMedia(const MovieTracks& tracks) {
    const MovieTrack* video = tracks.video();
    if (!video || video->chunk_offsets.empty()) return std::nullopt;
    std::optional<NalFormat> nal = video->nal;
    // An "avc1" whose record did not parse was always read as the cameras
    // write it.
    if (!nal && video->codec == "avc1") nal = NalFormat{};
    if (!nal) return std::nullopt;
    MediaMap map;
    map.nal = *nal;
    map.video = Spans(*video, true);
    for (const MovieTrack& t : tracks.tracks) {
        if (t.handler != "soun" || t.chunk_offsets.empty()) continue;
        const auto chunks = Spans(t, false);
        map.sound.insert(map.sound.end(), chunks.begin(), chunks.end());
        if (map.sound_frame_bytes == 0)
            map.sound_frame_bytes = static_cast<std::uint32_t>(t.sample_bytes);
    }
    if (!Ordered(map.video) || !Ordered(map.sound)) return std::nullopt;
    map.media_end = tracks.media_end().value_or(0);
    return map;
}

}  // namespace tav
