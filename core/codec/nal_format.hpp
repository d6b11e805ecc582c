#pragma once
// How a video track frames its NAL units inside samples, for H.264 and HEVC:
// a big-endian length of 1, 2 or 4 bytes before each unit, then the unit's
// header (one byte for H.264, two for HEVC). The scan's sample checks, the
// split-media follow and the lost-header walk all read units through this,
// so every one of them knows both codecs the same way. Pure and
// bounds-checked: the bytes come from a medium.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/byte_view.hpp"

namespace tav {

enum class VideoCodec : std::uint8_t { H264, Hevc };

struct NalFormat {
    VideoCodec codec = VideoCodec::H264;
    std::uint8_t length_size = 4;  // 1, 2 or 4
    std::size_t header_bytes() const { return codec == VideoCodec::Hevc ? 2 : 1; }
    // The least a unit takes in a sample: its length field and its header.
    std::size_t least_unit_bytes() const { return length_size + header_bytes(); }
    bool operator==(const NalFormat&) const = default;
};

// What a NAL unit's header tells.
struct NalHeader {
    std::uint8_t type = 0;
    bool slice = false;          // a coded slice (VCL unit)
    bool sync = false;           // a slice of a picture decoding can start at (IDR, IRAP)
    bool first_slice = false;    // a slice that begins its picture
    bool delimiter = false;      // access unit delimiter
    bool sps = false;            // sequence parameter set
    bool pps = false;            // picture parameter set
    bool vps = false;            // HEVC video parameter set
    bool prefix_sei = false;     // SEI that comes before its picture's slices
    bool end_of_stream = false;  // end of sequence or of stream
};

// The header of a unit whose bytes start at unit (the header first; the byte
// after it, when there, tells whether a slice begins its picture). Nothing
// when the forbidden bit is set or the type is none a camera's stream holds:
// such bytes are not a unit of this codec.
std::optional<NalHeader> ReadNalHeader(ByteView unit, VideoCodec codec);

// The length field at at, of format.length_size bytes; nothing when it does
// not lie inside bytes.
std::optional<std::uint32_t> ReadNalLength(ByteView bytes, std::size_t at, const NalFormat& format);

// The codec and length size a visual sample description declares: "avc1"/
// "avc3" with an "avcC", "hvc1"/"hev1" with an "hvcC". entry: the whole
// sample description entry, its size field first. Nothing for other codecs
// or a configuration record that does not parse.
std::optional<NalFormat> NalFormatOf(ByteView entry);

// The codec family of a sample description's format, without its record.
std::optional<VideoCodec> CodecOfFormat(std::string_view fourcc);

}  // namespace tav
