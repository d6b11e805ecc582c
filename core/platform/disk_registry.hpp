#pragma once
// Which device each listed disk number stands for. The source step shows a
// disk by its number only; the scan must open the disk that was listed under
// that number, even if disks came or went since. The last listing wins.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/source_list.hpp"

namespace tav {

class DiskRegistry {
  public:
    void record(const std::vector<DiskEntry>& disks);
    std::optional<std::string> device_of(int number) const;
    bool empty() const;

    // The one registry that ListDisks() fills and the selection reads.
    static DiskRegistry& listed();

  private:
    mutable std::mutex mutex_;
    std::map<int, std::string> devices_;
};

}  // namespace tav
