#include "platform/disk_registry.hpp"

namespace tav {

void DiskRegistry::record(const std::vector<DiskEntry>& disks) {
    std::lock_guard lock(mutex_);
    devices_.clear();
    for (const DiskEntry& d : disks) devices_[d.number] = d.device;
}

std::optional<std::string> DiskRegistry::device_of(int number) const {
    std::lock_guard lock(mutex_);
    const auto it = devices_.find(number);
    if (it == devices_.end()) return std::nullopt;
    return it->second;
}

bool DiskRegistry::empty() const {
    std::lock_guard lock(mutex_);
    return devices_.empty();
}

DiskRegistry& DiskRegistry::listed() {
    static DiskRegistry registry;
    return registry;
}

}  // namespace tav
