#pragma once
// A source whose reads fail where a test says, over a real image file: the
// way a dying card answers. Reads that touch a failing range fail at its
// first byte (bytes before it are delivered, as a device does); reads can be
// made short; every read that reached a failing range is counted, so tests
// can check that a bad area is not hammered.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "common/byte_range.hpp"
#include "platform/source_reader.hpp"

namespace tav::test {

// What every handle of one medium shares: reads that come back, and
// whether the medium is still attached.
struct MediumState {
    std::atomic<std::int64_t> bytes_read{0};
    std::atomic<bool> vanished{false};
};

struct Faults {
    std::vector<ByteRange> failing;  // byte ranges that never read
    std::size_t most_per_read = 0;   // >0: no read returns more than this
    // >=0: a read touching the MiB at this offset finds the medium gone: it
    // fails with vanish_error, and so does every later read; its node
    // disappears.
    std::int64_t vanish_at = -1;
    int vanish_error = ENODEV;
    // A read reaching this offset sets *stop, as a user pressing stop there.
    std::int64_t stop_at = -1;
    std::atomic<std::uint8_t>* stop = nullptr;
};

class FaultyDevice : public SourceDevice {
  public:
    FaultyDevice(const std::string& image, Faults faults,
                 std::shared_ptr<std::atomic<int>> failed_reads,
                 std::shared_ptr<MediumState> medium = std::make_shared<MediumState>())
        : fd_(::open(image.c_str(), O_RDONLY | O_CLOEXEC)),
          faults_(std::move(faults)),
          failed_reads_(std::move(failed_reads)),
          medium_(std::move(medium)) {}
    ~FaultyDevice() override {
        if (fd_ >= 0) ::close(fd_);
    }

    DeviceRead read(std::int64_t offset, std::span<std::uint8_t> buf) const override {
        std::size_t want = buf.size();
        if (faults_.most_per_read > 0) want = std::min(want, faults_.most_per_read);
        const std::int64_t end = offset + static_cast<std::int64_t>(want);
        if (faults_.stop && faults_.stop_at >= 0 && end > faults_.stop_at) *faults_.stop = 1;
        if (faults_.vanish_at >= 0 && end > faults_.vanish_at &&
            offset < faults_.vanish_at + (1 << 20))
            medium_->vanished = true;
        if (medium_->vanished) return {0, faults_.vanish_error};
        std::int64_t first_bad = end;
        for (const ByteRange& r : faults_.failing)
            if (r.offset < end && r.end() > offset)
                first_bad = std::min(first_bad, std::max(r.offset, offset));
        const auto good = static_cast<std::size_t>(first_bad - offset);
        DeviceRead result;
        const ssize_t n = good > 0 ? ::pread(fd_, buf.data(), good, offset) : 0;
        result.bytes = n > 0 ? static_cast<std::size_t>(n) : 0;
        medium_->bytes_read += static_cast<std::int64_t>(result.bytes);
        if (first_bad < end && result.bytes == good) {
            result.error = EIO;
            ++*failed_reads_;
        }
        return result;
    }

    std::int64_t size() const override {
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        return end < 0 ? -1 : static_cast<std::int64_t>(end);
    }

    bool present() const override { return !medium_->vanished; }

  private:
    int fd_;
    Faults faults_;
    std::shared_ptr<std::atomic<int>> failed_reads_;
    std::shared_ptr<MediumState> medium_;
};

// An opener for workers: every handle they open fails the same sectors and
// counts into one counter.
struct FaultyOpener {
    Faults faults;
    std::shared_ptr<std::atomic<int>> failed_reads = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<MediumState> medium = std::make_shared<MediumState>();

    SourceOpener opener() const {
        return [faults = faults, counter = failed_reads, medium = medium](
                   const std::string& path) -> std::expected<SourceReader, OpenError> {
            if (::access(path.c_str(), R_OK) != 0)
                return std::unexpected(OpenError{path, errno, "missing"});
            return SourceReader(std::make_unique<FaultyDevice>(path, faults, counter, medium),
                                path);
        };
    }
    SourceReader open(const std::string& path) const { return std::move(*opener()(path)); }
};

// Failing single sectors (512 bytes) at these byte offsets, rounded down.
inline std::vector<ByteRange> Sectors(std::initializer_list<std::int64_t> offsets) {
    std::vector<ByteRange> out;
    for (std::int64_t at : offsets) out.push_back({at / 512 * 512, 512});
    return out;
}

}  // namespace tav::test
