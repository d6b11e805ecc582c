// The Windows path forms, pure on every OS.

#include <cctype>

#include "platform/source_paths.hpp"

namespace tav {
namespace {

bool StartsWithDriveLetter(std::string_view text) {
    return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

}  // namespace

std::string Win32SourcePath(SourceKind kind, std::string_view text) {
    switch (kind) {
        case SourceKind::Volume:
            return "\\\\.\\" + std::string(text.substr(0, 2));
        case SourceKind::Disk:
            return "\\\\.\\PhysicalDrive" + std::string(text);
        case SourceKind::Image:
            break;
    }
    if (StartsWithDriveLetter(text)) return "\\\\.\\" + std::string(text);
    return std::string(text);
}

std::optional<PathKind> Win32DeviceKind(std::string_view path) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    constexpr std::string_view kDisk = "physicaldrive";
    if (!path.starts_with(kDevicePrefix)) return std::nullopt;
    const std::string_view name = path.substr(kDevicePrefix.size());
    if (name.size() == 2 && StartsWithDriveLetter(name)) return PathKind::Partition;
    if (name.size() <= kDisk.size()) return std::nullopt;
    for (std::size_t i = 0; i < kDisk.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != kDisk[i]) return std::nullopt;
    for (const char c : name.substr(kDisk.size()))
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    return PathKind::WholeDisk;
}

}  // namespace tav
