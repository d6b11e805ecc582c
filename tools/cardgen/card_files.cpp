#include "cardgen/card_files.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "cardgen/fnv_hash.hpp"
#include "cardgen/frame_check.hpp"
#include "cardgen/other_mov_builder.hpp"
#include "common/byte_view.hpp"

namespace tav::cardgen {

namespace {

std::string WithExtension(const std::string& name, std::string extension) {
    for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name.substr(0, name.rfind('.')) + extension;
}

std::expected<CardFile, std::string> MakeOtherFile(CardFilePlan plan,
                                                   const std::filesystem::path& clip_cache) {
    const WriterLayout& layout = *plan.other;
    if (!plan.real_h264) return std::unexpected("other writers' clips need encoded frames");
    auto video =
        TryEncodeClip(plan.frames, plan.clip_seed, plan.aud, 320, 240, clip_cache, layout.video);
    if (!video) return std::unexpected(video.error());
    std::optional<AacClip> aac;
    if (layout.sound == SoundCodec::kAac) {
        auto encoded = TryEncodeAac(plan.frames, plan.clip_seed, clip_cache);
        if (!encoded) return std::unexpected(encoded.error());
        aac = std::move(*encoded);
    }
    plan.name = WithExtension(plan.name, ExtensionForBrand(layout.brand));
    MovFile mov =
        BuildOtherMov(plan.options, layout, *video, aac ? &*aac : nullptr, plan.clip_seed);
    return CardFile{std::move(plan), std::move(mov)};
}

}  // namespace

bool IsOtherFile(const std::string& clips, int n) {
    return clips == "other" || (clips == "mixed" && n % 2 == 1);
}

std::expected<CardFile, std::string> MakeCardFile(const CardFilePlan& plan,
                                                  const std::filesystem::path& clip_cache) {
    if (plan.other) return MakeOtherFile(plan, clip_cache);
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

std::span<const std::uint8_t> StartKey(const MovFile& mov) {
    return std::span(mov.head).first(std::min(mov.head.size(), mov.mdat_at + 16 + 512));
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
    m.mdat64 = head.be32(mov.mdat_at) == 1u;
    m.co64 =
        moov.matches(static_cast<std::size_t>(mov.stco_offset - mov.moov_offset()) + 4, "co64");
    m.sound = !mov.sound_codec.empty();
    m.cnmn = o.cnmn && mov.tagged;
    m.brand = mov.brand;
    m.video_codec = mov.video_codec;
    m.sound_codec = mov.sound_codec;
    m.moov_first = mov.moov_first;
    m.tagged = mov.tagged;
    m.extension = ExtensionForBrand(mov.brand);
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
