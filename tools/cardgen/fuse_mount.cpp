#include "cardgen/fuse_mount.hpp"

#include <chrono>
#include <fstream>
#include <thread>

#include "cardgen/run_process.hpp"

namespace tav::cardgen {

namespace fs = std::filesystem;

namespace {

bool IsMounted(const fs::path& dir) {
    std::ifstream mounts("/proc/self/mounts");
    const std::string wanted = " " + dir.string() + " ";
    for (std::string line; std::getline(mounts, line);)
        if (line.find(wanted) != std::string::npos) return true;
    return false;
}

}  // namespace

FuseMount::FuseMount(std::vector<std::string> driver, const fs::path& device, const fs::path& dir)
    : dir_(dir), name_(driver.empty() ? std::string() : driver.front()) {
    driver.push_back(device.string());
    driver.push_back(dir.string());
    pid_ = StartProcess(driver);
    for (int i = 0; pid_ > 0 && i < 200 && !IsMounted(dir); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    mounted_ = pid_ > 0 && IsMounted(dir);
}

std::expected<void, std::string> FuseMount::unmount() {
    if (pid_ <= 0) return {};
    ProcessResult r = RunProcess({"fusermount", "-u", dir_.string()});
    if (!r.ok()) r = RunProcess({"fusermount", "-u", "-z", dir_.string()});
    const int exit_code = WaitProcess(pid_);
    pid_ = -1;
    mounted_ = false;
    if (!r.ok() || exit_code != 0) return std::unexpected(name_ + " unmount failed: " + r.output);
    return {};
}

std::expected<void, std::string> WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return std::unexpected("cannot write " + path.string());
    return {};
}

}  // namespace tav::cardgen
