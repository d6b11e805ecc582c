#include "cardgen/card_files.hpp"

#include <cstdio>

#include "cardgen/fnv_hash.hpp"
#include "cardgen/frame_check.hpp"
#include "common/byte_view.hpp"

namespace tav::cardgen {

std::expected<CardFile, std::string> MakeCardFile(const CardFilePlan& plan,
                                                  const std::filesystem::path& clip_cache) {
    EncodedClip clip;
    if (plan.real_h264) {
        auto encoded = TryEncodeClip(plan.frames, plan.clip_seed, plan.aud, 320, 240, clip_cache);
        if (!encoded) return std::unexpected(encoded.error());
        clip = std::move(*encoded);
    } else {
        clip = SyntheticClip(plan.frames, plan.clip_seed, plan.aud, plan.mean_frame_bytes);
    }
    return CardFile{plan, BuildCameraMov(plan.options, clip)};
}

void SetShootingTime(MovOptions& options, std::uint64_t seed, int n) {
    char date[16], time[16];
    std::snprintf(date, sizeof date, "%04d:%02d:%02d", 2010 + static_cast<int>(seed % 8),
                  1 + n % 12, 1 + (n * 7 + static_cast<int>(seed % 5)) % 28);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", 8 + n % 12, (n * 13) % 60, (n * 29) % 60);
    options.date = date;
    options.time = time;
}

ManifestFile Describe(const CardFile& file, const std::string& state, std::int64_t head_offset,
                      std::int64_t moov_offset) {
    const MovFile& mov = file.mov;
    const MovOptions& o = file.plan.options;
    ManifestFile m;
    m.name = file.plan.name;
    m.state = state;
    m.head_offset = head_offset;
    m.moov_offset = moov_offset;
    m.length = mov.size();
    m.head_length = static_cast<std::int64_t>(mov.head.size());
    m.moov_length = static_cast<std::int64_t>(mov.moov.size());
    m.frames = static_cast<int>(mov.sample_sizes.size());
    m.date = o.date.substr(0, 19);
    m.time = o.time.substr(0, 19);
    m.aud = file.plan.aud;
    // Read back from the bytes: the builder widens files beyond 4 GiB.
    const ByteView head(mov.head), moov(mov.moov);
    m.mdat64 = head.be32(20) == 1u;
    m.co64 =
        moov.matches(static_cast<std::size_t>(mov.stco_offset - mov.moov_offset()) + 4, "co64");
    m.sound = o.sound_track;
    m.cnmn = o.cnmn;
    const Bytes all = mov.bytes();
    m.last_frame_verifies =
        !mov.chunk_offsets.empty() &&
        LastFrameVerifies(ByteView(all), mov.chunk_offsets.back(), mov.sample_sizes.back());
    m.file_hash = FnvHex(all);
    m.head_hash = FnvHex(mov.head);
    m.moov_hash = FnvHex(mov.moov);
    return m;
}

}  // namespace tav::cardgen
