#include "cardgen/aac_clip.hpp"

#include <algorithm>

#include "cardgen/atom_writer.hpp"
#include "cardgen/clip_cache.hpp"
#include "common/byte_view.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kSoundRate = 48000;

// An MPEG-4 descriptor: tag, a one-byte size (ours stay below 128), payload.
Bytes Descriptor(std::uint8_t tag, const Bytes& payload) {
    Bytes out = {tag, static_cast<std::uint8_t>(payload.size())};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes SampleEntry(int object_type, int rate_index, int channels, std::uint32_t max_frame) {
    const std::uint16_t config =
        static_cast<std::uint16_t>((object_type << 11) | (rate_index << 7) | (channels << 3));
    Bytes decoder;
    AtomWriter d(decoder);
    d.u8(0x40);             // MPEG-4 audio
    d.u8((0x05 << 2) | 1);  // audio stream
    d.u8(0);                // buffer size, 24 bits
    d.be16(static_cast<std::uint16_t>(max_frame));
    d.be32(128000);  // maximum bit rate
    d.be32(96000);   // average bit rate
    const Bytes specific = Descriptor(
        0x05, {static_cast<std::uint8_t>(config >> 8), static_cast<std::uint8_t>(config & 0xFF)});
    decoder.insert(decoder.end(), specific.begin(), specific.end());
    Bytes es = {0, 0, 0};  // ES id, flags
    const Bytes dc = Descriptor(0x04, decoder), sl = Descriptor(0x06, {0x02});
    es.insert(es.end(), dc.begin(), dc.end());
    es.insert(es.end(), sl.begin(), sl.end());

    Bytes out;
    AtomWriter w(out);
    const std::size_t mp4a = w.begin("mp4a");
    w.zeros(6);
    w.be16(1);   // data reference index
    w.zeros(8);  // version, revision, vendor
    w.be16(static_cast<std::uint16_t>(channels));
    w.be16(16);
    w.zeros(4);  // compression id, packet size
    w.be32(kSoundRate << 16);
    const std::size_t esds = w.begin_full("esds", 0, 0);
    w.bytes(Descriptor(0x03, es));
    w.end(esds);
    w.end(mp4a);
    return out;
}

}  // namespace

std::expected<AacClip, std::string> ReadAdts(ByteView adts) {
    AacClip clip;
    int object_type = 0, rate_index = 0, channels = 0;
    std::uint32_t max_frame = 0;
    for (std::size_t p = 0; p < adts.size();) {
        const std::uint8_t* h = adts.data() + p;
        if (!adts.has(p, 7) || h[0] != 0xFF || (h[1] & 0xF0) != 0xF0)
            return std::unexpected("broken ADTS header");
        const std::size_t header = (h[1] & 1) ? 7 : 9;
        const std::size_t length = ((h[3] & 3u) << 11) | (h[4] << 3) | (h[5] >> 5);
        if (length <= header || !adts.has(p, length)) return std::unexpected("ADTS frame cut");
        object_type = (h[2] >> 6) + 1;
        rate_index = (h[2] >> 2) & 0x0F;
        channels = ((h[2] & 1) << 2) | (h[3] >> 6);
        clip.frames.emplace_back(h + header, h + length);
        max_frame = std::max<std::uint32_t>(max_frame, static_cast<std::uint32_t>(length - header));
        p += length;
    }
    if (clip.frames.empty()) return std::unexpected("no AAC frames");
    clip.sample_entry = SampleEntry(object_type, rate_index, channels, max_frame);
    return clip;
}

std::expected<AacClip, std::string> TryEncodeAac(int video_frames, std::uint64_t seed,
                                                 const fs::path& cache_dir) {
    if (video_frames < 1) return std::unexpected("unsupported clip length");
    // Each seed its own tone, so that files of one card start unlike each other.
    const int hz = 220 + 55 * static_cast<int>(seed % 16);
    const int ms = video_frames * 1000 / kFramesPerSecond;
    const std::string name =
        "aac-" + std::to_string(video_frames) + "-" + std::to_string(hz) + ".adts";
    const auto bytes = CachedOutput(cache_dir, name, [&](const fs::path& out) {
        std::vector<std::string> args =
            FfmpegFromLavfi("sine=frequency=" + std::to_string(hz) + ":sample_rate=48000");
        const std::string seconds =
            std::to_string(ms / 1000) + "." + std::to_string(1000 + ms % 1000).substr(1);
        for (const std::string& a :
             {std::string("-t"), seconds, std::string("-ac"), std::string("2"), std::string("-c:a"),
              std::string("aac"), std::string("-b:a"), std::string("96k"), std::string("-f"),
              std::string("adts"), out.string()})
            args.push_back(a);
        return args;
    });
    if (!bytes) return std::unexpected(bytes.error());
    auto clip = ReadAdts(ByteView(*bytes));
    if (!clip) return std::unexpected(name + ": " + clip.error());
    return clip;
}

}  // namespace tav::cardgen
