#pragma once
// A byte range of another device seen as a device of its own: a partition of
// a whole-card image or disk, read with offsets counted from its start.

#include <memory>

#include "platform/source_device.hpp"

namespace tav {

class WindowDevice : public SourceDevice {
  public:
    // Bytes [offset, offset + length) of inner; a window reaching past the
    // end of inner ends where inner ends.
    WindowDevice(std::unique_ptr<SourceDevice> inner, std::int64_t offset, std::int64_t length);

    DeviceRead read(std::int64_t offset, std::span<std::uint8_t> buf) const override;
    std::int64_t size() const override { return length_; }
    std::int64_t sector_bytes() const override { return inner_ ? inner_->sector_bytes() : 512; }
    bool present() const override { return inner_ && inner_->present(); }

  private:
    std::unique_ptr<SourceDevice> inner_;
    std::int64_t offset_;
    std::int64_t length_;
};

}  // namespace tav
