#pragma once
// Clips of other cameras and phones for the lost-header tests: NAL units of
// either codec with any length size, HEVC clips with their hvc1 description.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "cardgen/atom_writer.hpp"
#include "cardgen/mov_builder.hpp"
#include "cardgen/seeded_random.hpp"
#include "codec/nal_format.hpp"
#include "common/byte_order.hpp"

namespace tav::test {

using cardgen::Bytes;

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// One NAL unit behind its length: the header bytes, then `filler` bytes.
inline Bytes Unit(const NalFormat& f, std::initializer_list<std::uint8_t> header,
                  std::size_t filler = 20, std::uint8_t fill = 0x5A) {
    const std::size_t length = header.size() + filler;
    Bytes b;
    for (std::size_t k = f.length_size; k-- > 0;)
        b.push_back(static_cast<std::uint8_t>(length >> (8 * k)));
    b.insert(b.end(), header.begin(), header.end());
    b.insert(b.end(), filler, fill);
    return b;
}

// HEVC NAL headers: the type, layer 0, temporal id 1.
constexpr std::uint8_t HevcType(std::uint8_t type) {
    return static_cast<std::uint8_t>(type << 1);
}
inline constexpr std::uint8_t kHevcTid = 0x01;
inline constexpr std::uint8_t kTrail = 1, kIdrRadl = 19, kCra = 21, kVps = 32, kSps = 33, kPps = 34,
                              kAud = 35, kPrefixSei = 39;
inline constexpr std::uint8_t kFirstSlice = 0x80, kLaterSlice = 0x00;

inline const Bytes kHevcVps = {HevcType(kVps), kHevcTid, 0x0C, 0x01, 0xFF, 0xFF};
inline const Bytes kHevcSps = {HevcType(kSps), kHevcTid, 0x01, 0x01, 0x60, 0x00};
inline const Bytes kHevcPps = {HevcType(kPps), kHevcTid, 0xC1, 0x72, 0xB4};

// An hvc1 description whose hvcC lists the sets above (and declares
// length_size-byte NAL lengths).
inline Bytes HevcEntry(std::uint8_t length_size) {
    Bytes out;
    cardgen::AtomWriter w(out);
    const std::size_t entry = w.begin("hvc1");
    w.zeros(6);
    w.be16(1);
    w.zeros(16);
    w.be16(64);
    w.be16(64);
    w.be32(0x00480000);
    w.be32(0x00480000);
    w.be32(0);
    w.be16(1);
    w.zeros(32);
    w.be16(24);
    w.be16(0xFFFF);
    const std::size_t hvcc = w.begin("hvcC");
    w.u8(1);
    w.zeros(20);  // profile, level and format fields
    w.u8(static_cast<std::uint8_t>(0xFC | (length_size - 1)));
    w.u8(3);
    for (const Bytes* set : {&kHevcVps, &kHevcSps, &kHevcPps}) {
        w.u8(static_cast<std::uint8_t>(0x80 | (set->front() >> 1)));
        w.be16(1);
        w.be16(static_cast<std::uint16_t>(set->size()));
        w.bytes(*set);
    }
    w.end(hvcc);
    w.end(entry);
    return out;
}

// HEVC frames: parameter sets and an IDR first, then one trailing slice per
// frame; their payload is random past the first slice byte.
inline cardgen::EncodedClip HevcClip(int frames, std::uint64_t seed) {
    const NalFormat f{VideoCodec::Hevc, 4};
    cardgen::EncodedClip clip;
    clip.width = clip.height = 64;
    clip.stsd_entry = HevcEntry(4);
    cardgen::SeededRandom random(seed);
    for (int i = 0; i < frames; ++i) {
        Bytes frame;
        if (i == 0) {
            for (const Bytes* set : {&kHevcVps, &kHevcSps, &kHevcPps}) {
                Bytes length(4);
                store_be32(length.data(), static_cast<std::uint32_t>(set->size()));
                frame.insert(frame.end(), length.begin(), length.end());
                frame.insert(frame.end(), set->begin(), set->end());
            }
        }
        const std::size_t payload = 300 + random.below(900);
        const Bytes slice =
            Unit(f, {HevcType(i == 0 ? kIdrRadl : kTrail), kHevcTid, kFirstSlice}, payload);
        const std::size_t at = frame.size();
        frame.insert(frame.end(), slice.begin(), slice.end());
        random.fill(std::span(frame).subspan(at + 7));
        clip.frames.push_back(std::move(frame));
    }
    return clip;
}

}  // namespace tav::test
