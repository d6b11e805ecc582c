#include "cardgen/mov_builder.hpp"

#include <string_view>

#include "cardgen/atom_writer.hpp"
#include "cardgen/moov_writer.hpp"
#include "cardgen/sync_frame.hpp"
#include "common/byte_order.hpp"

namespace tav::cardgen {
namespace {

constexpr std::size_t kFtypSize = 20;
constexpr std::uint32_t kSoundFramesPerChunk = 48000 / kFramesPerSecond;
constexpr std::size_t kTagTextMax = 19;  // the camera's tag lengths stay below 20

void WriteFtyp(AtomWriter& w) {
    const std::size_t at = w.begin("ftyp");
    w.text("qt  ");
    w.be32(0x20050300);
    w.text("qt  ");
    w.end(at);
}

void WriteTag(AtomWriter& w, std::string_view name, std::string_view text) {
    text = text.substr(0, kTagTextMax);
    w.text(name);
    w.le16(static_cast<std::uint16_t>(text.size()));
    w.zeros(2);
    w.text(text);
}

// Patches the mdat size once the media data is complete.
void FinishMdat(Bytes& head, bool mdat64) {
    const std::uint64_t size = head.size() - kFtypSize;
    if (mdat64)
        store_be64(head.data() + kFtypSize + 8, size);
    else
        store_be32(head.data() + kFtypSize, static_cast<std::uint32_t>(size));
}

// Media data beyond 4 GiB cannot be described with 32-bit sizes and offsets.
MovOptions WidenForSize(MovOptions options, const EncodedClip& clip) {
    std::uint64_t media = 4096;
    for (const Bytes& frame : clip.frames)
        media +=
            frame.size() +
            (options.sound_track ? kSoundFramesPerChunk * PcmFormatOf(options).frame_bytes() : 0u);
    if (media > 0xFFFFFFFFull) options.mdat64 = options.co64 = true;
    return options;
}

}  // namespace

const std::vector<PcmFormat>& PcmFormats() {
    static const std::vector<PcmFormat> formats = {{"sowt", 0, 2, 16}, {"twos", 0, 1, 16},
                                                   {"in24", 1, 2, 24}, {"in32", 0, 2, 32},
                                                   {"fl32", 0, 2, 32}, {"lpcm", 2, 2, 16}};
    return formats;
}

const PcmFormat& PcmFormatOf(const MovOptions& options) {
    const auto& formats = PcmFormats();
    return formats[static_cast<std::size_t>(options.sound_format) % formats.size()];
}

Bytes MovFile::bytes() const {
    Bytes all = head;
    if (moov_first) return all;
    all.insert(all.end(), moov.begin(), moov.end());
    return all;
}

MovFile BuildCameraMov(const MovOptions& requested, const EncodedClip& clip) {
    const MovOptions options = WidenForSize(requested, clip);
    MovFile file;
    if (options.sound_track) file.sound_codec = PcmFormatOf(options).fourcc;
    AtomWriter w(file.head);
    WriteFtyp(w);
    w.be32(options.mdat64 ? 1 : 0);
    w.text("mdat");
    if (options.mdat64) w.be64(0);
    WriteTag(w, "DATE", options.date);
    WriteTag(w, "TIME", options.time);

    VideoLayout video{&clip, {}, {}, {}};
    SoundLayout sound;
    sound.frames_per_chunk = kSoundFramesPerChunk;
    for (std::size_t i = 0; i < clip.frames.size(); ++i) {
        const std::size_t sound_bytes =
            std::size_t{kSoundFramesPerChunk} * PcmFormatOf(options).frame_bytes();
        if (options.sound_track && !options.sound_last) {
            sound.chunk_offsets.push_back(w.position());
            w.zeros(sound_bytes);  // silence
        }
        const Bytes& frame = clip.frames[i];
        video.chunk_offsets.push_back(w.position());
        video.sample_sizes.push_back(static_cast<std::uint32_t>(frame.size()));
        if (IsSyncFrame(frame, VideoCodec::kAvc))
            video.sync_samples.push_back(static_cast<std::uint32_t>(i + 1));
        w.bytes(frame);
        if (options.sound_track && options.sound_last) {
            sound.chunk_offsets.push_back(w.position());
            w.zeros(sound_bytes);
        }
    }
    FinishMdat(file.head, options.mdat64);

    MoovAtom moov = WriteMoov(options, video, options.sound_track ? &sound : nullptr);
    file.moov = std::move(moov.bytes);
    file.sample_sizes = std::move(video.sample_sizes);
    file.chunk_offsets = std::move(video.chunk_offsets);
    file.sound_chunk_offsets = std::move(sound.chunk_offsets);
    file.stsz_offset = file.moov_offset() + static_cast<std::int64_t>(moov.stsz_at);
    file.stco_offset = file.moov_offset() + static_cast<std::int64_t>(moov.stco_at);
    return file;
}

}  // namespace tav::cardgen
