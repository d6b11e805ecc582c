#include "cardgen/split_volume.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <system_error>

#include "cardgen/fuse_mount.hpp"
#include "cardgen/run_process.hpp"
#include "cardgen/seeded_random.hpp"
#include "common/byte_order.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;
using Status = std::expected<void, std::string>;

Status Run(const std::vector<std::string>& argv) {
    const ProcessResult r = RunProcess(argv);
    if (!r.ok()) return std::unexpected(DescribeFailure(argv, r));
    return {};
}

class Mtools final : public SplitVolume {
  public:
    Mtools(fs::path image, fs::path work) : image_(std::move(image)), work_(std::move(work)) {}

    Status write(const std::string& name, const Bytes& bytes) override {
        const fs::path local = work_ / name;
        if (auto s = WriteFile(local, bytes); !s) return s;
        // A fixed timestamp keeps the directory entries the same from run to run.
        std::error_code ec;
        using namespace std::chrono;
        fs::last_write_time(
            local, fs::file_time_type::clock::from_sys(sys_seconds(sys_days{2012y / 5 / 3} + 12h)),
            ec);
        if (auto s = ForgetNextFree(); !s) return s;
        auto copied = Run({"env", "MTOOLS_SKIP_CHECK=1", "mcopy", "-i", image_.string(), "-m", "-o",
                           local.string(), "::" + name});
        fs::remove(local, ec);
        return copied;
    }

    Status remove(const std::vector<std::string>& names) override {
        std::vector<std::string> argv = {"env", "MTOOLS_SKIP_CHECK=1", "mdel", "-i",
                                         image_.string()};
        for (const std::string& n : names) argv.push_back("::" + n);
        return Run(argv);
    }

  private:
    // FSInfo's next-free field to "unknown": mtools then searches from the
    // first cluster instead of carrying on after its last allocation.
    Status ForgetNextFree() {
        std::fstream io(image_, std::ios::binary | std::ios::in | std::ios::out);
        std::uint8_t boot[512];
        io.read(reinterpret_cast<char*>(boot), sizeof boot);
        if (!io) return std::unexpected("cannot read the boot sector");
        const std::int64_t sector = load_le16(boot + 11);
        std::uint8_t unknown[4];
        store_le32(unknown, 0xFFFFFFFFu);
        io.seekp(load_le16(boot + 48) * sector + 0x1EC);
        io.write(reinterpret_cast<const char*>(unknown), sizeof unknown);
        if (!io.flush()) return std::unexpected("cannot write the FSInfo sector");
        return {};
    }

    fs::path image_, work_;
};

class Fuse final : public SplitVolume {
  public:
    Fuse(std::vector<std::string> driver, fs::path device, fs::path work, bool fills_rest)
        : driver_(std::move(driver)),
          device_(std::move(device)),
          dir_(std::move(work) / "mnt"),
          fills_rest_(fills_rest) {
        std::error_code ec;
        fs::create_directories(dir_, ec);
    }

    Status write(const std::string& name, const Bytes& bytes) override {
        FuseMount mount(driver_, device_, dir_);
        if (!mount.mounted()) return std::unexpected("cannot mount " + device_.string());
        if (auto s = WriteFile(dir_ / name, bytes); !s) return s;
        return mount.unmount();
    }

    Status remove(const std::vector<std::string>& names) override {
        FuseMount mount(driver_, device_, dir_);
        if (!mount.mounted()) return std::unexpected("cannot mount " + device_.string());
        for (const std::string& n : names) {
            std::error_code ec;
            if (!fs::remove(dir_ / n, ec)) return std::unexpected("cannot delete " + n);
        }
        return mount.unmount();
    }

    // ntfs-3g starts a new file in the largest free range it sees, and in
    // the MFT zone's free clusters when it deems the data zones full: with
    // every other cluster in use, the holes are all it can take. The MFT
    // need not grow from here on: deleted placeholders leave their records.
    Status fill_rest(std::uint64_t seed) override {
        if (!fills_rest_) return {};
        FuseMount mount(driver_, device_, dir_);
        if (!mount.mounted()) return std::unexpected("cannot mount " + device_.string());
        struct statvfs st {};
        if (statvfs(dir_.c_str(), &st) != 0) return std::unexpected("cannot measure the volume");
        // Until the driver runs out of clusters, in ever smaller pieces down
        // to one cluster: what it reports free is not all it will hand out.
        const int fd = open((dir_ / "FILLREST.BIN").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return std::unexpected("cannot create the filler of the rest");
        SeededRandom random(seed ^ 0xF111F111ull);
        Bytes chunk(16 << 20);
        for (std::size_t n = chunk.size(); n >= st.f_frsize;) {
            random.fill(std::span(chunk).first(n));
            const ssize_t w = ::write(fd, chunk.data(), n);
            if (w < 0 && errno == ENOSPC) {
                n /= 2;
            } else if (w < 0) {
                close(fd);
                return std::unexpected("cannot fill the rest of the volume");
            }
        }
        if (close(fd) != 0 && errno != ENOSPC)
            return std::unexpected("cannot fill the rest of the volume");
        return mount.unmount();
    }

  private:
    std::vector<std::string> driver_;
    fs::path device_, dir_;
    bool fills_rest_;
};

}  // namespace

std::unique_ptr<SplitVolume> MtoolsVolume(const fs::path& image, const fs::path& work) {
    return std::make_unique<Mtools>(image, work);
}

std::unique_ptr<SplitVolume> FuseVolume(std::vector<std::string> driver, const fs::path& device,
                                        const fs::path& work, bool fills_rest) {
    return std::make_unique<Fuse>(std::move(driver), device, work, fills_rest);
}

}  // namespace tav::cardgen
