// exFAT cards (SDXC cards over 32 GB come formatted so): a loop device over
// the image (or over its one partition), mkfs.exfat, files copied in and
// every second one deleted through an exfat-fuse mount.

#include <fstream>
#include <system_error>

#include "cardgen/card.hpp"
#include "cardgen/card_parts.hpp"
#include "cardgen/fuse_mount.hpp"
#include "cardgen/loop_device.hpp"
#include "cardgen/run_process.hpp"
#include "cardgen/work_folder.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;
using Status = std::expected<void, std::string>;

constexpr std::int64_t kVolumeBytes = 96ll << 20;
// SDXC cards put their one partition at 16 MiB.
constexpr std::int64_t kPartitionSector = 32768;

Status Format(const fs::path& image, std::int64_t offset, const std::vector<CardFile>& files,
              const std::vector<bool>& deleted) {
    LoopDevice loop(image, offset, kVolumeBytes);
    if (loop.device().empty())
        return std::unexpected("exFAT cards need a loop device (losetup, as root): " +
                               loop.error());
    const std::vector<std::string> mkfs = {"mkfs.exfat", "-L", "TAVCARD", loop.device()};
    if (const ProcessResult p = RunProcess(mkfs); !p.ok())
        return std::unexpected(DescribeFailure(mkfs, p));
    WorkFolder work;
    if (!work.ok()) return std::unexpected("cannot create a temporary folder");
    const fs::path dir = work.path() / "mnt";
    fs::create_directory(dir);
    FuseMount mount({"mount.exfat-fuse", "-o", "foreground"}, loop.device(), dir);
    if (!mount.mounted()) return std::unexpected("cannot mount the exFAT card with exfat-fuse");
    for (const CardFile& f : files)
        if (auto s = WriteFile(dir / f.plan.name, f.mov.bytes()); !s) return s;
    for (std::size_t n = 0; n < files.size(); ++n) {
        std::error_code ec;
        if (deleted[n] && !fs::remove(dir / files[n].plan.name, ec))
            return std::unexpected("cannot delete " + files[n].plan.name);
    }
    return mount.unmount();
}

}  // namespace

std::expected<Manifest, std::string> GenerateExfatCard(const CardRequest& r) {
    const int count = r.files >= 0 ? r.files : 5;
    const auto made = MakeSeries(r, count, {3000, 300, 40});
    if (!made) return std::unexpected(made.error());
    const std::vector<CardFile>& files = *made;
    std::vector<bool> deleted;
    for (int n = 0; n < count; ++n) deleted.push_back(n % 2 == 1);
    const std::int64_t offset = r.kind == "mbr-exfat" ? kPartitionSector * 512 : 0;
    std::error_code ec;
    fs::remove(r.out, ec);
    { std::ofstream create(r.out, std::ios::binary); }
    fs::resize_file(r.out, offset + kVolumeBytes, ec);
    if (ec) return std::unexpected("cannot create " + r.out.string());
    if (auto s = Format(r.out, offset, files, deleted); !s) return std::unexpected(s.error());
    if (offset > 0)
        if (auto s = WriteMbr(r.out, r.seed,
                              {false, 0x07, static_cast<std::uint32_t>(kPartitionSector),
                               static_cast<std::uint32_t>(kVolumeBytes / 512)});
            !s)
            return std::unexpected(s.error());

    Manifest m;
    m.file_system = "exFAT";
    m.partition_offset = offset;
    m.note = "files copied and every second one deleted through an exfat-fuse mount";
    auto found = FindFiles(r.out, files, deleted);
    if (!found) return std::unexpected(found.error());
    m.files = std::move(*found);
    return m;
}

}  // namespace tav::cardgen
