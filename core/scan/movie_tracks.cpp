#include "scan/movie_tracks.hpp"

#include <algorithm>

#include "scan/atom_tree.hpp"

namespace tav {

namespace {

constexpr std::uint64_t kMostEntries = kMostTableEntries;

std::uint32_t SamplesInChunk(const std::vector<ChunkRun>& runs, std::uint64_t chunk) {
    std::uint32_t samples = runs.front().samples;
    for (const ChunkRun& r : runs)
        if (r.first_chunk <= chunk) samples = r.samples;
    return samples;
}

// Samples in all chunks, by the stsc runs; for tables that give a uniform
// size without a count.
std::uint64_t SamplesInChunks(const std::vector<ChunkRun>& runs, std::uint64_t chunks) {
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < runs.size() && runs[k].first_chunk <= chunks; ++k) {
        const std::uint64_t until =
            k + 1 < runs.size() ? std::min<std::uint64_t>(runs[k + 1].first_chunk - 1, chunks)
                                : chunks;
        total += (until - runs[k].first_chunk + 1) * runs[k].samples;
    }
    return total;
}

// Every chunk with its samples, so that a chunk's bytes can be found and
// checked; left empty when the chunks do not hold exactly the samples.
template <typename ChunkOffset, typename SampleSize>
void MapChunks(MovieTrack& t, const std::vector<ChunkRun>& runs, std::uint64_t chunks,
               std::uint64_t samples, const ChunkOffset& chunk_offset, std::uint64_t frame_bytes,
               const SampleSize& sample_size) {
    std::uint64_t placed = 0;
    std::size_t run = 0;
    t.chunk_offsets.reserve(static_cast<std::size_t>(chunks));
    t.chunk_samples.reserve(static_cast<std::size_t>(chunks));
    for (std::uint64_t k = 0; k < chunks; ++k) {
        while (run + 1 < runs.size() && runs[run + 1].first_chunk <= k + 1) ++run;
        const std::uint32_t in_chunk = runs[run].samples;
        if (in_chunk > samples - placed) break;
        t.chunk_offsets.push_back(chunk_offset(k));
        t.chunk_samples.push_back(in_chunk);
        placed += in_chunk;
    }
    if (placed != samples || t.chunk_offsets.size() != chunks) {
        t.chunk_offsets.clear();
        t.chunk_samples.clear();
        return;
    }
    if (frame_bytes != 0) {
        t.sample_bytes = frame_bytes;
        return;
    }
    t.sample_sizes.reserve(static_cast<std::size_t>(samples));
    for (std::uint64_t k = 0; k < samples; ++k)
        t.sample_sizes.push_back(static_cast<std::uint32_t>(sample_size(k)));
}

// Whether the track's first data reference is the file itself (flag 1), as
// it is when a track has none.
bool SelfContained(ByteView trak) {
    const Atom dref = Path(trak, {"mdia", "minf", "dinf", "dref"});
    if (!dref.found || dref.body.be32(4).value_or(0) == 0) return true;
    const auto flags = dref.body.be32(16);
    return flags && (*flags & 1) != 0;
}

std::optional<MovieTrack> ReadTrack(ByteView trak) {
    MovieTrack t;
    t.self_contained = SelfContained(trak);
    const Atom hdlr = Path(trak, {"mdia", "hdlr"});
    if (!hdlr.found || !hdlr.body.has(8, 4)) return std::nullopt;
    const ByteView subtype = hdlr.body.sub(8, 4);
    t.handler.assign(reinterpret_cast<const char*>(subtype.data()), 4);
    const Atom stbl = Path(trak, {"mdia", "minf", "stbl"});
    if (!stbl.found) return std::nullopt;
    const Atom stsz = Child(stbl.body, "stsz");
    const Atom stsc = Child(stbl.body, "stsc");
    Atom stco = Child(stbl.body, "stco");
    const bool wide = !stco.found;
    if (wide) stco = Child(stbl.body, "co64");
    if (!stsz.found || !stsc.found || !stco.found) return std::nullopt;

    const auto uniform = stsz.body.be32(4);
    const auto counted = stsz.body.be32(8);
    const auto chunks = stco.body.be32(4);
    const auto runs = ReadStsc(stsc.body);
    if (!uniform || !counted || !chunks || !runs || *chunks == 0 || *chunks > kMostEntries)
        return std::nullopt;
    // A uniform size may come without a count: the chunks then tell it.
    const std::optional<std::uint64_t> samples =
        *counted != 0 || *uniform == 0 ? std::uint64_t{*counted} : SamplesInChunks(*runs, *chunks);
    if (*samples == 0 || *samples > kMostEntries) return std::nullopt;
    const std::size_t entry = wide ? 8 : 4;
    if (!stco.body.has(8, std::size_t{*chunks} * entry)) return std::nullopt;
    if (*uniform == 0 && !stsz.body.has(12, std::size_t{*samples} * 4)) return std::nullopt;
    const auto chunk_offset = [&](std::uint64_t k) -> std::uint64_t {
        const std::size_t at = 8 + static_cast<std::size_t>(k) * entry;
        return wide ? stco.body.be64(at).value_or(0) : stco.body.be32(at).value_or(0);
    };

    // A uniform size of 1 on a sound track counts PCM frames: their bytes
    // come from the sound description. A size of 0 lists every sample's
    // (compressed sound such as AAC).
    std::uint64_t frame_bytes = *uniform;
    if (t.handler == "soun" && *uniform == 1) {
        const Atom stsd = Child(stbl.body, "stsd");
        const auto bytes = stsd.found && stsd.body.has(8, 8)
                               ? SoundFrameBytes(stsd.body.sub(8, stsd.body.size() - 8))
                               : std::nullopt;
        if (!bytes) return std::nullopt;
        frame_bytes = *bytes;
    }
    const auto sample_size = [&](std::uint64_t k) -> std::uint64_t {
        return frame_bytes != 0 ? frame_bytes
                                : stsz.body.be32(12 + static_cast<std::size_t>(k) * 4).value_or(0);
    };

    const std::uint64_t in_last = SamplesInChunk(*runs, *chunks);
    if (in_last > *samples) return std::nullopt;
    const std::uint64_t first_of_last = *samples - in_last;
    std::uint64_t end = chunk_offset(*chunks - 1);
    constexpr std::uint64_t kFar = UINT64_MAX / 4;
    if (frame_bytes != 0) {
        // One size for all: no need to walk the samples.
        if (end > kFar || in_last > kFar / frame_bytes) return std::nullopt;
        end += in_last * frame_bytes;
        t.last_sample_offset = end - frame_bytes;
    } else {
        for (std::uint64_t k = first_of_last; k < *samples; ++k) {
            t.last_sample_offset = end;
            const std::uint64_t size = sample_size(k);
            if (end > kFar) return std::nullopt;
            end += size;
        }
    }
    t.samples = *samples;
    t.first_chunk = chunk_offset(0);
    t.media_end = end;
    t.last_sample_size = sample_size(*samples - 1);
    MapChunks(t, *runs, *chunks, *samples, chunk_offset, frame_bytes, sample_size);
    if (const Atom stsd = Child(stbl.body, "stsd"); stsd.found && stsd.body.has(12, 4)) {
        t.codec.assign(reinterpret_cast<const char*>(stsd.body.sub(12, 4).data()), 4);
        if (t.handler == "vide") t.nal = NalFormatOf(stsd.body.sub(8));
    }
    return t;
}

}  // namespace

const MovieTrack* MovieTracks::video() const {
    for (const MovieTrack& t : tracks)
        if (t.handler == "vide") return &t;
    return nullptr;
}

std::optional<std::uint64_t> MovieTracks::media_end() const {
    std::optional<std::uint64_t> end;
    for (const MovieTrack& t : tracks)
        if (t.handler == "vide" || t.handler == "soun")
            end = std::max(end.value_or(0), t.media_end);
    return end;
}

std::optional<std::uint64_t> MovieTracks::media_end_of_all() const {
    std::optional<std::uint64_t> end;
    for (const MovieTrack& t : tracks)
        if (t.self_contained) end = std::max(end.value_or(0), t.media_end);
    return end;
}

std::optional<std::uint32_t> SoundFrameBytes(ByteView e) {
    // Sample description: size, format, 6 reserved, data reference index,
    // then version, revision, vendor, channels, bits, ...
    const auto version = e.be16(16);
    if (!version) return std::nullopt;
    std::uint64_t bytes = 0;
    if (*version == 0) {
        bytes = std::uint64_t{e.be16(24).value_or(0)} * e.be16(26).value_or(0) / 8;
    } else if (*version == 1) {
        bytes = e.be32(44).value_or(0);  // bytes per frame
    } else if (*version == 2) {
        bytes = e.be32(64).value_or(0);  // constant bytes per audio packet
    }
    if (bytes == 0 || bytes > 1024) return std::nullopt;
    return static_cast<std::uint32_t>(bytes);
}

std::optional<MovieTracks> ParseMovieTracks(ByteView moov) {
    if (!moov.matches(4, "moov")) return std::nullopt;
    const std::uint32_t size = moov.be32(0).value_or(0);
    if (size < 8 || size > moov.size()) return std::nullopt;
    const ByteView body = moov.sub(8, size - 8);
    MovieTracks out;
    std::size_t at = 0;
    while (body.has(at, 8)) {
        const std::uint32_t child = body.be32(at).value_or(0);
        if (child < 8 || child > body.size() - at) break;
        if (body.matches(at + 4, "trak"))
            if (auto t = ReadTrack(body.sub(at + 8, child - 8))) out.tracks.push_back(*t);
        at += child;
    }
    if (!out.video()) return std::nullopt;
    return out;
}

}  // namespace tav
