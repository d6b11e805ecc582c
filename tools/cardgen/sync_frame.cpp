#include "cardgen/sync_frame.hpp"

#include "common/byte_order.hpp"

namespace tav::cardgen {

bool IsSyncFrame(const Bytes& frame, VideoCodec codec) {
    std::size_t p = 0;
    while (p + 5 <= frame.size()) {
        const std::uint32_t length = load_be32(frame.data() + p);
        const std::uint8_t header = frame[p + 4];
        if (codec == VideoCodec::kAvc && (header & 0x1F) == 5) return true;
        // HEVC: a 2-byte header, the type in bits 1..6; 16 to 21 are IRAP pictures.
        const int hevc_type = (header >> 1) & 0x3F;
        if (codec == VideoCodec::kHevc && hevc_type >= 16 && hevc_type <= 21) return true;
        p += 4 + static_cast<std::size_t>(length);
    }
    return false;
}

}  // namespace tav::cardgen
