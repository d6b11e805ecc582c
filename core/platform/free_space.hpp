#pragma once
// Free space for new files in an output folder, for the save step's check.

#include <cstdint>
#include <optional>
#include <string>

namespace tav {

struct FolderSpace {
    std::string drive;  // the folder's mount point (Linux) or "D:" (Windows)
    std::uint64_t free_bytes = 0;
};

// Nothing when the folder does not exist or its file system cannot tell.
std::optional<FolderSpace> QueryFreeSpace(const std::string& folder);

}  // namespace tav
