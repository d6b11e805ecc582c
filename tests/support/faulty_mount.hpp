#pragma once
// An image shown through FUSE with sectors that fail with EIO, so that the
// command line meets a real read error from the kernel. Needs /dev/fuse and
// Debian's python3-fusepy; skipped() says why when they are missing.

#include <filesystem>
#include <string>
#include <vector>

#include "common/byte_range.hpp"

namespace tav::test {

class FaultyMount {
  public:
    // vanish_at >= 0: every read from the first that touches the MiB at that
    // offset on fails with ENODEV, as from a reader pulled out there.
    FaultyMount(const std::filesystem::path& image, const std::vector<ByteRange>& failing,
                const std::filesystem::path& mount_point, std::int64_t vanish_at = -1);
    ~FaultyMount();
    FaultyMount(const FaultyMount&) = delete;
    FaultyMount& operator=(const FaultyMount&) = delete;

    // The image as the failing medium; empty when the mount failed.
    std::filesystem::path card() const { return mounted_ ? mount_point_ / "card.img" : ""; }
    const std::string& skipped() const { return why_; }

  private:
    std::filesystem::path mount_point_;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace tav::test
