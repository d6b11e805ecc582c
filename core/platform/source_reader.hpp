#pragma once
// Read-only access to a source: a volume, a whole disk or an image file.
// Every reader of the medium opens its own SourceReader; handles are never
// shared between threads. The source is only ever opened for reading, with
// read and write sharing so that a mounted volume can be read too.
//
// Reads never give up on a whole block for one bad sector: a failed read is
// retried in 64 KiB pieces, then sector by sector, so that only the sectors
// that really fail are lost. They read as zeros and are reported.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/byte_range.hpp"
#include "platform/source_device.hpp"

namespace tav {

// Why a source could not be opened, in words the user can act on.
struct OpenError {
    std::string path;
    int code = 0;        // errno on POSIX, GetLastError() on Windows
    std::string reason;  // the system's text for code
};

struct ReadOptions {
    // Stop after this many consecutive sectors failed, leaving the rest of
    // the request untried (zeros); 0 tries every sector. A dying card gets
    // worse with every failing read, so sequential scans pass over bad areas
    // and come back to them later.
    int give_up_after_failed_sectors = 0;
};

struct ReadReport {
    std::size_t bytes = 0;                // bytes that came from the medium
    std::vector<ByteRange> unreadable;    // tried and failed, absolute, in order, coalesced
    std::optional<std::int64_t> gave_up;  // untried from here to the end of the request
    bool end_of_medium = false;           // the request reaches past the end
    // The medium went away during the read (a reader unplugged): nothing
    // after it was tried and nothing counts as unreadable.
    bool source_gone = false;

    std::int64_t unreadable_bytes() const { return TotalLength(unreadable); }
    bool clean() const { return unreadable.empty() && !gave_up && !source_gone; }
};

class SourceReader {
  public:
    // Regular files and block devices (volumes and disks on Windows) only:
    // a character device or a pipe has no end and no sectors.
    static std::expected<SourceReader, OpenError> open(const std::string& path);

    // A reader over any device, for example one that fails chosen sectors.
    SourceReader(std::unique_ptr<SourceDevice> device, std::string path)
        : device_(std::move(device)),
          path_(std::move(path)),
          gone_(std::make_unique<std::atomic<bool>>(false)) {}

    SourceReader(SourceReader&&) noexcept = default;
    SourceReader& operator=(SourceReader&&) noexcept = default;
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;
    ~SourceReader() = default;

    // Fills buf with the bytes at the 64-bit byte offset. The buffer is zeroed
    // first: whatever cannot be read (past the end, a failing sector, an
    // untried rest) stays zero, so callers always get a whole block.
    ReadReport read_at(std::int64_t offset, std::span<std::uint8_t> buf,
                       const ReadOptions& options = {}) const;

    // Size in bytes: file size for an image, device size for a block device;
    // -1 when the platform cannot tell.
    std::int64_t size() const;
    // The smallest unit the medium reads or fails in.
    std::int64_t sector_bytes() const;

    const std::string& path() const { return path_; }

    // Set for good once a read found the medium gone; every later result
    // of this reader is zeros.
    bool gone() const { return gone_ && gone_->load(std::memory_order_relaxed); }

    // This reader narrowed to bytes [offset, offset + length) of its medium,
    // counted from 0: a partition of a whole-card image or disk.
    SourceReader into_window(std::int64_t offset, std::int64_t length) &&;

  private:
    std::unique_ptr<SourceDevice> device_;
    std::string path_;
    std::unique_ptr<std::atomic<bool>> gone_;
};

// How a worker opens its source: SourceReader::open, or in tests a device
// that fails where the test says.
using SourceOpener = std::function<std::expected<SourceReader, OpenError>(const std::string& path)>;

// The opener to use: the given one, or SourceReader::open when it is empty.
std::expected<SourceReader, OpenError> OpenSource(const SourceOpener& opener,
                                                  const std::string& path);

}  // namespace tav
