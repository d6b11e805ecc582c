#pragma once
// A temporary folder removed with everything in it when the test ends.

#include <filesystem>
#include <string>

#include "cardgen/work_folder.hpp"
#include "common/utf8_path.hpp"

namespace tav::test {

class TempDir {
  public:
    TempDir();  // throws when no folder can be made: the test cannot go on
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return folder_.path(); }
    std::filesystem::path operator/(const std::string& name) const {
        return path() / PathFromUtf8(name);
    }

  private:
    cardgen::WorkFolder folder_;
};

}  // namespace tav::test
