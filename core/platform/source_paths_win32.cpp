// Windows: volumes and disks are named by their device forms; anything else
// is a file, or a folder or device that holds no medium.

#include <filesystem>

#include "common/utf8_path.hpp"
#include "platform/source_paths.hpp"

namespace tav {

std::expected<PathKind, OpenError> KindOfPath(const std::string& path) {
    if (const auto device = Win32DeviceKind(path)) return *device;
    std::error_code ec;
    const auto status = std::filesystem::status(PathFromUtf8(path), ec);
    if (ec) return std::unexpected(OpenError{path, ec.value(), ec.message()});
    return std::filesystem::is_regular_file(status) ? PathKind::File : PathKind::Other;
}

}  // namespace tav
