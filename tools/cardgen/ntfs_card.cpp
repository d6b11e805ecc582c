// NTFS cards: made with mkntfs, files copied in and deleted through a real
// ntfs-3g (FUSE) mount.

#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "cardgen/card.hpp"
#include "cardgen/card_parts.hpp"
#include "cardgen/fuse_mount.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/ntfs_free_placement.hpp"
#include "cardgen/run_process.hpp"
#include "cardgen/work_folder.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;
using Status = std::expected<void, std::string>;

constexpr std::int64_t kVolumeBytes = 96ll << 20;

Status CopyAndDelete(const fs::path& image, const std::vector<CardFile>& files,
                     const std::vector<bool>& deleted) {
    WorkFolder work;
    if (!work.ok()) return std::unexpected("cannot create a temporary folder");
    const fs::path dir = work.path() / "mnt";
    fs::create_directory(dir);
    FuseMount mount({"ntfs-3g", "-o", "no_detach"}, image, dir);
    if (!mount.mounted()) return std::unexpected("cannot mount the NTFS image with ntfs-3g");
    for (const CardFile& f : files)
        if (auto s = WriteFile(dir / f.plan.name, f.mov.bytes()); !s) return s;
    for (std::size_t n = 0; n < files.size(); ++n) {
        std::error_code ec;
        if (deleted[n] && !fs::remove(dir / files[n].plan.name, ec))
            return std::unexpected("cannot delete " + files[n].plan.name);
    }
    return mount.unmount();
}

// Without FUSE: every file's bytes go into free clusters, as deleted files.
std::expected<Manifest, std::string> PlaceWithoutDriver(const fs::path& image,
                                                        const std::vector<CardFile>& files) {
    std::vector<Bytes> bytes;
    bytes.reserve(files.size());
    for (const CardFile& f : files) bytes.push_back(f.mov.bytes());
    const auto offsets = PlaceInFreeClusters(image, bytes);
    if (!offsets) return std::unexpected(offsets.error());
    Manifest m;
    m.file_system = "NTFS";
    m.note = "no FUSE: files placed in clusters the $Bitmap marks free, without MFT records";
    for (std::size_t n = 0; n < files.size(); ++n)
        m.files.push_back(Describe(files[n], "deleted", (*offsets)[n],
                                   (*offsets)[n] + files[n].mov.moov_offset()));
    return m;
}

}  // namespace

std::expected<Manifest, std::string> GenerateNtfsCard(const CardRequest& r) {
    const int count = r.files >= 0 ? r.files : 5;
    const auto made = MakeSeries(r, count, {2000, 200, 20});
    if (!made) return std::unexpected(made.error());
    const std::vector<CardFile>& files = *made;
    std::vector<bool> deleted;
    for (int n = 0; n < count; ++n) deleted.push_back(n % 2 == 1);
    std::error_code ec;
    fs::remove(r.out, ec);
    { std::ofstream create(r.out, std::ios::binary); }
    fs::resize_file(r.out, kVolumeBytes, ec);
    if (ec) return std::unexpected("cannot create " + r.out.string());
    const std::vector<std::string> mkntfs = {"mkntfs",
                                             "-F",
                                             "-Q",
                                             "-q",
                                             "-T",
                                             "-s",
                                             r.kind == "ntfs-4k" ? "4096" : "512",
                                             "-c",
                                             "4096",
                                             "-L",
                                             "TAVCARD",
                                             r.out.string()};
    if (const ProcessResult p = RunProcess(mkntfs); !p.ok())
        return std::unexpected(DescribeFailure(mkntfs, p));
    if (r.no_fuse || !fs::exists("/dev/fuse")) return PlaceWithoutDriver(r.out, files);
    if (auto s = CopyAndDelete(r.out, files, deleted); !s) return std::unexpected(s.error());

    Manifest m;
    m.file_system = "NTFS";
    m.note = "files copied and deleted through an ntfs-3g mount";
    auto found = FindFiles(r.out, files, deleted);
    if (!found) return std::unexpected(found.error());
    m.files = std::move(*found);
    return m;
}

}  // namespace tav::cardgen
