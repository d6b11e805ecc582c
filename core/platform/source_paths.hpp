#pragma once
// Path forms of the sources, and what lies at a path the user named.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/source_reader.hpp"

namespace tav {

enum class SourceKind { Volume, Disk, Image };

// The Windows forms, pure and the same on every OS: "\\.\E:",
// "\\.\PhysicalDrive1", "\\.\D:\backup\card.img" for an image path that
// begins with a drive letter, any other image path unchanged.
std::string Win32SourcePath(SourceKind kind, std::string_view text);

// What a path leads to, as the system tells it without reading the medium.
enum class PathKind { File, Partition, WholeDisk, Other };

// Fails with the system's reason when nothing can be found at the path.
// Linux asks sysfs whether a block device is a partition; Windows tells
// volumes and disks by their device forms.
std::expected<PathKind, OpenError> KindOfPath(const std::string& path);

// The kind of a Windows device form, pure and the same on every OS:
// "\\.\E:" a partition, "\\.\PhysicalDrive1" a whole disk; nothing for any
// other text, which names a file.
std::optional<PathKind> Win32DeviceKind(std::string_view path);

}  // namespace tav
