#include "codec/nal_format.hpp"

namespace tav {

namespace {

std::optional<NalHeader> H264Header(ByteView unit) {
    const auto b = unit.u8(0);
    if (!b || (*b & 0x80) != 0) return std::nullopt;
    NalHeader h;
    h.type = *b & 0x1F;
    switch (h.type) {
        case 1:
        case 5:
        case 20:  // the slice extensions of scalable and multi-view streams
            h.slice = true;
            break;
        case 6:
        case 7:
        case 8:
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
        case 14:
        case 15:
        case 19:
            break;
        default:
            return std::nullopt;
    }
    h.sync = h.type == 5;
    h.delimiter = h.type == 9;
    h.sps = h.type == 7;
    h.pps = h.type == 8;
    h.prefix_sei = h.type == 6;
    h.end_of_stream = h.type == 10 || h.type == 11;
    // first_mb_in_slice is Exp-Golomb coded: a leading 1 bit is 0.
    const auto next = unit.u8(1);
    h.first_slice = (h.type == 1 || h.type == 5) && next && (*next & 0x80) != 0;
    return h;
}

std::optional<NalHeader> HevcHeader(ByteView unit) {
    const auto b0 = unit.u8(0);
    const auto b1 = unit.u8(1);
    if (!b0 || !b1 || (*b0 & 0x80) != 0) return std::nullopt;
    // nuh_temporal_id_plus1 is never 0; layers above the second are no
    // camera's (multi-view streams use one more).
    const unsigned layer = ((*b0 & 1u) << 5) | (*b1 >> 3);
    if ((*b1 & 7) == 0 || layer > 1) return std::nullopt;
    NalHeader h;
    h.type = static_cast<std::uint8_t>((*b0 >> 1) & 0x3F);
    if (h.type <= 9 || (h.type >= 16 && h.type <= 21)) {
        h.slice = true;
    } else if (h.type < 32 || h.type > 40) {
        return std::nullopt;
    }
    h.sync = h.type >= 16 && h.type <= 21;
    h.vps = h.type == 32;
    h.sps = h.type == 33;
    h.pps = h.type == 34;
    h.delimiter = h.type == 35;
    h.end_of_stream = h.type == 36 || h.type == 37;
    h.prefix_sei = h.type == 39;
    const auto next = unit.u8(2);
    h.first_slice = h.slice && next && (*next & 0x80) != 0;
    return h;
}

// The child atom of a sample description entry with this type.
ByteView ConfigRecord(ByteView entry, std::string_view type) {
    // size, format, 6 reserved, data reference index, 70 bytes of the
    // visual description: its child atoms follow.
    constexpr std::size_t kChildren = 86;
    const std::uint32_t size = entry.be32(0).value_or(0);
    const ByteView e = entry.sub(0, size);
    for (std::size_t at = kChildren; e.has(at, 8);) {
        const std::uint32_t child = e.be32(at).value_or(0);
        if (child < 8 || !e.has(at, child)) break;
        if (e.matches(at + 4, type)) return e.sub(at + 8, child - 8);
        at += child;
    }
    return {};
}

std::optional<std::uint8_t> LengthSize(std::optional<std::uint8_t> field) {
    if (!field) return std::nullopt;
    const auto size = static_cast<std::uint8_t>((*field & 3) + 1);
    if (size == 3) return std::nullopt;
    return size;
}

}  // namespace

std::optional<NalHeader> ReadNalHeader(ByteView unit, VideoCodec codec) {
    return codec == VideoCodec::Hevc ? HevcHeader(unit) : H264Header(unit);
}

std::optional<std::uint32_t> ReadNalLength(ByteView bytes, std::size_t at,
                                           const NalFormat& format) {
    switch (format.length_size) {
        case 1:
            return bytes.u8(at);
        case 2:
            return bytes.be16(at);
        case 4:
            return bytes.be32(at);
        default:
            return std::nullopt;
    }
}

std::optional<VideoCodec> CodecOfFormat(std::string_view fourcc) {
    if (fourcc == "avc1" || fourcc == "avc3") return VideoCodec::H264;
    if (fourcc == "hvc1" || fourcc == "hev1") return VideoCodec::Hevc;
    return std::nullopt;
}

std::optional<NalFormat> NalFormatOf(ByteView entry) {
    if (!entry.has(4, 4)) return std::nullopt;
    const std::string_view fourcc(reinterpret_cast<const char*>(entry.data() + 4), 4);
    const auto codec = CodecOfFormat(fourcc);
    if (!codec) return std::nullopt;
    // avcC: version, profile, compatibility, level, then the length size;
    // hvcC keeps it in the low bits of byte 21.
    const bool hevc = *codec == VideoCodec::Hevc;
    const ByteView record = ConfigRecord(entry, hevc ? "hvcC" : "avcC");
    if (record.u8(0) != std::optional<std::uint8_t>(1)) return std::nullopt;
    const auto size = LengthSize(record.u8(hevc ? 21 : 4));
    if (!size) return std::nullopt;
    return NalFormat{*codec, *size};
}

}  // namespace tav
