// Raw images: camera files placed on pseudo-random (or zero) filler without
// any file system, including split files and orphaned parts.

#include <algorithm>

#include "cardgen/card.hpp"
#include "cardgen/card_files.hpp"
#include "cardgen/raw_image.hpp"
#include "cardgen/seeded_random.hpp"

namespace tav::cardgen {
namespace {

constexpr std::int64_t kSector = 512;
constexpr std::int64_t kMiB = 1 << 20;

bool AudFor(const CardRequest& r, int n) {
    if (r.aud == "on") return true;
    if (r.aud == "off") return false;
    return n % 5 != 1;  // mostly with delimiters, one in five without
}

CardFilePlan FilePlanFor(const CardRequest& r, int n, std::string name) {
    CardFilePlan s;
    s.name = std::move(name);
    s.aud = AudFor(r, n);
    s.frames = r.frames > 0 ? r.frames : DefaultFrames(n);
    s.clip_seed = r.seed * 1000 + static_cast<std::uint64_t>(n);
    s.real_h264 = !r.synthetic;
    SetShootingTime(s.options, r.seed, n);
    s.options.mdat64 = r.mdat64 || n % 5 == 2;
    s.options.co64 = r.co64 || n % 5 == 2;
    s.options.sound_track = n % 5 == 3;
    if (r.kind == "sound") {
        // Interleaved PCM of every layout, the last chunk of each file sound.
        s.options.sound_track = s.options.sound_last = true;
        s.options.sound_format = n;
    }
    s.options.cnmn = n % 5 != 4;
    return s;
}

// Hands out non-overlapping byte ranges from the front of the image, with
// pseudo-random gaps of whole sectors between them.
class Allocator {
  public:
    explicit Allocator(std::uint64_t seed) : random_(seed) {}
    std::int64_t take(std::int64_t length, std::int64_t misalign = 0) {
        cursor_ += kSector * (16 + static_cast<std::int64_t>(random_.below(2048)));
        const std::int64_t at = cursor_ + misalign;
        cursor_ = (at + length + kSector - 1) / kSector * kSector;
        return at;
    }
    std::int64_t unaligned() { return 1 + static_cast<std::int64_t>(random_.below(kSector - 1)); }
    std::int64_t end() const { return cursor_; }

  private:
    SeededRandom random_;
    std::int64_t cursor_ = kMiB;
};

}  // namespace

std::expected<Manifest, std::string> GenerateRawCard(const CardRequest& r) {
    const int count = r.files >= 0 ? r.files : 5;
    std::vector<CardFile> files;
    for (int n = 0; n < count + 3; ++n) {
        const char* prefix = n < count ? "MVI_" : n == count ? "SPLIT_" : "ORPHAN_";
        CardFilePlan plan = FilePlanFor(r, n, prefix + std::to_string(n + 1) + ".MOV");
        if (IsOtherFile(r.clips, n)) {
            plan.other = WriterLayoutFor(n);
            // The split and orphaned parts need a movie atom after the media data.
            if (n >= count) plan.other->moov_first = false;
        }
        auto file = MakeCardFile(plan, r.clip_cache);
        if (!file) return std::unexpected(file.error());
        files.push_back(std::move(*file));
    }
    Manifest m;
    m.file_system = "Raw";
    Allocator alloc(r.seed);
    std::vector<Placement> placements;
    for (int n = 0; n < count; ++n) {
        const MovFile& mov = files[n].mov;
        const std::int64_t at = alloc.take(mov.size());
        placements.push_back({at, mov.head});
        placements.push_back({at + mov.moov_offset(), mov.moov});
        m.files.push_back(Describe(files[n], "placed", at, at + mov.moov_offset()));
    }
    // A file whose movie atom lies far on, inside a sector; then the orphans.
    const CardFile& split = files[count];
    const std::int64_t head_at = alloc.take(split.mov.moov_offset());
    alloc.take(4 * kMiB);  // keep the gap wide
    const std::int64_t moov_at = alloc.take(split.mov.moov.size() + kSector, alloc.unaligned());
    placements.push_back({head_at, split.mov.head});
    placements.push_back({moov_at, split.mov.moov});
    m.files.push_back(Describe(split, "placed", head_at, moov_at));
    m.files.back().split = true;
    const std::int64_t orphan_head = alloc.take(files[count + 1].mov.moov_offset());
    placements.push_back({orphan_head, files[count + 1].mov.head});
    m.files.push_back(Describe(files[count + 1], "orphan-head", orphan_head, -1));
    const std::int64_t orphan_moov =
        alloc.take(files[count + 2].mov.moov.size() + kSector, alloc.unaligned());
    placements.push_back({orphan_moov, files[count + 2].mov.moov});
    m.files.push_back(Describe(files[count + 2], "orphan-moov", -1, orphan_moov));

    // The default size grows with the files; an explicit one is kept or refused.
    const std::int64_t needed = (alloc.end() + kMiB) / kMiB * kMiB;
    if (r.size_mib > 0 && r.size_mib * kMiB < needed)
        return std::unexpected("the files need an image of at least " +
                               std::to_string(needed / kMiB) + " MiB");
    const std::int64_t size = r.size_mib > 0 ? r.size_mib * kMiB : std::max(32 * kMiB, needed);
    auto written = WriteRawImage(r.out, size, r.zero_filler, r.seed, placements);
    if (!written) return std::unexpected(written.error());
    m.note = r.zero_filler ? "zero filler" : "pseudo-random filler";
    return m;
}

std::expected<Manifest, std::string> GenerateLargeCard(const CardRequest& r) {
    const int count = r.files >= 0 ? r.files : 8;
    const std::int64_t size = (r.size_mib > 0 ? r.size_mib : 256) * kMiB;
    std::vector<CardFile> files;
    for (int n = 0; n < count; ++n) {
        CardFilePlan s = FilePlanFor(r, n, "MVI_" + std::to_string(n + 1) + ".MOV");
        s.real_h264 = false;
        s.frames = r.frames > 0 ? r.frames : 100;
        s.mean_frame_bytes = 32 * 1024;
        auto file = MakeCardFile(s, r.clip_cache);
        if (!file) return std::unexpected(file.error());
        files.push_back(std::move(*file));
    }
    for (const CardFile& f : files)
        if (f.mov.size() >= size / (count + 1))
            return std::unexpected("the files do not fit into the image");
    Manifest m;
    m.file_system = "Raw";
    m.note = "pseudo-random filler, synthetic frames, files spread evenly";
    std::vector<Placement> placements;
    for (int n = 0; n < count; ++n) {
        const MovFile& mov = files[n].mov;
        const std::int64_t at = size / (count + 1) * (n + 1) / kSector * kSector;
        placements.push_back({at, mov.head});
        placements.push_back({at + mov.moov_offset(), mov.moov});
        m.files.push_back(Describe(files[n], "placed", at, at + mov.moov_offset()));
    }
    auto written = WriteRawImage(r.out, size, false, r.seed, placements);
    if (!written) return std::unexpected(written.error());
    return m;
}

}  // namespace tav::cardgen
