#include <windows.h>

#include <string>
#include <system_error>

#include "cardgen/work_folder.hpp"

namespace tav::cardgen {

// CreateDirectory fails on a name that exists, so the first free name is ours
// alone, as mkdtemp's would be.
WorkFolder::WorkFolder() {
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) return;
    const unsigned long stamp = GetCurrentProcessId() ^ GetTickCount();
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const std::filesystem::path candidate =
            temp / ("tavorine-cardgen-" + std::to_string(stamp) + "-" + std::to_string(attempt));
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

WorkFolder::~WorkFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace tav::cardgen
