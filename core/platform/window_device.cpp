#include "platform/window_device.hpp"

#include <algorithm>

namespace tav {

WindowDevice::WindowDevice(std::unique_ptr<SourceDevice> inner, std::int64_t offset,
                           std::int64_t length)
    : inner_(std::move(inner)), offset_(std::max<std::int64_t>(offset, 0)), length_(0) {
    if (!inner_) return;
    const std::int64_t inner_size = inner_->size();
    length_ = std::max<std::int64_t>(length, 0);
    if (inner_size >= 0) length_ = std::clamp<std::int64_t>(inner_size - offset_, 0, length_);
}

DeviceRead WindowDevice::read(std::int64_t offset, std::span<std::uint8_t> buf) const {
    if (!inner_ || offset < 0 || offset >= length_) return {};
    const auto room = static_cast<std::size_t>(length_ - offset);
    return inner_->read(offset_ + offset, buf.first(std::min(buf.size(), room)));
}

}  // namespace tav
