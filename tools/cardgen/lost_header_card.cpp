// Lost-header images: deleted camera files whose movie atom other bytes
// overwrote, beside intact ones, on pseudo-random filler without a file
// system; reference clips of the same camera settings and the lost files'
// originals are written beside the image.

#include <system_error>

#include "cardgen/card.hpp"
#include "cardgen/card_files.hpp"
#include "cardgen/fuse_mount.hpp"
#include "cardgen/raw_image.hpp"
#include "cardgen/seeded_random.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kSector = 512;
constexpr std::int64_t kMiB = 1 << 20;
constexpr int kReferenceFrames = 20;

// Four in six lose their header; every second file has sound, interleaved
// before its frames or (the fourth) after them; delimiters on the first two
// of every four.
CardFilePlan PlanFor(const CardRequest& r, int n, std::string name, std::uint64_t seed) {
    CardFilePlan p;
    p.name = std::move(name);
    p.aud = r.aud == "mixed" ? (n / 2) % 2 == 0 : r.aud == "on";
    p.frames = r.frames > 0 ? r.frames : DefaultFrames(n);
    p.clip_seed = seed;
    p.real_h264 = !r.synthetic;
    SetShootingTime(p.options, r.seed, n);
    p.options.sound_track = n % 2 == 1;
    p.options.sound_last = n % 4 == 3;
    p.options.mdat64 = r.mdat64;
    p.options.co64 = r.co64;
    return p;
}

bool LosesHeader(int n) {
    return n % 6 < 4;
}

// An other writer's file that loses its header keeps its movie atom last:
// only there does overwriting after the media data take the header.
CardFilePlan WithLayout(CardFilePlan p, const CardRequest& r, int n) {
    if (!IsOtherFile(r.clips, n)) return p;
    p.other = WriterLayoutFor(n);
    if (LosesHeader(n)) p.other->moov_first = false;
    return p;
}

fs::path Beside(const fs::path& image, const std::string& suffix) {
    return fs::path(image.string() + suffix);
}

}  // namespace

std::expected<Manifest, std::string> GenerateLostHeaderCard(const CardRequest& r) {
    const int count = r.files >= 0 ? r.files : 6;
    const std::string image_name = r.out.filename().string();
    const std::string originals = image_name + ".originals";
    std::error_code ec;
    fs::create_directories(Beside(r.out, ".originals"), ec);
    if (ec) return std::unexpected("cannot create " + Beside(r.out, ".originals").string());

    // The references: other seeds, one without and one with sound.
    const char* reference_names[2] = {".reference.mov", ".reference-sound.mov"};
    for (int k = 0; k < 2; ++k) {
        CardFilePlan p = PlanFor(r, k, "REF", r.seed * 1000 + 900 + static_cast<std::uint64_t>(k));
        p.frames = kReferenceFrames;
        auto file = MakeCardFile(p, r.clip_cache);
        if (!file) return std::unexpected(file.error());
        if (auto ok = WriteFile(Beside(r.out, reference_names[k]), file->mov.bytes()); !ok)
            return std::unexpected(ok.error());
    }

    std::vector<CardFile> files;
    for (int n = 0; n < count; ++n) {
        auto file = MakeCardFile(WithLayout(PlanFor(r, n, "MVI_" + std::to_string(n + 1) + ".MOV",
                                                    r.seed * 1000 + static_cast<std::uint64_t>(n)),
                                            r, n),
                                 r.clip_cache);
        if (!file) return std::unexpected(file.error());
        files.push_back(std::move(*file));
    }
    Manifest m;
    m.file_system = "Raw";
    m.note = "pseudo-random filler; lost headers overwritten by filler";
    SeededRandom random(r.seed);
    std::int64_t cursor = kMiB;
    std::vector<Placement> placements;
    for (int n = 0; n < count; ++n) {
        const MovFile& mov = files[n].mov;
        const std::int64_t at =
            cursor + kSector * (16 + static_cast<std::int64_t>(random.below(2048)));
        cursor = (at + mov.size() + kSector - 1) / kSector * kSector;
        placements.push_back({at, mov.head});
        if (!LosesHeader(n)) {
            placements.push_back({at + mov.moov_offset(), mov.moov});
            m.files.push_back(Describe(files[n], "placed", at, at + mov.moov_offset()));
            continue;
        }
        // The filler lies where the movie atom was.
        ManifestFile f = Describe(files[n], "lost-header", at, -1);
        f.reference = image_name + reference_names[f.sound ? 1 : 0];
        if (files[n].plan.other) {
            // Its own reference: the same writer's layout, another clip.
            CardFilePlan p = files[n].plan;
            p.clip_seed = r.seed * 1000 + 950 + static_cast<std::uint64_t>(n);
            p.frames = kReferenceFrames;
            auto reference = MakeCardFile(p, r.clip_cache);
            if (!reference) return std::unexpected(reference.error());
            f.reference = image_name + ".reference-" + std::to_string(n + 1) + f.extension;
            if (auto ok = WriteFile(Beside(r.out, f.reference.substr(image_name.size())),
                                    reference->mov.bytes());
                !ok)
                return std::unexpected(ok.error());
        }
        f.original = originals + "/" + f.name;
        if (auto ok = WriteFile(Beside(r.out, ".originals") / f.name, mov.bytes()); !ok)
            return std::unexpected(ok.error());
        m.files.push_back(std::move(f));
    }
    const std::int64_t needed = (cursor + kMiB) / kMiB * kMiB;
    if (r.size_mib > 0 && r.size_mib * kMiB < needed)
        return std::unexpected("the files need an image of at least " +
                               std::to_string(needed / kMiB) + " MiB");
    const std::int64_t size = r.size_mib > 0 ? r.size_mib * kMiB : std::max(16 * kMiB, needed);
    if (auto written = WriteRawImage(r.out, size, false, r.seed, placements); !written)
        return std::unexpected(written.error());
    return m;
}

}  // namespace tav::cardgen
