#include "recovery/video_config.hpp"

#include <string_view>

#include "scan/atom_tree.hpp"

namespace tav {

namespace {

constexpr std::size_t kVisualEntryHeader = 8 + 78;  // size, type, then the visual fields
constexpr std::size_t kMostParameterSets = 32;
constexpr std::size_t kHvccArrays = 22;  // where the count of NAL unit arrays lies

using Sets = std::vector<std::vector<std::uint8_t>>;
using Failure = std::unexpected<std::string>;

// `count` sets at `at`, each a 16-bit length followed by the set.
bool ReadSets(ByteView record, std::size_t& at, unsigned count, Sets* into) {
    for (unsigned k = 0; k < count; ++k) {
        const auto length = record.be16(at);
        if (!length || *length == 0 || !record.has(at + 2, *length)) return false;
        if (into && into->size() < kMostParameterSets) {
            const ByteView set = record.sub(at + 2, *length);
            into->emplace_back(set.data(), set.data() + set.size());
        }
        at += 2 + std::size_t{*length};
    }
    return true;
}

// avcC: after the five fixed bytes, a count (low 5 bits) of SPS, then a
// count of PPS.
bool ReadAvccSets(ByteView avcc, VideoConfig& c) {
    std::size_t at = 5;
    const auto sps = avcc.u8(at++);
    if (!sps || !ReadSets(avcc, at, *sps & 0x1Fu, &c.sps)) return false;
    const auto pps = avcc.u8(at++);
    return pps && ReadSets(avcc, at, *pps, &c.pps);
}

// hvcC: arrays of NAL units, each led by its type and a count.
bool ReadHvccSets(ByteView hvcc, VideoConfig& c) {
    const auto arrays = hvcc.u8(kHvccArrays);
    if (!arrays) return false;
    std::size_t at = kHvccArrays + 1;
    for (unsigned k = 0; k < *arrays; ++k) {
        const auto type = hvcc.u8(at);
        const auto count = hvcc.be16(at + 1);
        if (!type || !count) return false;
        at += 3;
        Sets* into = nullptr;
        switch (*type & 0x3F) {
            case 32:
                into = &c.vps;
                break;
            case 33:
                into = &c.sps;
                break;
            case 34:
                into = &c.pps;
                break;
            default:
                break;  // SEI the record may carry
        }
        if (!ReadSets(hvcc, at, *count, into)) return false;
    }
    return true;
}

}  // namespace

std::expected<VideoConfig, std::string> ReadVideoConfig(ByteView entry) {
    const auto entry_size = entry.be32(0);
    if (!entry_size || *entry_size < kVisualEntryHeader || !entry.has(0, *entry_size))
        return Failure("视频样本描述不完整");
    const ByteView e = entry.sub(0, *entry_size);
    const std::string_view fourcc(reinterpret_cast<const char*>(e.data() + 4), 4);
    const bool hevc = CodecOfFormat(fourcc) == VideoCodec::Hevc;
    const Atom record = Child(e.sub(kVisualEntryHeader), hevc ? "hvcC" : "avcC");
    if (!record.found) return Failure(hevc ? "视频样本描述中没有hvcC" : "视频样本描述中没有avcC");
    const auto format = NalFormatOf(e);
    if (!format)
        return Failure(hevc ? "hvcC不是1、2或4字节NAL长度的HEVC描述"
                            : "avcC不是1、2或4字节NAL长度的H.264描述");
    VideoConfig c;
    c.format = *format;
    const bool sets = hevc ? ReadHvccSets(record.body, c) : ReadAvccSets(record.body, c);
    // The stream's sets are compared with these: a record without them
    // cannot tell the camera's stream from another.
    if (!sets || c.sps.empty() || c.pps.empty() || (hevc && c.vps.empty()))
        return Failure(hevc ? "hvcC的参数集不完整" : "avcC的参数集不完整");
    return c;
}

}  // namespace tav
