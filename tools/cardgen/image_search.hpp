#pragma once
// Finds byte strings on an image file (read-only memory map): how the
// manifest learns where a file system put each file's parts.

#include <cstdint>
#include <filesystem>
#include <span>

namespace tav::cardgen {

class MappedImage {
  public:
    explicit MappedImage(const std::filesystem::path& path);
    ~MappedImage();
    MappedImage(const MappedImage&) = delete;
    MappedImage& operator=(const MappedImage&) = delete;

    bool ok() const { return data_ != nullptr; }
    std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
    // Offset of the first occurrence of needle at or after from; -1 if none.
    std::int64_t find(std::span<const std::uint8_t> needle, std::int64_t from = 0) const;

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace tav::cardgen
