// Linux: volumes and image files are opened by their path; a disk line maps
// to the device node the last disk listing gave its number.

#include "platform/disk_registry.hpp"
#include "platform/source_paths.hpp"

namespace tav {

std::string DevicePathForSelection(const std::string& source_text,
                                   const std::string& source_label) {
    if (source_text.starts_with("/")) return source_text;
    const auto number = DiskNumberOfLine(source_label);
    if (!number || source_text != std::to_string(*number)) return source_text;
    if (DiskRegistry::listed().empty()) ListDisks();
    // An unknown number yields a path that fails to open with a clear reason
    // rather than some other disk.
    return DiskRegistry::listed().device_of(*number).value_or("/dev/disk-" + source_text);
}

}  // namespace tav
