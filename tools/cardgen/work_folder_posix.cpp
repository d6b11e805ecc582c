#include <stdlib.h>

#include <string>
#include <system_error>

#include "cardgen/work_folder.hpp"

namespace tav::cardgen {

WorkFolder::WorkFolder() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "tavorine-cardgen-XXXXXX");
    if (mkdtemp(pattern.data())) path_ = pattern;
}

WorkFolder::~WorkFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace tav::cardgen
