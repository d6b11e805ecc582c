#include "recovery/header_rebuild.hpp"

#include <algorithm>
#include <array>

#include "common/byte_order.hpp"
#include "recovery/movie_header_writer.hpp"

namespace tav {

namespace {

constexpr std::uint32_t kMostFtypBytes = 4096;

struct MediaData {
    std::uint64_t mdat_at = 0;     // the mdat's size field
    std::uint64_t payload_at = 0;  // its first byte of media data
    std::uint64_t end = 0;
    bool wide = false;  // 64-bit size
};

std::expected<MediaData, std::string> FindMediaData(const MediaBytes& region) {
    std::array<std::uint8_t, 8> ftyp{};
    if (!region.read(0, ftyp) || ftyp[4] != 'f' || ftyp[5] != 't' || ftyp[6] != 'y' ||
        ftyp[7] != 'p')
        return std::unexpected(std::string("开头不是ftyp"));
    const std::uint32_t ftyp_size = load_be32(ftyp.data());
    if (ftyp_size < 8 || ftyp_size > kMostFtypBytes)
        return std::unexpected(std::string("ftyp的长度无效"));
    std::array<std::uint8_t, 16> mdat{};
    if (!region.read(ftyp_size, mdat) || mdat[4] != 'm' || mdat[5] != 'd' || mdat[6] != 'a' ||
        mdat[7] != 't')
        return std::unexpected(std::string("ftyp后面不是mdat"));
    MediaData m{ftyp_size, ftyp_size + 8u, 0, false};
    std::uint64_t size = load_be32(mdat.data());
    if (size == 1) {
        size = load_be64(mdat.data() + 8);
        m.payload_at += 8;
        m.wide = true;
    }
    if (size < m.payload_at - m.mdat_at || size > UINT64_MAX / 2)
        return std::unexpected(std::string("mdat的长度无效"));
    m.end = m.mdat_at + size;
    return m;
}

// The mdat size that ends the media data at `end`.
ByteString MdatSizeField(const MediaData& m, std::uint64_t end) {
    ByteString field(m.wide ? 8 : 4);
    if (m.wide)
        store_be64(field.data(), end - m.mdat_at);
    else
        store_be32(field.data(), static_cast<std::uint32_t>(end - m.mdat_at));
    return field;
}

bool Contains(const std::vector<ByteString>& sets, const ByteString& set) {
    return std::find(sets.begin(), sets.end(), set) != sets.end();
}

}  // namespace

bool ParameterSetsMatch(const MediaWalk& walk, const ReferenceVideo& video) {
    return std::all_of(walk.sps.begin(), walk.sps.end(),
                       [&](const ByteString& s) { return Contains(video.sps, s); }) &&
           std::all_of(walk.pps.begin(), walk.pps.end(),
                       [&](const ByteString& s) { return Contains(video.pps, s); });
}

std::expected<RebuiltFile, std::string> RebuildHeader(
    const MediaBytes& region, const std::vector<ReferenceMovie>& references) {
    const auto media = FindMediaData(region);
    if (!media) return std::unexpected(media.error());
    if (references.empty()) return std::unexpected(std::string("没有参考文件"));

    std::optional<MediaWalk> best;
    const ReferenceMovie* best_reference = nullptr;
    bool mismatch = false;
    for (const ReferenceMovie& ref : references) {
        MediaWalkInput in{media->payload_at, media->end, ref.first_chunk, std::nullopt};
        if (ref.sound) in.sound_chunk_bytes = ref.sound->chunk_bytes();
        auto walk = WalkMedia(region, in);
        if (!walk || walk->video.empty()) continue;
        if (!ParameterSetsMatch(*walk, ref.video)) {
            mismatch = true;
            continue;
        }
        if (!best || walk->end > best->end) {
            best = std::move(walk);
            best_reference = &ref;
        }
    }
    if (!best)
        return std::unexpected(std::string(mismatch ? "视频的SPS/PPS与参考文件的不同"
                                                    : "媒体数据中找不到完整的视频帧"));
    for (const WalkedSample& s : best->video)
        if (s.size > 0xFFFFFFFFull) return std::unexpected(std::string("视频帧超过4GiB"));

    RebuiltFile file;
    file.copy_length = best->end;
    if (!best->reached_end) {
        file.patch_at = media->mdat_at + (media->wide ? 8 : 0);
        file.patch = MdatSizeField(*media, best->end);
    }
    file.moov = WriteRebuiltMoov(*best_reference, *best);
    file.frames = best->video.size();
    file.sound = best_reference->sound && !best->sound_chunks.empty();
    return file;
}

}  // namespace tav
