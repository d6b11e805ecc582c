#pragma once
// A loop device over part of an image (losetup, needs root), detached when
// done with: how exFAT volumes are made and mounted.

#include <cstdint>
#include <filesystem>
#include <string>

namespace tav::cardgen {

class LoopDevice {
  public:
    LoopDevice(const std::filesystem::path& image, std::int64_t offset, std::int64_t size);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    const std::string& device() const { return device_; }  // empty when losetup failed
    const std::string& error() const { return error_; }

  private:
    std::string device_;
    std::string error_;
};

}  // namespace tav::cardgen
