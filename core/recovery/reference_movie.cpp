#include "recovery/reference_movie.hpp"

#include <algorithm>

#include "recovery/largest_chunk.hpp"
#include "recovery/media_walk.hpp"
#include "recovery/video_config.hpp"
#include "scan/atom_tree.hpp"
#include "scan/movie_tracks.hpp"

namespace tav {

namespace {

using Failure = std::unexpected<std::string>;

// Beyond any camera's interleave; keeps a hostile table from making the
// walk search far.
constexpr std::uint64_t kMostOtherChunkBytes = 8ull << 20;

ByteString Copy(ByteView v) {
    return ByteString(v.data(), v.data() + v.size());
}

// The time scale of an mvhd or mdhd body, by its version.
std::optional<std::uint32_t> Timescale(ByteView body) {
    const auto version = body.u8(0);
    if (!version || *version > 1) return std::nullopt;
    const auto scale = body.be32(*version == 1 ? 20 : 12);
    if (!scale || *scale == 0) return std::nullopt;
    return scale;
}

// The first stts entry's sample duration: a camera writes one for all frames.
std::optional<std::uint32_t> SampleDelta(ByteView stts) {
    const auto count = stts.be32(4);
    const auto delta = stts.be32(12);
    if (!count || *count == 0 || !delta || *delta == 0) return std::nullopt;
    return delta;
}

std::optional<std::uint64_t> FirstChunk(ByteView stbl) {
    const Atom stco = Child(stbl, "stco");
    if (stco.found && stco.body.be32(4).value_or(0) > 0) return stco.body.be32(8);
    const Atom co64 = Child(stbl, "co64");
    if (co64.found && co64.body.be32(4).value_or(0) > 0) return co64.body.be64(8);
    return std::nullopt;
}

// The atoms every track shares; the table atoms are the caller's.
struct TrackAtoms {
    Atom tkhd, mdhd, hdlr, minf_hdlr, dinf, stbl, stsd, stts;
    std::string handler;
};

std::optional<TrackAtoms> ReadTrackAtoms(ByteView trak) {
    TrackAtoms t;
    t.tkhd = Child(trak, "tkhd");
    t.mdhd = Path(trak, {"mdia", "mdhd"});
    t.hdlr = Path(trak, {"mdia", "hdlr"});
    t.minf_hdlr = Path(trak, {"mdia", "minf", "hdlr"});
    t.dinf = Path(trak, {"mdia", "minf", "dinf"});
    t.stbl = Path(trak, {"mdia", "minf", "stbl"});
    if (!t.tkhd.found || !t.mdhd.found || !t.hdlr.found || !t.stbl.found || !t.hdlr.body.has(8, 4))
        return std::nullopt;
    t.stsd = Child(t.stbl.body, "stsd");
    t.stts = Child(t.stbl.body, "stts");
    t.handler.assign(reinterpret_cast<const char*>(t.hdlr.body.data()) + 8, 4);
    return t;
}

std::expected<void, std::string> ReadCommon(const TrackAtoms& a, const char* what,
                                            ReferenceTrack& t) {
    const auto scale = Timescale(a.mdhd.body);
    if (!scale) return Failure(std::string(what) + "的mdhd没有有效的时间刻度");
    const auto d = a.stts.found ? SampleDelta(a.stts.body) : std::nullopt;
    if (!d) return Failure(std::string(what) + "的stts没有有效的样本时长");
    if (!a.stsd.found || a.stsd.body.be32(4).value_or(0) == 0)
        return Failure(std::string(what) + "没有样本描述(stsd)");
    if (!FindDuration(a.tkhd.body, true) || !FindDuration(a.mdhd.body, false))
        return Failure(std::string(what) + "的tkhd或mdhd版本未知");
    t.tkhd = Copy(a.tkhd.body);
    t.mdhd = Copy(a.mdhd.body);
    t.hdlr = Copy(a.hdlr.body);
    if (a.minf_hdlr.found) t.minf_hdlr = Copy(a.minf_hdlr.body);
    if (a.dinf.found) t.dinf = Copy(a.dinf.body);
    t.stsd = Copy(a.stsd.body);
    t.timescale = *scale;
    t.sample_delta = *d;
    return {};
}

std::expected<ReferenceSound, std::string> ReadSound(const TrackAtoms& a) {
    ReferenceSound s;
    if (auto ok = ReadCommon(a, "声音轨", s); !ok) return std::unexpected(ok.error());
    const Atom stsc = Child(a.stbl.body, "stsc");
    const auto runs = stsc.found ? ReadStsc(stsc.body) : std::nullopt;
    if (!runs) return Failure("声音轨的stsc无效");
    s.samples_per_chunk = runs->front().samples;
    constexpr std::size_t kMostChunkSizes = 16;  // beyond a writer's cadence
    for (const ChunkRun& run : *runs)
        if (run.samples != s.samples_per_chunk && run.samples != 0 &&
            s.other_samples_per_chunk.size() < kMostChunkSizes &&
            std::find(s.other_samples_per_chunk.begin(), s.other_samples_per_chunk.end(),
                      run.samples) == s.other_samples_per_chunk.end())
            s.other_samples_per_chunk.push_back(run.samples);
    const Atom stsz = Child(a.stbl.body, "stsz");
    s.stsz_size = stsz.found ? stsz.body.be32(4).value_or(0) : 0;
    // A size of 1 counts PCM frames, whose bytes the description gives.
    const ByteView entry = a.stsd.body.sub(8);
    const auto frame = s.stsz_size > 1    ? std::optional<std::uint32_t>(s.stsz_size)
                       : s.stsz_size == 1 ? SoundFrameBytes(entry)
                                          : std::nullopt;
    if (!frame) return Failure("声音轨的每帧字节数未知");
    s.frame_bytes = *frame;
    return s;
}

// Sound whose samples differ in size (AAC and other compressed formats):
// the walk could not tell where its chunks end.
bool VariableSound(const TrackAtoms& a) {
    const Atom stsz = Child(a.stbl.body, "stsz");
    return (stsz.found && stsz.body.be32(4) == std::optional<std::uint32_t>(0)) ||
           (a.stsd.found && ByteView(a.stsd.body).matches(12, "mp4a"));
}

// A track the rebuilt header leaves out: the walk steps over its chunks.
void LeaveOut(const TrackAtoms& a, ReferenceMovie& m) {
    if (a.handler == "soun" && !m.sound) m.sound_left_out = true;
    const std::uint64_t bytes = LargestChunkBytes(a.stbl.body).value_or(kStartSearchBytes);
    m.other_chunk_bytes =
        std::min(kMostOtherChunkBytes, m.other_chunk_bytes + std::min(bytes, kMostOtherChunkBytes));
}

// Takes the first video and the first sound track into m; their first
// chunks give where the media data starts.
std::expected<void, std::string> TakeTrack(const TrackAtoms& a, ReferenceMovie& m,
                                           bool& have_video) {
    const bool video = a.handler == "vide" && !have_video;
    const bool sound = a.handler == "soun" && !m.sound && !m.sound_left_out && !VariableSound(a);
    if (!video && !sound) {
        LeaveOut(a, m);
        return {};
    }
    const auto chunk = FirstChunk(a.stbl.body);
    if (!chunk) return Failure("参考文件的" + a.handler + "轨没有块偏移");
    m.first_chunk = std::min(m.first_chunk, *chunk);
    if (sound) {
        auto s = ReadSound(a);
        if (!s) return std::unexpected(s.error());
        m.sound = std::move(*s);
        return {};
    }
    if (auto ok = ReadCommon(a, "视频轨", m.video); !ok) return ok;
    auto config = ReadVideoConfig(a.stsd.body.sub(8));
    if (!config) return Failure(config.error());
    m.video.format = config->format;
    m.video.vps = std::move(config->vps);
    m.video.sps = std::move(config->sps);
    m.video.pps = std::move(config->pps);
    m.video.largest_sample = LargestSampleBytes(a.stbl.body).value_or(0);
    have_video = true;
    return {};
}

}  // namespace

std::optional<DurationField> FindDuration(ByteView body, bool track_header) {
    const auto version = body.u8(0);
    if (!version || *version > 1) return std::nullopt;
    const bool wide = *version == 1;
    // tkhd has the track id and a reserved word before its duration.
    const std::size_t at = (wide ? 24 : 16) + (track_header ? 4 : 0);
    if (!body.has(at, wide ? 8 : 4)) return std::nullopt;
    return DurationField{at, wide};
}

std::expected<ReferenceMovie, std::string> ParseReferenceMovie(ByteView moov) {
    const auto size = moov.be32(0);
    if (!moov.matches(4, "moov") || !size || *size < 8 || *size > moov.size())
        return Failure("参考文件中没有完整的moov");
    const ByteView body = moov.sub(8, *size - 8);
    ReferenceMovie m;
    const Atom mvhd = Child(body, "mvhd");
    const auto scale = mvhd.found ? Timescale(mvhd.body) : std::nullopt;
    if (!scale || !FindDuration(mvhd.body, false) || mvhd.body.size() < 4)
        return Failure("参考文件的mvhd无效");
    m.mvhd = Copy(mvhd.body);
    m.movie_timescale = *scale;
    m.first_chunk = UINT64_MAX;
    bool have_video = false;
    for (const Atom& trak : Children(body, "trak")) {
        const auto atoms = ReadTrackAtoms(trak.body);
        if (!atoms) continue;
        if (auto ok = TakeTrack(*atoms, m, have_video); !ok) return std::unexpected(ok.error());
    }
    if (!have_video) return Failure("参考文件中没有视频轨");
    return m;
}

}  // namespace tav
