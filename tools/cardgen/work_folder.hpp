#pragma once
// A private temporary folder for one generation run (files to copy onto an
// image, mount points), removed with its contents when done.

#include <filesystem>

namespace tav::cardgen {

class WorkFolder {
  public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    bool ok() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace tav::cardgen
