// FAT32 cards made with mkfs.fat and mtools: files copied in, some deleted,
// or the whole card re-formatted; optionally inside an MBR-partitioned disk.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "cardgen/card.hpp"
#include "cardgen/card_files.hpp"
#include "cardgen/card_parts.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/run_process.hpp"
#include "cardgen/work_folder.hpp"
#include "common/byte_order.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;
using Status = std::expected<void, std::string>;

constexpr std::int64_t kVolumeBytes = 272ll << 20;  // enough clusters for FAT32 with -s 8
constexpr std::int64_t kPartitionSector = 2048;

struct FatPlan {
    int fat_bits = 32;
    int sector_bytes = 512;
    int cluster_sectors = 8;
    std::int64_t volume_bytes = kVolumeBytes;
    int files = 5;
    std::vector<bool> deleted;  // per file
    bool reformat = false;
    std::int64_t partition_sector = 0;
    std::vector<int> frames;  // per file; empty: 24 each
};

FatPlan PlanFor(const CardRequest& r) {
    FatPlan p;
    if (r.kind == "demo") {
        p.files = 3;
        p.deleted = {true, true, true};
        p.frames = {50, 62, 75};  // 2 to 3 seconds
        return p;
    }
    if (r.kind == "fat16-deleted") {
        // A card of 2 GB and less: FAT16, here 128 MiB with 2 KiB clusters.
        p.fat_bits = 16;
        p.cluster_sectors = 4;
        p.volume_bytes = 128ll << 20;
    } else if (r.kind == "fat32-4k") {
        // A drive with 4096-byte logical sectors: one sector per cluster.
        p.sector_bytes = 4096;
        p.cluster_sectors = 1;
    }
    p.files = r.files >= 0 ? r.files : (r.kind == "fat32-formatted" || r.kind == "mbr" ? 4 : 5);
    for (int n = 0; n < p.files; ++n) p.deleted.push_back(n % 2 == 1);
    if (r.kind == "fat32-formatted") p.deleted.assign(p.files, false), p.reformat = true;
    // A larger volume, e.g. for measuring a scan's throughput.
    if (r.size_mib > 0) p.volume_bytes = r.size_mib << 20;
    if (r.kind == "mbr") p.partition_sector = kPartitionSector;
    return p;
}

Status Run(const std::vector<std::string>& argv) {
    const ProcessResult r = RunProcess(argv);
    if (!r.ok()) return std::unexpected(DescribeFailure(argv, r));
    return {};
}

std::string Hex32(std::uint64_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(v & 0xFFFFFFFFu));
    return text;
}

Status MakeFileSystem(const fs::path& image, const FatPlan& plan, std::uint64_t seed) {
    return Run({"mkfs.fat", "--invariant", "-F", std::to_string(plan.fat_bits), "-s",
                std::to_string(plan.cluster_sectors), "-S", std::to_string(plan.sector_bytes), "-i",
                Hex32(seed * 0x9E3779B1u), "-n", "TAVCARD", "-h",
                std::to_string(plan.partition_sector),
                "--offset=" + std::to_string(plan.partition_sector), image.string(),
                std::to_string(plan.volume_bytes / 1024)});
}

std::string MtoolsTarget(const fs::path& image, const FatPlan& plan) {
    if (plan.partition_sector == 0) return image.string();
    return image.string() + "@@" + std::to_string(plan.partition_sector * 512);
}

Status Mtools(const std::string& tool, std::vector<std::string> args) {
    std::vector<std::string> argv = {"env", "MTOOLS_SKIP_CHECK=1", tool};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv);
}

Status CopyIn(const fs::path& work, const std::string& target, const CardFile& f) {
    const fs::path local = work / f.plan.name;
    {
        std::ofstream out(local, std::ios::binary | std::ios::trunc);
        const Bytes all = f.mov.bytes();
        out.write(reinterpret_cast<const char*>(all.data()),
                  static_cast<std::streamsize>(all.size()));
        if (!out.flush()) return std::unexpected("cannot write " + local.string());
    }
    // A fixed timestamp keeps the directory entries the same from run to run.
    std::error_code ec;
    using namespace std::chrono;
    fs::last_write_time(
        local, fs::file_time_type::clock::from_sys(sys_seconds(sys_days{2012y / 5 / 3} + 12h)), ec);
    return Mtools("mcopy", {"-i", target, "-m", "-o", local.string(), "::" + f.plan.name});
}

std::expected<std::vector<CardFile>, std::string> MakeFiles(const CardRequest& r,
                                                            const FatPlan& plan) {
    std::vector<CardFile> files;
    for (int n = 0; n < plan.files; ++n) {
        CardFilePlan s;
        s.name = "MVI_" + std::to_string(1000 + n + 1) + ".MOV";
        s.aud = r.kind == "demo" || r.aud == "on" || (r.aud == "mixed" && n != 2);
        s.frames = n < static_cast<int>(plan.frames.size())
                       ? plan.frames[n]
                       : (r.frames > 0 ? r.frames : DefaultFrames(n));
        s.clip_seed = r.seed * 1000 + 100 + static_cast<std::uint64_t>(n);
        s.real_h264 = !r.synthetic;
        s.options.mdat64 = r.mdat64;
        s.options.co64 = r.co64;
        SetShootingTime(s.options, r.seed, n);
        if (IsOtherFile(r.clips, n)) s.other = WriterLayoutFor(n);
        auto f = MakeCardFile(s, r.clip_cache);
        if (!f) return std::unexpected(f.error());
        files.push_back(std::move(*f));
    }
    return files;
}

Status BuildImage(const CardRequest& r, const FatPlan& plan, const std::vector<CardFile>& files) {
    std::error_code ec;
    fs::remove(r.out, ec);
    { std::ofstream create(r.out, std::ios::binary); }
    fs::resize_file(r.out, plan.partition_sector * 512 + plan.volume_bytes, ec);
    if (ec) return std::unexpected("cannot create " + r.out.string() + ": " + ec.message());
    if (auto s = MakeFileSystem(r.out, plan, r.seed); !s) return s;
    WorkFolder work;
    if (!work.ok()) return std::unexpected("cannot create a temporary folder");
    const std::string target = MtoolsTarget(r.out, plan);
    for (const CardFile& f : files)
        if (auto s = CopyIn(work.path(), target, f); !s) return s;
    for (std::size_t n = 0; n < files.size(); ++n)
        if (plan.deleted[n])
            if (auto s = Mtools("mdel", {"-i", target, "::" + files[n].plan.name}); !s) return s;
    if (plan.reformat)
        if (auto s = MakeFileSystem(r.out, plan, r.seed + 1); !s) return s;
    if (plan.partition_sector > 0)
        return WriteMbr(r.out, r.seed,
                        {true, 0x0C, static_cast<std::uint32_t>(kPartitionSector),
                         static_cast<std::uint32_t>(kVolumeBytes / 512)});
    return {};
}

}  // namespace

std::expected<Manifest, std::string> GenerateFatCard(const CardRequest& r) {
    const FatPlan plan = PlanFor(r);
    auto files = MakeFiles(r, plan);
    if (!files) return std::unexpected(files.error());
    if (auto s = BuildImage(r, plan, *files); !s) return std::unexpected(s.error());

    Manifest m;
    m.file_system = plan.fat_bits == 16 ? "FAT16" : "FAT32";
    m.partition_offset = plan.partition_sector * 512;
    m.note = plan.reformat ? "files copied, then the card re-formatted with the same geometry"
                           : "files copied with mcopy, deleted ones removed with mdel";
    const MappedImage image(r.out);
    if (!image.ok()) return std::unexpected("cannot map " + r.out.string());
    for (std::size_t n = 0; n < files->size(); ++n) {
        const MovFile& mov = (*files)[n].mov;
        const std::int64_t head = image.find(StartKey(mov));
        const std::int64_t moov = image.find(mov.moov, head < 0 ? 0 : head);
        const bool gone = plan.deleted[n] || plan.reformat;
        m.files.push_back(Describe((*files)[n], gone ? "deleted" : "in-use", head, moov));
    }
    return m;
}

}  // namespace tav::cardgen
