#include <algorithm>

#include "cardgen/atom_writer.hpp"
#include "cardgen/mov_builder.hpp"
#include "cardgen/seeded_random.hpp"

namespace tav::cardgen {
namespace {

constexpr std::uint32_t kMinSliceBytes = 300;

// An avc1 sample description with a baseline-profile avcC; the parameter
// sets are placeholders, the frames are not meant to be decoded.
Bytes SyntheticSampleEntry(int width, int height) {
    Bytes out;
    AtomWriter w(out);
    const std::size_t avc1 = w.begin("avc1");
    w.zeros(6);
    w.be16(1);  // data reference index
    w.zeros(16);
    w.be16(static_cast<std::uint16_t>(width));
    w.be16(static_cast<std::uint16_t>(height));
    w.be32(0x00480000);  // 72 dpi
    w.be32(0x00480000);
    w.be32(0);
    w.be16(1);    // frames per sample
    w.zeros(32);  // compressor name (Pascal string)
    w.be16(24);
    w.be16(0xFFFF);
    const std::size_t avcc = w.begin("avcC");
    const std::uint8_t sps[] = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x05, 0x07, 0xEC, 0x04, 0x40};
    const std::uint8_t pps[] = {0x68, 0xCE, 0x3C, 0x80};
    w.u8(1);
    w.u8(0x42);
    w.u8(0xC0);
    w.u8(0x1E);
    w.u8(0xFF);  // 4-byte NAL lengths
    w.u8(0xE1);
    w.be16(sizeof sps);
    w.bytes(sps);
    w.u8(1);
    w.be16(sizeof pps);
    w.bytes(pps);
    w.end(avcc);
    w.end(avc1);
    return out;
}

}  // namespace

EncodedClip SyntheticClip(int frame_count, std::uint64_t seed, bool with_aud,
                          std::uint32_t mean_frame_bytes) {
    EncodedClip clip;
    clip.width = 320;
    clip.height = 240;
    clip.stsd_entry = SyntheticSampleEntry(clip.width, clip.height);
    SeededRandom random(seed);
    const std::uint32_t half = std::max<std::uint32_t>(mean_frame_bytes / 2, 1);
    for (int i = 0; i < frame_count; ++i) {
        Bytes frame;
        AtomWriter w(frame);
        if (with_aud) {
            w.be32(2);
            w.u8(0x09);
            w.u8(0xF0);
        }
        const auto slice = std::max<std::uint32_t>(
            kMinSliceBytes, half + static_cast<std::uint32_t>(random.below(2ull * half)));
        w.be32(slice);
        w.u8(i == 0 ? 0x65 : 0x41);  // IDR slice first, then non-IDR slices
        const std::size_t payload = frame.size();
        frame.resize(payload + slice - 1);
        random.fill(std::span(frame).subspan(payload));
        clip.frames.push_back(std::move(frame));
    }
    return clip;
}

}  // namespace tav::cardgen
