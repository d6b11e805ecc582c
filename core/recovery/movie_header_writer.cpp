#include "recovery/movie_header_writer.hpp"

#include <algorithm>

#include "common/byte_order.hpp"

namespace tav {

namespace {

constexpr std::uint64_t kMost32 = 0xFFFFFFFFull;

class AtomOut {
  public:
    explicit AtomOut(ByteString& bytes) : b_(bytes) {}
    std::size_t begin(const char* type) {
        const std::size_t at = b_.size();
        be32(0);
        b_.insert(b_.end(), type, type + 4);
        return at;
    }
    void end(std::size_t at) {
        store_be32(b_.data() + at, static_cast<std::uint32_t>(b_.size() - at));
    }
    void be16(std::uint16_t v) { put(v, 2); }
    void be32(std::uint32_t v) { put(v, 4); }
    void be64(std::uint64_t v) { put(v, 8); }
    void zeros(std::size_t n) { b_.insert(b_.end(), n, 0); }
    void bytes(const ByteString& v) { b_.insert(b_.end(), v.begin(), v.end()); }
    // An atom whose body is copied.
    void atom(const char* type, const ByteString& body) {
        const std::size_t at = begin(type);
        bytes(body);
        end(at);
    }

  private:
    void put(std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) b_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    ByteString& b_;
};

// The header body with its duration replaced; 32-bit fields keep the most
// they can hold.
ByteString WithDuration(ByteString body, bool track_header, std::uint64_t duration) {
    const auto field = FindDuration(ByteView(body), track_header);
    if (!field) return body;
    if (field->wide)
        store_be64(body.data() + field->at, duration);
    else
        store_be32(body.data() + field->at,
                   static_cast<std::uint32_t>(std::min(duration, kMost32)));
    return body;
}

std::uint64_t Rescale(std::uint64_t value, std::uint32_t from, std::uint32_t to) {
    return from == 0
               ? 0
               : static_cast<std::uint64_t>(static_cast<unsigned __int128>(value) * to / from);
}

struct Chunk {
    std::uint64_t offset = 0;
    std::uint32_t samples = 0;
};

// Samples that follow each other without a gap share a chunk.
std::vector<Chunk> VideoChunks(const std::vector<WalkedSample>& samples) {
    std::vector<Chunk> chunks;
    std::uint64_t next = 0;
    for (const WalkedSample& s : samples) {
        if (chunks.empty() || s.offset != next) chunks.push_back({s.offset, 0});
        ++chunks.back().samples;
        next = s.offset + s.size;
    }
    return chunks;
}

void WriteStts(AtomOut& w, std::uint64_t count, std::uint32_t delta) {
    const std::size_t at = w.begin("stts");
    w.be32(0);
    w.be32(1);
    w.be32(static_cast<std::uint32_t>(std::min(count, kMost32)));
    w.be32(delta);
    w.end(at);
}

// One entry per run of chunks with the same sample count.
void WriteStsc(AtomOut& w, const std::vector<Chunk>& chunks) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
    for (std::size_t k = 0; k < chunks.size(); ++k)
        if (runs.empty() || runs.back().second != chunks[k].samples)
            runs.emplace_back(static_cast<std::uint32_t>(k + 1), chunks[k].samples);
    const std::size_t at = w.begin("stsc");
    w.be32(0);
    w.be32(static_cast<std::uint32_t>(runs.size()));
    for (const auto& [first, samples] : runs) {
        w.be32(first);
        w.be32(samples);
        w.be32(1);  // sample description 1
    }
    w.end(at);
}

void WriteChunkOffsets(AtomOut& w, const std::vector<Chunk>& chunks, bool wide) {
    const std::size_t at = w.begin(wide ? "co64" : "stco");
    w.be32(0);
    w.be32(static_cast<std::uint32_t>(chunks.size()));
    for (const Chunk& c : chunks)
        wide ? w.be64(c.offset) : w.be32(static_cast<std::uint32_t>(c.offset));
    w.end(at);
}

void WriteMediaInfo(AtomOut& w, const ReferenceTrack& t, bool sound) {
    if (sound) {
        const std::size_t smhd = w.begin("smhd");
        w.zeros(8);  // version, flags, balance, reserved
        w.end(smhd);
    } else {
        const std::size_t vmhd = w.begin("vmhd");
        w.be32(1);       // flags: no lean ahead
        w.be16(0x0040);  // copy graphics mode
        w.zeros(6);
        w.end(vmhd);
    }
    if (!t.minf_hdlr.empty()) w.atom("hdlr", t.minf_hdlr);
    if (!t.dinf.empty()) {
        w.atom("dinf", t.dinf);
        return;
    }
    const std::size_t dinf = w.begin("dinf");
    const std::size_t dref = w.begin("dref");
    w.be32(0);
    w.be32(1);
    const std::size_t alis = w.begin("alis");
    w.be32(1);  // flags: the data is in this file
    w.end(alis);
    w.end(dref);
    w.end(dinf);
}

struct TrackTables {
    const ReferenceTrack* track = nullptr;
    bool sound = false;
    std::uint64_t samples = 0;
    std::uint64_t movie_duration = 0;
    std::vector<Chunk> chunks;
    bool wide = false;
};

// One entry per run of pictures shown the same number of frames late.
void WriteCtts(AtomOut& w, const CompositionOffsets& order, std::uint32_t delta) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
    for (const std::uint32_t frames : order.frames)
        if (!runs.empty() && runs.back().second == frames)
            ++runs.back().first;
        else
            runs.emplace_back(1, frames);
    const std::size_t at = w.begin("ctts");
    w.be32(0);
    w.be32(static_cast<std::uint32_t>(runs.size()));
    for (const auto& [count, frames] : runs) {
        w.be32(count);
        w.be32(static_cast<std::uint32_t>(std::min(std::uint64_t{frames} * delta, kMost32)));
    }
    w.end(at);
}

// The movie starts at the first picture shown, not at the first decoded.
void WriteEditList(AtomOut& w, std::uint64_t movie_duration, std::uint64_t media_time) {
    const std::size_t edts = w.begin("edts");
    const std::size_t elst = w.begin("elst");
    w.be32(0);
    w.be32(1);
    w.be32(static_cast<std::uint32_t>(std::min(movie_duration, kMost32)));
    w.be32(static_cast<std::uint32_t>(std::min(media_time, kMost32 >> 1)));
    w.be32(0x00010000);  // rate 1.0
    w.end(elst);
    w.end(edts);
}

void WriteTrak(AtomOut& w, const TrackTables& t, const std::vector<WalkedSample>* video,
               std::uint32_t sound_sample_size, const CompositionOffsets* order = nullptr) {
    const ReferenceTrack& r = *t.track;
    const std::size_t trak = w.begin("trak");
    w.atom("tkhd", WithDuration(r.tkhd, true, t.movie_duration));
    if (order) WriteEditList(w, t.movie_duration, std::uint64_t{order->delay} * r.sample_delta);
    const std::size_t mdia = w.begin("mdia");
    w.atom("mdhd", WithDuration(r.mdhd, false, t.samples * r.sample_delta));
    w.atom("hdlr", r.hdlr);
    const std::size_t minf = w.begin("minf");
    WriteMediaInfo(w, r, t.sound);
    const std::size_t stbl = w.begin("stbl");
    w.atom("stsd", r.stsd);
    WriteStts(w, t.samples, r.sample_delta);
    if (order) WriteCtts(w, *order, r.sample_delta);
    if (video) {
        std::vector<std::uint32_t> syncs;
        for (std::size_t k = 0; k < video->size(); ++k)
            if ((*video)[k].sync) syncs.push_back(static_cast<std::uint32_t>(k + 1));
        const std::size_t stss = w.begin("stss");
        w.be32(0);
        w.be32(static_cast<std::uint32_t>(syncs.size()));
        for (std::uint32_t n : syncs) w.be32(n);
        w.end(stss);
    }
    WriteStsc(w, t.chunks);
    const std::size_t stsz = w.begin("stsz");
    w.be32(0);
    w.be32(video ? 0 : sound_sample_size);
    w.be32(static_cast<std::uint32_t>(std::min(t.samples, kMost32)));
    if (video)
        for (const WalkedSample& s : *video) w.be32(static_cast<std::uint32_t>(s.size));
    w.end(stsz);
    WriteChunkOffsets(w, t.chunks, t.wide);
    w.end(stbl);
    w.end(minf);
    w.end(mdia);
    w.end(trak);
}

}  // namespace

ByteString WriteRebuiltMoov(const ReferenceMovie& ref, const MediaWalk& walk,
                            const CompositionOffsets* order) {
    if (order && (!order->reordered() || order->frames.size() != walk.video.size()))
        order = nullptr;
    const std::uint64_t frames = walk.video.size();
    const std::uint64_t movie_duration =
        Rescale(frames * ref.video.sample_delta, ref.video.timescale, ref.movie_timescale);
    const bool wide = walk.end > kMost32;

    TrackTables video{&ref.video, false, frames, movie_duration, VideoChunks(walk.video), wide};
    TrackTables sound;
    const bool with_sound = ref.sound && !walk.sound_chunks.empty();
    if (with_sound) {
        sound = {&*ref.sound, true, 0, movie_duration, {}, wide};
        const std::uint64_t frame = std::max<std::uint64_t>(ref.sound->frame_bytes, 1);
        for (const SoundChunk& c : walk.sound_chunks) {
            const auto samples = static_cast<std::uint32_t>(c.size / frame);
            sound.chunks.push_back({c.offset, samples});
            sound.samples += samples;
        }
    }

    ByteString out;
    AtomOut w(out);
    const std::size_t moov = w.begin("moov");
    w.atom("mvhd", WithDuration(ref.mvhd, false, movie_duration));
    WriteTrak(w, video, &walk.video, 0, order);
    if (with_sound) WriteTrak(w, sound, nullptr, ref.sound->stsz_size);
    w.end(moov);
    return out;
}

}  // namespace tav
