// Cards whose camera clips the file system split into two or three cluster
// runs with kept files between them, as on a nearly full card: FAT32 (also
// re-formatted), exFAT and NTFS, every clip deleted afterwards.

#include <cstdio>
#include <fstream>
#include <set>
#include <system_error>

#include "cardgen/card.hpp"
#include "cardgen/card_files.hpp"
#include "cardgen/cluster_geometry.hpp"
#include "cardgen/file_runs.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/loop_device.hpp"
#include "cardgen/run_process.hpp"
#include "cardgen/seeded_random.hpp"
#include "cardgen/split_plan.hpp"
#include "cardgen/split_volume.hpp"
#include "cardgen/work_folder.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;
using Status = std::expected<void, std::string>;

constexpr std::int64_t kMiB = 1 << 20;

bool IsFat(const CardRequest& r) {
    return r.kind.starts_with("fat32");
}

std::int64_t VolumeBytes(const CardRequest& r) {
    if (r.size_mib > 0) return r.size_mib * kMiB;
    return IsFat(r) ? 272 * kMiB : 96 * kMiB;  // as fat32-deleted, exfat- and ntfs-deleted
}

Status Run(const std::vector<std::string>& argv) {
    const ProcessResult p = RunProcess(argv);
    if (!p.ok()) return std::unexpected(DescribeFailure(argv, p));
    return {};
}

Status MakeFat32(const CardRequest& r, std::uint64_t serial) {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(serial * 0x9E3779B1u));
    return Run({"mkfs.fat", "--invariant", "-F", "32", "-s", "8", "-S", "512", "-i", id, "-n",
                "TAVCARD", r.out.string(), std::to_string(VolumeBytes(r) / 1024)});
}

// 60 to 120 frames, so that each clip spans many clusters; every second
// clip with an interleaved sound track whose last chunk is sound.
std::expected<std::vector<CardFile>, std::string> MakeClips(const CardRequest& r) {
    const int count = r.files >= 0 ? r.files : 4;
    std::vector<CardFile> clips;
    for (int n = 0; n < count; ++n) {
        CardFilePlan s;
        s.name = "MVI_" + std::to_string(5000 + n + 1) + ".MOV";
        s.aud = r.aud == "on" || (r.aud == "mixed" && n != 2);
        s.frames = r.frames > 0 ? r.frames : 60 + static_cast<int>((r.seed * 7 + n * 37) % 61);
        s.clip_seed = r.seed * 1000 + 500 + static_cast<std::uint64_t>(n);
        s.real_h264 = !r.synthetic;
        s.options.mdat64 = r.mdat64;
        s.options.co64 = r.co64;
        s.options.sound_track = s.options.sound_last = n % 2 == 0;
        SetShootingTime(s.options, r.seed, n + 50);
        if (IsOtherFile(r.clips, n)) s.other = WriterLayoutFor(n);
        auto f = MakeCardFile(s, r.clip_cache);
        if (!f) return std::unexpected(f.error());
        clips.push_back(std::move(*f));
    }
    return clips;
}

// Fillers first, then for each clip: its placeholders deleted, the clip
// written into the holes they leave; at last every clip deleted.
Status Fill(SplitVolume& volume, const SplitPlan& plan, const std::vector<CardFile>& clips,
            std::int64_t cluster_bytes, std::uint64_t seed) {
    // The clips' directory entries (and MFT records) come first: once the
    // card is full, writing a clip must need nothing but its data clusters.
    for (const CardFile& clip : clips)
        if (auto s = volume.write(clip.plan.name, {}); !s) return s;
    SeededRandom random(seed * 0x2545F4914F6CDD1Dull + 3);
    for (const LayoutFile& f : plan.layout) {
        Bytes bytes(static_cast<std::size_t>(f.clusters * cluster_bytes));
        random.fill(bytes);
        if (auto s = volume.write(f.name, bytes); !s) return s;
    }
    if (auto s = volume.fill_rest(seed); !s) return s;
    std::vector<std::string> names;
    for (std::size_t n = 0; n < clips.size(); ++n) {
        std::vector<std::string> holes;
        for (const LayoutFile& f : plan.layout)
            if (f.hole_of == static_cast<int>(n)) holes.push_back(f.name);
        if (auto s = volume.remove(holes); !s) return s;
        if (auto s = volume.write(clips[n].plan.name, clips[n].mov.bytes()); !s) return s;
        names.push_back(clips[n].plan.name);
    }
    return names.empty() ? Status{} : volume.remove(names);
}

std::expected<ClusterGeometry, std::string> Geometry(const fs::path& image) {
    const MappedImage mapped(image);
    if (!mapped.ok()) return std::unexpected("cannot map " + image.string());
    const auto g = ReadClusterGeometry(mapped.bytes(), 0);
    if (!g) return std::unexpected("no FAT32, exFAT or NTFS boot sector on " + image.string());
    return *g;
}

std::vector<std::int64_t> ClusterCounts(const std::vector<CardFile>& clips, std::int64_t bytes) {
    std::vector<std::int64_t> out;
    for (const CardFile& c : clips) out.push_back((c.mov.size() + bytes - 1) / bytes);
    return out;
}

// The image offset of a file byte, through the file's fragments.
std::int64_t ImageOffset(const std::vector<Fragment>& fragments, std::int64_t at) {
    for (const Fragment& f : fragments) {
        if (at < f.length) return f.offset + at;
        at -= f.length;
    }
    return -1;
}

std::expected<Manifest, std::string> Describe(const fs::path& image, const ClusterGeometry& g,
                                              const std::vector<CardFile>& clips,
                                              const SplitPlan& plan) {
    const MappedImage mapped(image);
    if (!mapped.ok()) return std::unexpected("cannot map " + image.string());
    Manifest m;
    std::set<std::int64_t> claimed;  // cluster starts: no two clips, no two runs share one
    for (std::size_t n = 0; n < clips.size(); ++n) {
        const CardFile& clip = clips[n];
        const Bytes bytes = clip.mov.bytes();
        auto runs = FindFileRuns(mapped.bytes(), g, bytes);
        if (!runs) return std::unexpected(clip.plan.name + " is not whole on the image");
        if (static_cast<int>(runs->size()) != plan.runs[n]) {
            std::string where;
            for (const Fragment& f : *runs)
                where += " " + std::to_string((f.offset - g.data_offset) / g.cluster_bytes) + "+" +
                         std::to_string((f.length + g.cluster_bytes - 1) / g.cluster_bytes);
            return std::unexpected("the file system put " + clip.plan.name + " into " +
                                   std::to_string(runs->size()) + " runs, not the planned " +
                                   std::to_string(plan.runs[n]) + " (clusters" + where + ")");
        }
        for (const Fragment& run : *runs)
            for (std::int64_t at = run.offset; at < run.offset + run.length; at += g.cluster_bytes)
                if (!claimed.insert(at).second)
                    return std::unexpected("the clusters of " + clip.plan.name +
                                           " are not told apart from other ones");
        ManifestFile f = cardgen::Describe(clip, "deleted", ImageOffset(*runs, 0),
                                           ImageOffset(*runs, clip.mov.moov_offset()));
        f.fragments = std::move(*runs);
        m.files.push_back(std::move(f));
    }
    return m;
}

Status Build(const CardRequest& r, const std::vector<CardFile>& clips, SplitPlan& plan,
             ClusterGeometry& g) {
    std::error_code ec;
    fs::remove(r.out, ec);
    { std::ofstream create(r.out, std::ios::binary); }
    fs::resize_file(r.out, VolumeBytes(r), ec);
    if (ec) return std::unexpected("cannot create " + r.out.string() + ": " + ec.message());
    WorkFolder work;
    if (!work.ok()) return std::unexpected("cannot create a temporary folder");

    const auto planned = [&]() -> Status {
        auto geometry = Geometry(r.out);
        if (!geometry) return std::unexpected(geometry.error());
        g = *geometry;
        auto p = PlanSplit(ClusterCounts(clips, g.cluster_bytes), r.seed);
        if (!p) return std::unexpected(p.error());
        plan = std::move(*p);
        return {};
    };
    if (IsFat(r)) {
        if (auto s = MakeFat32(r, r.seed); !s) return s;
        if (auto s = planned(); !s) return s;
        if (auto s = Fill(*MtoolsVolume(r.out, work.path()), plan, clips, g.cluster_bytes, r.seed);
            !s)
            return s;
        if (r.kind == "fat32-split-formatted") return MakeFat32(r, r.seed + 1);
        return {};
    }
    if (r.kind == "exfat-split") {
        LoopDevice loop(r.out, 0, VolumeBytes(r));
        if (loop.device().empty())
            return std::unexpected("exFAT cards need a loop device (losetup, as root): " +
                                   loop.error());
        // 4 KiB clusters at every size, so that a clip spans many of them.
        if (auto s = Run({"mkfs.exfat", "-c", "4K", "-L", "TAVCARD", loop.device()}); !s) return s;
        if (auto s = planned(); !s) return s;
        const auto volume =
            FuseVolume({"mount.exfat-fuse", "-o", "foreground"}, loop.device(), work.path(), false);
        return Fill(*volume, plan, clips, g.cluster_bytes, r.seed);
    }
    if (!fs::exists("/dev/fuse")) return std::unexpected("ntfs-split needs FUSE (/dev/fuse)");
    if (auto s = Run({"mkntfs", "-F", "-Q", "-q", "-T", "-s", "512", "-c", "4096", "-L", "TAVCARD",
                      r.out.string()});
        !s)
        return s;
    if (auto s = planned(); !s) return s;
    const auto volume = FuseVolume({"ntfs-3g", "-o", "no_detach"}, r.out, work.path(), true);
    return Fill(*volume, plan, clips, g.cluster_bytes, r.seed);
}

}  // namespace

std::expected<Manifest, std::string> GenerateSplitCard(const CardRequest& r) {
    const auto clips = MakeClips(r);
    if (!clips) return std::unexpected(clips.error());
    SplitPlan plan;
    ClusterGeometry g;
    if (auto s = Build(r, *clips, plan, g); !s) return std::unexpected(s.error());
    auto m = Describe(r.out, g, *clips, plan);
    if (!m) return m;
    m->file_system = IsFat(r) ? "FAT32" : r.kind == "exfat-split" ? "exFAT" : "NTFS";
    m->note = r.kind == "fat32-split-formatted"
                  ? "clips split by fillers and deleted, then the card re-formatted"
                  : "clips split into 2 or 3 runs between kept fillers, then deleted";
    return m;
}

}  // namespace tav::cardgen
