// Windows: free bytes for this user on the folder's drive. A folder without
// a drive letter (a network share) is asked about by its own path.

#include <windows.h>

#include <cctype>

#include "platform/free_space.hpp"

namespace tav {

std::optional<FolderSpace> QueryFreeSpace(const std::string& folder) {
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return std::nullopt;
    const bool has_letter = folder.size() >= 2 &&
                            std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':';
    std::string drive = has_letter ? folder.substr(0, 2) : folder;
    if (drive.empty()) return std::nullopt;
    std::string root = drive;
    if (root.back() != '\\') root += '\\';
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return FolderSpace{drive, available.QuadPart};
}

}  // namespace tav
