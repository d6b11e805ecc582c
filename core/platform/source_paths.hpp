#pragma once
// Path forms of the sources.

#include <optional>
#include <string>
#include <string_view>

namespace tav {

enum class SourceKind { Volume, Disk, Image };

// The Windows forms, pure and the same on every OS: "\\.\E:",
// "\\.\PhysicalDrive1", "\\.\D:\backup\card.img" for an image path that
// begins with a drive letter, any other image path unchanged.
std::string Win32SourcePath(SourceKind kind, std::string_view text);

// The path a scan opens for the source step's selection, on this platform
// (the rule of the Next button: drive, disk line, or path unchanged).
std::string DevicePathForSelection(const std::string& source_text, const std::string& source_label);

// The disk number of a disk line ("HDD12:..." or "RM  3:..."): the digits
// after the type up to the ":"; nothing for any other text.
std::optional<int> DiskNumberOfLine(std::string_view label);

}  // namespace tav
