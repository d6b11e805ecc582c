#include "cardgen/moov_writer.hpp"

#include <cstring>

#include <string_view>

#include "cardgen/atom_writer.hpp"

namespace tav::cardgen {
namespace {

constexpr std::uint32_t kMovieTimescale = 600;
constexpr std::uint32_t kVideoTimescale = 2500;
constexpr std::uint32_t kSoundRate = 48000;
struct TrackInfo {
    std::uint32_t created = 0;
    std::uint32_t id = 1;
    std::uint32_t movie_duration = 0;
    bool sound = false;
    int width = 0, height = 0;
};

void WriteMvhd(AtomWriter& w, std::uint32_t created, std::uint32_t duration,
               std::uint32_t next_track) {
    const std::size_t at = w.begin_full("mvhd", 0, 0);
    w.be32(created);
    w.be32(created);
    w.be32(kMovieTimescale);
    w.be32(duration);
    w.be32(0x00010000);  // rate 1.0
    w.be16(0x0100);      // volume 1.0
    w.zeros(10);
    w.unity_matrix();
    w.zeros(6 * 4);  // preview, poster, selection and current times
    w.be32(next_track);
    w.end(at);
}

void WriteTkhd(AtomWriter& w, const TrackInfo& t) {
    const std::size_t at = w.begin_full("tkhd", 0, 0x000003);  // enabled, in movie
    w.be32(t.created);
    w.be32(t.created);
    w.be32(t.id);
    w.be32(0);
    w.be32(t.movie_duration);
    w.zeros(8);
    w.be16(0);  // layer
    w.be16(t.sound ? 1 : 0);
    w.be16(t.sound ? 0x0100 : 0);
    w.be16(0);
    w.unity_matrix();
    w.be32(static_cast<std::uint32_t>(t.width) << 16);
    w.be32(static_cast<std::uint32_t>(t.height) << 16);
    w.end(at);
}

void WriteMdhd(AtomWriter& w, std::uint32_t created, std::uint32_t timescale,
               std::uint32_t duration) {
    const std::size_t at = w.begin_full("mdhd", 0, 0);
    w.be32(created);
    w.be32(created);
    w.be32(timescale);
    w.be32(duration);
    w.be16(0x7FFF);  // no language given
    w.be16(0);
    w.end(at);
}

void WriteHdlr(AtomWriter& w, std::string_view kind, std::string_view subtype,
               std::string_view name) {
    const std::size_t at = w.begin_full("hdlr", 0, 0);
    w.text(kind);
    w.text(subtype);
    w.zeros(12);  // manufacturer, flags, flags mask
    w.u8(static_cast<std::uint8_t>(name.size()));
    w.text(name);
    w.end(at);
}

void WriteDinf(AtomWriter& w) {
    const std::size_t dinf = w.begin("dinf");
    const std::size_t dref = w.begin_full("dref", 0, 0);
    w.be32(1);
    const std::size_t alis = w.begin_full("alis", 0, 1);  // data in this file
    w.end(alis);
    w.end(dref);
    w.end(dinf);
}

void WriteSampleTable(AtomWriter& w, std::string_view type, std::uint32_t first,
                      const std::vector<std::uint32_t>& entries) {
    const std::size_t at = w.begin_full(type, 0, 0);
    if (type == "stsz") w.be32(first);
    w.be32(static_cast<std::uint32_t>(entries.size()));
    for (std::uint32_t e : entries) w.be32(e);
    w.end(at);
}

void WriteChunkOffsets(AtomWriter& w, bool co64, const std::vector<std::uint64_t>& offsets) {
    const std::size_t at = w.begin_full(co64 ? "co64" : "stco", 0, 0);
    w.be32(static_cast<std::uint32_t>(offsets.size()));
    for (std::uint64_t o : offsets) co64 ? w.be64(o) : w.be32(static_cast<std::uint32_t>(o));
    w.end(at);
}

void WriteStsc(AtomWriter& w, std::uint32_t samples_per_chunk) {
    const std::size_t at = w.begin_full("stsc", 0, 0);
    w.be32(1);
    w.be32(1);  // from the first chunk on
    w.be32(samples_per_chunk);
    w.be32(1);  // sample description 1
    w.end(at);
}

void WriteStts(AtomWriter& w, std::uint32_t count, std::uint32_t delta) {
    const std::size_t at = w.begin_full("stts", 0, 0);
    w.be32(1);
    w.be32(count);
    w.be32(delta);
    w.end(at);
}

void WriteVideoStbl(AtomWriter& w, const MovOptions& o, const VideoLayout& v, MoovAtom& m) {
    const std::size_t stbl = w.begin("stbl");
    const std::size_t stsd = w.begin_full("stsd", 0, 0);
    w.be32(1);
    w.bytes(v.clip->stsd_entry);
    w.end(stsd);
    WriteStts(w, static_cast<std::uint32_t>(v.sample_sizes.size()),
              kVideoTimescale / kFramesPerSecond);
    WriteSampleTable(w, "stss", 0, v.sync_samples);
    WriteStsc(w, 1);
    m.stsz_at = w.position();
    WriteSampleTable(w, "stsz", 0, v.sample_sizes);
    m.stco_at = w.position();
    WriteChunkOffsets(w, o.co64, v.chunk_offsets);
    w.end(stbl);
}

void WriteVideoTrak(AtomWriter& w, const MovOptions& o, const VideoLayout& v, MoovAtom& m,
                    std::uint32_t movie_duration) {
    const auto frames = static_cast<std::uint32_t>(v.sample_sizes.size());
    const std::size_t trak = w.begin("trak");
    WriteTkhd(w, {o.creation_time, 1, movie_duration, false, v.clip->width, v.clip->height});
    const std::size_t mdia = w.begin("mdia");
    WriteMdhd(w, o.creation_time, kVideoTimescale, frames * (kVideoTimescale / kFramesPerSecond));
    WriteHdlr(w, "mhlr", "vide", "Video Media Handler");
    const std::size_t minf = w.begin("minf");
    const std::size_t vmhd = w.begin_full("vmhd", 0, 1);
    w.be16(0x0040);  // copy graphics mode
    w.zeros(6);
    w.end(vmhd);
    WriteHdlr(w, "dhlr", "alis", "Data Handler");
    WriteDinf(w);
    WriteVideoStbl(w, o, v, m);
    w.end(minf);
    w.end(mdia);
    w.end(trak);
}

// Versions 0 and 1 give channels and bits (1 adds the packet sizes);
// version 2 keeps them in fields of its own, with placeholders in the old
// ones.
void WriteSoundEntry(AtomWriter& w, const PcmFormat& f) {
    const std::size_t at = w.begin(f.fourcc);
    w.zeros(6);
    w.be16(1);
    w.be16(static_cast<std::uint16_t>(f.version));
    w.be16(0);
    w.be32(0);
    const bool v2 = f.version == 2;
    w.be16(static_cast<std::uint16_t>(v2 ? 3 : f.channels));
    w.be16(static_cast<std::uint16_t>(v2 ? 16 : f.bits));
    w.be16(v2 ? 0xFFFE : 0);
    w.be16(0);
    w.be32(v2 ? 0x00010000 : kSoundRate << 16);
    if (f.version == 1) {
        w.be32(1);                                       // samples per packet
        w.be32(static_cast<std::uint32_t>(f.bits / 8));  // bytes per packet (one channel)
        w.be32(f.frame_bytes());                         // bytes per frame
        w.be32(static_cast<std::uint32_t>(f.bits / 8));  // bytes per sample
    } else if (v2) {
        w.be32(72);  // size of the version 2 fields and those before them
        const double rate = kSoundRate;
        std::uint64_t bits = 0;
        std::memcpy(&bits, &rate, sizeof bits);
        w.be64(bits);
        w.be32(static_cast<std::uint32_t>(f.channels));
        w.be32(0x7F000000);
        w.be32(static_cast<std::uint32_t>(f.bits));
        w.be32(0x0C);             // signed integer, packed; little-endian
        w.be32(f.frame_bytes());  // bytes per packet
        w.be32(1);                // frames per packet
    }
    w.end(at);
}

// Runs of chunks with the same sample count, one entry each.
void WriteStscRuns(AtomWriter& w, const std::vector<std::uint32_t>& samples_per_chunk) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;  // first chunk, samples
    for (std::size_t c = 0; c < samples_per_chunk.size(); ++c)
        if (runs.empty() || runs.back().second != samples_per_chunk[c])
            runs.emplace_back(static_cast<std::uint32_t>(c + 1), samples_per_chunk[c]);
    const std::size_t at = w.begin_full("stsc", 0, 0);
    w.be32(static_cast<std::uint32_t>(runs.size()));
    for (const auto& [first, samples] : runs) {
        w.be32(first);
        w.be32(samples);
        w.be32(1);
    }
    w.end(at);
}

void WriteSoundTrak(AtomWriter& w, const MovOptions& o, const SoundLayout& s,
                    std::uint32_t movie_duration) {
    const auto total =
        s.compressed() ? static_cast<std::uint32_t>(s.sample_sizes.size()) * s.sample_duration
                       : static_cast<std::uint32_t>(s.chunk_offsets.size()) * s.frames_per_chunk;
    const std::size_t trak = w.begin("trak");
    WriteTkhd(w, {o.creation_time, 2, movie_duration, true, 0, 0});
    const std::size_t mdia = w.begin("mdia");
    WriteMdhd(w, o.creation_time, kSoundRate, total);
    WriteHdlr(w, "mhlr", "soun", "Sound Media Handler");
    const std::size_t minf = w.begin("minf");
    const std::size_t smhd = w.begin_full("smhd", 0, 0);
    w.be32(0);  // balance and reserved
    w.end(smhd);
    WriteHdlr(w, "dhlr", "alis", "Data Handler");
    WriteDinf(w);
    const std::size_t stbl = w.begin("stbl");
    const std::size_t stsd = w.begin_full("stsd", 0, 0);
    w.be32(1);
    if (s.compressed()) {
        w.bytes(s.sample_entry);
        w.end(stsd);
        WriteStts(w, static_cast<std::uint32_t>(s.sample_sizes.size()), s.sample_duration);
        WriteStscRuns(w, s.samples_per_chunk);
        WriteSampleTable(w, "stsz", 0, s.sample_sizes);
    } else {
        WriteSoundEntry(w, PcmFormatOf(o));
        w.end(stsd);
        WriteStts(w, total, 1);
        WriteStsc(w, s.frames_per_chunk);
        WriteSampleTable(w, "stsz", 1, {});  // constant size: one PCM frame per sample
    }
    WriteChunkOffsets(w, o.co64, s.chunk_offsets);
    w.end(stbl);
    w.end(minf);
    w.end(mdia);
    w.end(trak);
}

void WriteUdta(AtomWriter& w, const MovOptions& o) {
    if (!o.camera_udta && o.day_text.empty()) return;
    const std::size_t udta = w.begin("udta");
    if (o.camera_udta) {
        const std::size_t cncv = w.begin("CNCV");
        w.text("TavCamAVC0001");
        w.end(cncv);
    }
    if (!o.day_text.empty()) {
        // A text item: length, language (0: English), then the text.
        const std::size_t day = w.begin(
            "\xA9"
            "day");
        w.be16(static_cast<std::uint16_t>(o.day_text.size()));
        w.be16(0);
        w.text(o.day_text);
        w.end(day);
    }
    if (o.camera_udta && o.cnmn) {
        const std::size_t mn = w.begin("CNMN");
        w.text("TAV HV-20");
        w.end(mn);
    }
    w.end(udta);
}

// Keyed metadata as phones write it: a handler, the key list, then one
// item per key holding a UTF-8 data atom.
void WriteMetaCreationDate(AtomWriter& w, std::string_view date) {
    constexpr std::string_view kKey = "com.apple.quicktime.creationdate";
    const std::size_t meta = w.begin("meta");
    const std::size_t hdlr = w.begin_full("hdlr", 0, 0);
    w.be32(0);
    w.text("mdta");
    w.zeros(12);
    w.u8(0);  // empty name
    w.end(hdlr);
    const std::size_t keys = w.begin_full("keys", 0, 0);
    w.be32(1);
    w.be32(static_cast<std::uint32_t>(8 + kKey.size()));
    w.text("mdta");
    w.text(kKey);
    w.end(keys);
    const std::size_t ilst = w.begin("ilst");
    const std::size_t item = w.begin(std::string_view("\0\0\0\1", 4));  // key 1
    const std::size_t data = w.begin("data");
    w.be32(1);  // UTF-8 text
    w.be32(0);  // default locale
    w.text(date);
    w.end(data);
    w.end(item);
    w.end(ilst);
    w.end(meta);
}

}  // namespace

MoovAtom WriteMoov(const MovOptions& options, const VideoLayout& video, const SoundLayout* sound) {
    MoovAtom m;
    AtomWriter w(m.bytes);
    const auto frames = static_cast<std::uint32_t>(video.sample_sizes.size());
    const std::uint32_t duration = frames * (kMovieTimescale / kFramesPerSecond);
    const std::size_t moov = w.begin("moov");
    WriteMvhd(w, options.creation_time, duration, sound ? 3 : 2);
    WriteVideoTrak(w, options, video, m, duration);
    if (sound) WriteSoundTrak(w, options, *sound, duration);
    WriteUdta(w, options);
    if (!options.meta_creation_date.empty()) WriteMetaCreationDate(w, options.meta_creation_date);
    w.end(moov);
    return m;
}

}  // namespace tav::cardgen
