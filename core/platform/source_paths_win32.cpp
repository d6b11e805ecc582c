// Windows: the device path of the Next button from the selection.

#include "platform/source_paths.hpp"

namespace tav {

std::string DevicePathForSelection(const std::string& source_text,
                                   const std::string& source_label) {
    if (source_label.size() >= 2 && source_label[1] == ':') return "\\\\.\\" + source_text;
    // Only a real disk line: an image path that merely starts with R or H
    // must not become a disk.
    const auto number = DiskNumberOfLine(source_label);
    if (number && source_text == std::to_string(*number))
        return Win32SourcePath(SourceKind::Disk, source_text);
    return source_text;
}

}  // namespace tav
