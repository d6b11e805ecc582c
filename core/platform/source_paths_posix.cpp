// Linux: what a path leads to, from its file type and, for a block device,
// from sysfs, where a partition has a "partition" attribute and a whole disk
// (a loop device too) has none.

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/source_paths.hpp"

namespace tav {
namespace {

bool IsPartitionDevice(const std::string& path) {
    std::error_code ec;
    const auto real = std::filesystem::canonical(path, ec);
    if (ec) return false;
    return std::filesystem::exists("/sys/class/block/" + real.filename().string() + "/partition",
                                   ec);
}

}  // namespace

std::expected<PathKind, OpenError> KindOfPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        return std::unexpected(OpenError{path, err, std::strerror(err)});
    }
    if (S_ISREG(st.st_mode)) return PathKind::File;
    if (!S_ISBLK(st.st_mode)) return PathKind::Other;
    return IsPartitionDevice(path) ? PathKind::Partition : PathKind::WholeDisk;
}

}  // namespace tav
