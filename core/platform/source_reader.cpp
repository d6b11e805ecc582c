#include "platform/source_reader.hpp"

#include "platform/window_device.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tav {

namespace {

constexpr std::int64_t kRetryPieceBytes = 65536;

// One request, read whole first; a part that fails is read again in pieces
// of 64 KiB on their own grid, and a piece that fails sector by sector.
class CarefulRead {
  public:
    CarefulRead(const SourceDevice& device, const ReadOptions& options, ReadReport& report)
        : device_(device),
          options_(options),
          report_(report),
          sector_(std::max<std::int64_t>(1, device.sector_bytes())) {}

    void run(std::int64_t offset, std::span<std::uint8_t> buf) { read(offset, buf, 0); }

  private:
    enum Level { kWhole, kPieces, kSectors };

    std::int64_t unit(int level) const { return level == kPieces ? kRetryPieceBytes : sector_; }

    void read(std::int64_t offset, std::span<std::uint8_t> buf, int level) {
        std::size_t done = 0;
        while (done < buf.size()) {
            if (stopped()) {
                // Past the end of the medium, or given up: nothing was read there.
                std::memset(buf.data() + done, 0, buf.size() - done);
                return;
            }
            std::size_t len = buf.size() - done;
            const std::int64_t at = offset + static_cast<std::int64_t>(done);
            if (level != kWhole) {
                const std::int64_t grid_end = (at / unit(level) + 1) * unit(level);
                len = std::min(len, static_cast<std::size_t>(grid_end - at));
            }
            read_part(at, buf.subspan(done, len), level);
            done += len;
        }
    }

    // Reads until the part is full, the medium ends (a read that returns
    // nothing) or a read fails; short reads are simply continued.
    DeviceRead read_all(std::int64_t at, std::span<std::uint8_t> part) {
        DeviceRead total;
        while (total.bytes < part.size()) {
            const DeviceRead r = device_.read(at + static_cast<std::int64_t>(total.bytes),
                                              part.subspan(total.bytes));
            total.bytes += std::min(r.bytes, part.size() - total.bytes);
            total.error = r.error;
            if (r.error != 0 || r.bytes == 0) break;
        }
        return total;
    }

    void read_part(std::int64_t at, std::span<std::uint8_t> part, int level) {
        const DeviceRead r = read_all(at, part);
        const std::size_t got = r.bytes;
        report_.bytes += got;
        if (got > 0) failing_run_ = 0;
        if (r.error != 0 && medium_gone(r.error)) {
            report_.source_gone = true;
            std::memset(part.data() + got, 0, part.size() - got);
            return;
        }
        if (r.error == 0) {
            if (got < part.size()) {
                report_.end_of_medium = true;
                std::memset(part.data() + got, 0, part.size() - got);
            }
            return;
        }
        const auto rest = part.subspan(got);
        const std::int64_t rest_at = at + static_cast<std::int64_t>(got);
        // A failed read may have left anything in the buffer.
        std::memset(rest.data(), 0, rest.size());
        if (level == kSectors) {
            fail_sector(rest_at, static_cast<std::int64_t>(rest.size()));
            return;
        }
        // A rest within one piece gains nothing from the piece pass.
        const bool one_piece =
            rest_at / kRetryPieceBytes ==
            (rest_at + static_cast<std::int64_t>(rest.size()) - 1) / kRetryPieceBytes;
        read(rest_at, rest, level == kWhole && !one_piece ? kPieces : kSectors);
    }

    void fail_sector(std::int64_t at, std::int64_t length) {
        AddRange(report_.unreadable, {at, length});
        ++failing_run_;
        const int limit = options_.give_up_after_failed_sectors;
        if (limit > 0 && failing_run_ >= limit) report_.gave_up = at + length;
    }

    bool stopped() const {
        return report_.end_of_medium || report_.gave_up.has_value() || report_.source_gone;
    }

    // Asked once per request: a dying card fails many sectors in a row.
    bool medium_gone(int error) {
        if (ReadErrorMeansGone(error)) return true;
        if (!presence_checked_) {
            presence_checked_ = true;
            absent_ = !device_.present();
        }
        return absent_;
    }

    const SourceDevice& device_;
    const ReadOptions& options_;
    ReadReport& report_;
    const std::int64_t sector_;
    int failing_run_ = 0;
    bool presence_checked_ = false;
    bool absent_ = false;
};

}  // namespace

ReadReport SourceReader::read_at(std::int64_t offset, std::span<std::uint8_t> buf,
                                 const ReadOptions& options) const {
    ReadReport report;
    if (gone()) {
        std::memset(buf.data(), 0, buf.size());
        report.source_gone = true;
        return report;
    }
    // A negative offset is refused before the room after it is worked out.
    if (!device_ || offset < 0 || buf.empty() ||
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() - offset) <
            buf.size()) {
        std::memset(buf.data(), 0, buf.size());
        return report;
    }
    // Every byte is either read or zeroed below; clearing the whole buffer
    // first would cost a pass over it on every read.
    CarefulRead(*device_, options, report).run(offset, buf);
    if (report.source_gone) gone_->store(true, std::memory_order_relaxed);
    return report;
}

std::expected<SourceReader, OpenError> OpenSource(const SourceOpener& opener,
                                                  const std::string& path) {
    return opener ? opener(path) : SourceReader::open(path);
}

std::int64_t SourceReader::size() const {
    return device_ ? device_->size() : -1;
}

std::int64_t SourceReader::sector_bytes() const {
    return device_ ? device_->sector_bytes() : 512;
}

SourceReader SourceReader::into_window(std::int64_t offset, std::int64_t length) && {
    SourceReader window(std::make_unique<WindowDevice>(std::move(device_), offset, length),
                        std::move(path_));
    window.gone_ = std::move(gone_);
    return window;
}

}  // namespace tav
