#pragma once
// A file system mounted through a FUSE driver running in the foreground
// (ntfs-3g, exfat-fuse), always taken down again, and only once the driver
// has written everything back and ended.

#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "cardgen/mov_builder.hpp"

namespace tav::cardgen {

class FuseMount {
  public:
    // driver: the program and its options up to (not including) the
    // device and the folder.
    FuseMount(std::vector<std::string> driver, const std::filesystem::path& device,
              const std::filesystem::path& dir);
    ~FuseMount() { unmount(); }
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;
    bool mounted() const { return mounted_; }
    std::expected<void, std::string> unmount();

  private:
    std::filesystem::path dir_;
    std::string name_;
    int pid_ = -1;
    bool mounted_ = false;
};

std::expected<void, std::string> WriteFile(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace tav::cardgen
