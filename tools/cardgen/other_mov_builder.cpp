#include "cardgen/other_mov_builder.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cardgen/atom_writer.hpp"
#include "cardgen/moov_writer.hpp"
#include "cardgen/sync_frame.hpp"
#include "common/byte_order.hpp"

namespace tav::cardgen {
namespace {

constexpr std::uint32_t kPcmFramesPerChunk = 48000 / kFramesPerSecond;
constexpr std::uint32_t kPcmFrameBytes = 4;  // sowt, 16-bit stereo
constexpr std::size_t kFreeKibBytes = 3 * 1024;
constexpr std::int64_t kSecondsFrom1904To1970 = 2082844800;

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t{era} * 146097 + doe - 719468;
}

void WriteFtyp(AtomWriter& w, const std::string& brand) {
    const std::size_t at = w.begin("ftyp");
    w.text(brand);
    w.be32(brand == "qt  " ? 0x20050300u : brand == "isom" ? 0x200u : 0u);
    for (const std::string& b : CompatibleBrands(brand)) w.text(b);
    w.end(at);
}

void WriteLead(AtomWriter& w, Lead lead) {
    switch (lead) {
        case Lead::kNone:
            return;
        case Lead::kFree8:
        case Lead::kWide8:
            w.end(w.begin(lead == Lead::kFree8 ? "free" : "wide"));
            return;
        case Lead::kFreeKib: {
            const std::size_t at = w.begin("free");
            w.zeros(kFreeKibBytes - 8);
            w.end(at);
            return;
        }
        case Lead::kUuid: {
            // A maker's extension box: 16 bytes of id, then its payload.
            const std::size_t at = w.begin("uuid");
            const std::uint8_t id[16] = {0x54, 0x61, 0x76, 0x50, 0x68, 0x6F, 0x6E, 0x65,
                                         0x8A, 0x31, 0x4C, 0x0E, 0x95, 0x02, 0x7B, 0x11};
            w.bytes(id);
            w.text("TavPhone 7 camera app 2.4");
            w.end(at);
            return;
        }
    }
}

// AAC frames that end by the end of video frame i (the last one takes the rest).
std::size_t AacFramesBy(std::size_t i, std::size_t video_frames, std::size_t aac_frames) {
    if (i + 1 == video_frames) return aac_frames;
    const std::uint64_t samples = (i + 1) * std::uint64_t{48000 / kFramesPerSecond};
    return std::min<std::size_t>(aac_frames, (samples + kAacFrameSamples - 1) / kAacFrameSamples);
}

// The media data: video frames one per chunk, each with a sound chunk before
// or after it; offsets relative to the start of the media data.
struct Media {
    Bytes bytes;
    VideoLayout video;
    SoundLayout sound;
};

Media LayOutMedia(const WriterLayout& layout, const EncodedClip& clip, const AacClip* aac,
                  std::uint64_t seed) {
    Media m;
    m.video.clip = &clip;
    m.sound.frames_per_chunk = kPcmFramesPerChunk;
    if (layout.sound == SoundCodec::kAac) {
        m.sound.sample_entry = aac->sample_entry;
        m.sound.sample_duration = kAacFrameSamples;
    }
    AtomWriter w(m.bytes);
    // A quiet tone, each seed its own pitch: sound as a microphone records
    // it, not white noise (whose bytes nothing could tell from a foreign file's).
    const double step =
        2.0 * 3.14159265358979 * (220.0 + 55.0 * static_cast<double>(seed % 16)) / 48000.0;
    std::uint64_t pcm_frame = 0;
    std::size_t aac_next = 0;
    const auto sound_chunk = [&](std::size_t i) {
        if (layout.sound == SoundCodec::kPcm) {
            m.sound.chunk_offsets.push_back(w.position());
            for (std::uint32_t k = 0; k < kPcmFramesPerChunk; ++k, ++pcm_frame) {
                const auto v = static_cast<std::int16_t>(
                    3000.0 * std::sin(step * static_cast<double>(pcm_frame)));
                for (int channel = 0; channel < 2; ++channel) w.le16(static_cast<std::uint16_t>(v));
            }
        } else if (layout.sound == SoundCodec::kAac) {
            const std::size_t end = AacFramesBy(i, clip.frames.size(), aac->frames.size());
            if (end <= aac_next) return;
            m.sound.chunk_offsets.push_back(w.position());
            m.sound.samples_per_chunk.push_back(static_cast<std::uint32_t>(end - aac_next));
            for (; aac_next < end; ++aac_next) {
                w.bytes(aac->frames[aac_next]);
                m.sound.sample_sizes.push_back(
                    static_cast<std::uint32_t>(aac->frames[aac_next].size()));
            }
        }
    };
    const VideoCodec codec = layout.video;
    for (std::size_t i = 0; i < clip.frames.size(); ++i) {
        if (!layout.sound_last) sound_chunk(i);
        const Bytes& frame = clip.frames[i];
        m.video.chunk_offsets.push_back(w.position());
        m.video.sample_sizes.push_back(static_cast<std::uint32_t>(frame.size()));
        if (IsSyncFrame(frame, codec))
            m.video.sync_samples.push_back(static_cast<std::uint32_t>(i + 1));
        w.bytes(frame);
        if (layout.sound_last) sound_chunk(i);
    }
    return m;
}

void Shift(std::vector<std::uint64_t>& offsets, std::uint64_t by) {
    for (std::uint64_t& o : offsets) o += by;
}

MovOptions OtherOptions(MovOptions o, const WriterLayout& layout, std::size_t media_bytes) {
    o.creation_time = QuickTimeSeconds(o.date, o.time);
    o.camera_udta = o.cnmn = false;
    o.sound_track = layout.sound != SoundCodec::kNone;
    o.sound_format = 0;  // sowt
    const std::string local = IsoLocalTime(o.date, o.time, layout.utc_offset_minutes);
    if (layout.date_tag == DateTag::kUdtaDay) o.day_text = local;
    if (layout.date_tag == DateTag::kMetaCreationDate) o.meta_creation_date = local;
    o.mdat64 = o.mdat64 || layout.mdat64;
    if (media_bytes + (1u << 20) > 0xFFFFFFFFull) o.mdat64 = o.co64 = true;
    return o;
}

}  // namespace

std::uint32_t QuickTimeSeconds(const std::string& date, const std::string& time) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    std::sscanf(date.c_str(), "%d:%d:%d", &y, &mo, &d);
    std::sscanf(time.c_str(), "%d:%d:%d", &h, &mi, &s);
    return static_cast<std::uint32_t>(DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s +
                                      kSecondsFrom1904To1970);
}

std::string IsoLocalTime(const std::string& date, const std::string& time, int offset_minutes) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    std::sscanf(date.c_str(), "%d:%d:%d", &y, &mo, &d);
    std::sscanf(time.c_str(), "%d:%d:%d", &h, &mi, &s);
    const int off = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d%02d", y, mo, d, h, mi, s,
                  offset_minutes < 0 ? '-' : '+', off / 60, off % 60);
    return text;
}

MovFile BuildOtherMov(const MovOptions& requested, const WriterLayout& layout,
                      const EncodedClip& video, const AacClip* aac, std::uint64_t seed) {
    WriterLayout l = layout;
    if (l.sound == SoundCodec::kAac && (!aac || aac->frames.empty())) l.sound = SoundCodec::kNone;
    Media media = LayOutMedia(l, video, aac, seed);
    const MovOptions o = OtherOptions(requested, l, media.bytes.size());
    const SoundLayout* sound = l.sound == SoundCodec::kNone ? nullptr : &media.sound;

    MovFile file;
    file.moov_first = l.moov_first;
    file.tagged = false;
    file.brand = l.brand;
    file.video_codec = VideoFourcc(l.video);
    if (sound) file.sound_codec = l.sound == SoundCodec::kAac ? "mp4a" : "sowt";
    Bytes lead;
    AtomWriter lw(lead);
    WriteFtyp(lw, l.brand);
    WriteLead(lw, l.lead);
    const std::size_t mdat_header = o.mdat64 ? 16 : 8;
    // Chunk offsets do not change the movie atom's size, so one written
    // with the media at 0 tells where the media data of a moov-first file starts.
    const std::size_t moov_size = l.moov_first ? WriteMoov(o, media.video, sound).bytes.size() : 0;
    file.mdat_at = lead.size() + moov_size;
    const std::uint64_t media_at = file.mdat_at + mdat_header;
    Shift(media.video.chunk_offsets, media_at);
    Shift(media.sound.chunk_offsets, media_at);
    MoovAtom moov = WriteMoov(o, media.video, sound);

    file.head = std::move(lead);
    if (l.moov_first) {
        file.moov_at = file.head.size();
        file.head.insert(file.head.end(), moov.bytes.begin(), moov.bytes.end());
    }
    AtomWriter w(file.head);
    const std::uint64_t mdat_size = mdat_header + media.bytes.size();
    w.be32(o.mdat64 ? 1u : static_cast<std::uint32_t>(mdat_size));
    w.text("mdat");
    if (o.mdat64) w.be64(mdat_size);
    w.bytes(media.bytes);

    const std::int64_t moov_at = file.moov_offset();
    file.moov = std::move(moov.bytes);
    file.sample_sizes = std::move(media.video.sample_sizes);
    file.chunk_offsets = std::move(media.video.chunk_offsets);
    file.sound_chunk_offsets = std::move(media.sound.chunk_offsets);
    file.stsz_offset = moov_at + static_cast<std::int64_t>(moov.stsz_at);
    file.stco_offset = moov_at + static_cast<std::int64_t>(moov.stco_at);
    return file;
}

}  // namespace tav::cardgen
