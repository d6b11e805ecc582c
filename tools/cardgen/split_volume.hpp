#pragma once
// The file operations a split card is made with, each through the file
// system's own driver: mtools for FAT32, a FUSE mount for exFAT and NTFS.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cardgen/mov_builder.hpp"

namespace tav::cardgen {

class SplitVolume {
  public:
    virtual ~SplitVolume() = default;
    // The driver is to take the first free clusters it prefers, as a new
    // session would: each call starts its search afresh.
    virtual std::expected<void, std::string> write(const std::string& name, const Bytes& bytes) = 0;
    virtual std::expected<void, std::string> remove(const std::vector<std::string>& names) = 0;
    // Fills the free space the layout did not claim, for drivers that would
    // otherwise prefer it to the holes.
    virtual std::expected<void, std::string> fill_rest(std::uint64_t /*seed*/) { return {}; }
};

// FAT32 on the image through mtools; the free-cluster hint is forgotten
// before each copy, so that the allocation starts at the first cluster.
std::unique_ptr<SplitVolume> MtoolsVolume(const std::filesystem::path& image,
                                          const std::filesystem::path& work);

// A FUSE driver (its program and options) mounted over device for each
// call. With fill_rest, the rest of the data zone is filled with one file.
std::unique_ptr<SplitVolume> FuseVolume(std::vector<std::string> driver,
                                        const std::filesystem::path& device,
                                        const std::filesystem::path& work, bool fills_rest);

}  // namespace tav::cardgen
