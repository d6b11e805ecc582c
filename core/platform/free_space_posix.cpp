// Free space for an unprivileged writer (f_bavail) and the mount point the
// folder lives on, found by walking up while the device stays the same.

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <filesystem>

#include "platform/free_space.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

std::string MountPointOf(const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return folder.string();
    fs::path current = folder;
    while (current.has_parent_path() && current != current.root_path()) {
        const fs::path parent = current.parent_path();
        struct stat up {};
        if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
        current = parent;
    }
    return current.string();
}

}  // namespace

std::optional<FolderSpace> QueryFreeSpace(const std::string& folder) {
    std::error_code ec;
    const fs::path real = fs::canonical(folder, ec);
    if (ec || !fs::is_directory(real, ec)) return std::nullopt;
    struct statvfs vfs {};
    if (::statvfs(real.c_str(), &vfs) != 0) return std::nullopt;
    return FolderSpace{MountPointOf(real), static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize};
}

}  // namespace tav
