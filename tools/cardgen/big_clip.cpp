#include "cardgen/big_clip.hpp"

#include "cardgen/atom_writer.hpp"
#include "cardgen/fnv_hash.hpp"
#include "cardgen/moov_writer.hpp"
#include "cardgen/seeded_random.hpp"
#include "common/byte_order.hpp"

namespace tav::cardgen {
namespace {

constexpr std::uint32_t kMinFrameBytes = 512 * 1024;
constexpr std::uint32_t kFrameSpread = 1024 * 1024;
constexpr std::size_t kRandomLead = 1024;  // random bytes at the start of each slice

Bytes FrameLead(const BigClip& clip, std::size_t i) {
    Bytes out;
    AtomWriter w(out);
    w.be32(2);  // access-unit delimiter
    w.u8(0x09);
    w.u8(0xF0);
    w.be32(clip.frame_sizes[i] - 10);
    w.u8(i == 0 ? 0x65 : 0x41);
    const std::size_t at = out.size();
    out.resize(at + kRandomLead);
    SeededRandom random(clip.seed * 0x9E3779B97F4A7C15ull + i);
    random.fill(std::span(out).subspan(at));
    return out;
}

}  // namespace

std::int64_t BigClip::head_size() const {
    if (frame_offsets.empty()) return static_cast<std::int64_t>(lead.size());
    return static_cast<std::int64_t>(frame_offsets.back() + frame_sizes.back());
}

BigClip PlanBigClip(std::int64_t bytes, std::uint64_t seed, const MovOptions& requested) {
    MovOptions options = requested;
    options.mdat64 = options.co64 = true;
    options.sound_track = false;
    // The lead of a clip without frames: ftyp, mdat header and tags.
    const EncodedClip shape = SyntheticClip(0, seed);
    BigClip clip;
    clip.seed = seed;
    clip.lead = BuildCameraMov(options, shape).head;
    SeededRandom random(seed);
    std::uint64_t at = clip.lead.size();
    while (static_cast<std::int64_t>(at) < bytes) {
        const auto size = kMinFrameBytes + static_cast<std::uint32_t>(random.below(kFrameSpread));
        clip.frame_sizes.push_back(size);
        clip.frame_offsets.push_back(at);
        at += size;
    }
    store_be64(clip.lead.data() + 20 + 8, at - 20);  // the mdat follows the 20-byte ftyp
    VideoLayout video{&shape, clip.frame_sizes, clip.frame_offsets, {1}};
    clip.moov = WriteMoov(options, video, nullptr).bytes;
    return clip;
}

void ForEachPiece(const BigClip& clip,
                  const std::function<void(std::int64_t, std::span<const std::uint8_t>)>& piece) {
    piece(0, clip.lead);
    for (std::size_t i = 0; i < clip.frame_sizes.size(); ++i)
        piece(static_cast<std::int64_t>(clip.frame_offsets[i]), FrameLead(clip, i));
    piece(clip.head_size(), clip.moov);
}

BigClipHashes HashBigClip(const BigClip& clip) {
    Fnv1a64 hash;
    std::int64_t done = 0;
    BigClipHashes out;
    ForEachPiece(clip, [&](std::int64_t at, std::span<const std::uint8_t> bytes) {
        hash.add_zeros(static_cast<std::uint64_t>(at - done));
        if (at == clip.head_size()) out.head = hash.hex();
        hash.add(bytes);
        done = at + static_cast<std::int64_t>(bytes.size());
    });
    out.file = hash.hex();
    out.moov = FnvHex(clip.moov);
    return out;
}

}  // namespace tav::cardgen
