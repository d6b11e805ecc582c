#pragma once
// Clips of other cameras and phones for the lost-header tests: NAL units of
// either codec with any length size, HEVC clips with their hvc1 description,
// atoms before the mdat, and a sound track of AAC whose chunks vary.

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

// A sound trak of AAC ("mp4a", a size for every frame), chunk_frames
// frames to a chunk; its chunk offsets are not read.
inline Bytes AacTrak(const std::vector<std::uint32_t>& frame_sizes, std::uint32_t chunk_frames) {
    Bytes out;
    cardgen::AtomWriter w(out);
    const std::size_t trak = w.begin("trak");
    const std::size_t tkhd = w.begin_full("tkhd", 0, 1);
    w.zeros(80);
    w.end(tkhd);
    const std::size_t mdia = w.begin("mdia");
    const std::size_t mdhd = w.begin_full("mdhd", 0, 0);
    w.zeros(8);
    w.be32(48000);
    w.be32(static_cast<std::uint32_t>(frame_sizes.size() * 1024));
    w.be32(0);
    w.end(mdhd);
    const std::size_t hdlr = w.begin_full("hdlr", 0, 0);
    w.be32(0);
    w.text("soun");
    w.zeros(12);
    w.end(hdlr);
    const std::size_t minf = w.begin("minf");
    const std::size_t stbl = w.begin("stbl");
    const std::size_t stsd = w.begin_full("stsd", 0, 0);
    w.be32(1);
    const std::size_t mp4a = w.begin("mp4a");
    w.zeros(6);
    w.be16(1);
    w.zeros(8);
    w.be16(2);   // channels
    w.be16(16);  // bits
    w.zeros(4);
    w.be32(48000u << 16);
    w.end(mp4a);
    w.end(stsd);
    const std::size_t stts = w.begin_full("stts", 0, 0);
    w.be32(1);
    w.be32(static_cast<std::uint32_t>(frame_sizes.size()));
    w.be32(1024);
    w.end(stts);
    const std::size_t stsc = w.begin_full("stsc", 0, 0);
    w.be32(1);
    w.be32(1);
    w.be32(chunk_frames);
    w.be32(1);
    w.end(stsc);
    const std::size_t stsz = w.begin_full("stsz", 0, 0);
    w.be32(0);
    w.be32(static_cast<std::uint32_t>(frame_sizes.size()));
    for (const std::uint32_t s : frame_sizes) w.be32(s);
    w.end(stsz);
    const auto chunks =
        static_cast<std::uint32_t>((frame_sizes.size() + chunk_frames - 1) / chunk_frames);
    const std::size_t stco = w.begin_full("stco", 0, 0);
    w.be32(chunks);
    for (std::uint32_t k = 0; k < chunks; ++k) w.be32(0);
    w.end(stco);
    w.end(stbl);
    w.end(minf);
    w.end(mdia);
    w.end(trak);
    return out;
}

// The movie atom with one more trak at its end.
inline Bytes WithTrak(Bytes moov, const Bytes& trak) {
    moov.insert(moov.end(), trak.begin(), trak.end());
    store_be32(moov.data(), static_cast<std::uint32_t>(moov.size()));
    return moov;
}

// The start region with gaps[k] put before video frame k and the gaps
// beyond the frames after the last (a camera file of one frame to a chunk
// and a 32-bit mdat size); offsets[k] answers where frame k lies now.
inline Bytes WithGaps(const cardgen::MovFile& mov, const std::vector<Bytes>& gaps,
                      std::vector<std::uint64_t>& offsets) {
    const std::uint32_t mdat_at = load_be32(mov.head.data());
    Bytes head(mov.head.begin(),
               mov.head.begin() + static_cast<std::ptrdiff_t>(mov.chunk_offsets[0]));
    offsets.clear();
    for (std::size_t k = 0; k < mov.chunk_offsets.size(); ++k) {
        if (k < gaps.size()) head.insert(head.end(), gaps[k].begin(), gaps[k].end());
        offsets.push_back(head.size());
        const auto from = mov.head.begin() + static_cast<std::ptrdiff_t>(mov.chunk_offsets[k]);
        head.insert(head.end(), from, from + mov.sample_sizes[k]);
    }
    for (std::size_t k = mov.chunk_offsets.size(); k < gaps.size(); ++k)
        head.insert(head.end(), gaps[k].begin(), gaps[k].end());
    store_be32(head.data() + mdat_at, static_cast<std::uint32_t>(head.size() - mdat_at));
    return head;
}

}  // namespace tav::test
