#pragma once
// The sector loop's reads on a medium that may be dying. Failing sectors are
// lost alone (the reader retries in pieces, then sector by sector); a run of
// failures makes the pass jump ahead in growing steps instead of hammering
// the bad area, and the areas passed over are read at the end of the scan
// from their edges inward, sector by sector, so readable sectors there are
// still scanned.

#include <cstdint>
#include <span>
#include <vector>

#include "common/byte_range.hpp"
#include "platform/source_reader.hpp"
#include "scan/scan_checkpoint.hpp"

namespace tav {

class ScanReader {
  public:
    explicit ScanReader(const SourceReader& source) : source_(source) {}

    // Fills buf with the bytes at offset; zeros where the medium failed, in
    // known bad areas (never read twice) and in areas being passed over.
    void read(std::int64_t offset, std::span<std::uint8_t> buf);

    // Reads the areas passed over from both edges inward until a sector
    // fails there, then the stretch between the two failures the same way,
    // halved, until the pieces are a few sectors (read one by one) or too
    // many sectors failed (the rest is given up). Returns the readable parts, in order,
    // which the scan looks at again. Later reads try every sector and pass
    // over nothing.
    std::vector<ByteRange> revisit_passed_over();

    // Everything that could not be read or was given up, coalesced.
    const std::vector<ByteRange>& unreadable() const { return unreadable_; }
    // Bytes that came from the medium.
    std::int64_t bytes_read() const { return bytes_read_; }

    // Everything the reader carries from one read to the next, for a
    // checkpoint, and the reader as it was at one.
    ScanReaderMemory memory() const;
    void restore(const ScanReaderMemory& memory);

    // A run of this many failing sectors starts a jump; the first jump is
    // kFirstJump bytes and doubles while the failures go on.
    static constexpr int kFailureRun = 8;
    static constexpr std::int64_t kFirstJump = 65536;
    static constexpr std::int64_t kLongestJump = 256LL << 20;
    // Pieces of a failing stretch below this many sectors are read sector by
    // sector; once kMostRevisitFailures sectors failed at the end of a scan
    // the rest is given up.
    static constexpr std::int64_t kSmallestSplit = 16;
    static constexpr std::int64_t kMostRevisitFailures = 2048;

  private:
    // End of the part that can be read in one go from pos: before the next
    // known bad area or the area being passed over.
    std::int64_t plain_part_end(std::int64_t pos, std::int64_t end) const;
    const ByteRange* bad_area_at(std::int64_t pos) const;
    void read_part(std::int64_t pos, std::span<std::uint8_t> part, std::int64_t& next);
    void revisit(const ByteRange& area, std::vector<ByteRange>& work,
                 std::vector<ByteRange>& readable);
    std::int64_t trim_forward(const ByteRange& area);
    std::int64_t trim_backward(std::int64_t from, std::int64_t to);

    const SourceReader& source_;
    std::vector<ByteRange> unreadable_;
    std::vector<ByteRange> passed_over_;
    ByteRange jump_area_;  // reads inside it are passed over
    std::int64_t next_jump_ = kFirstJump;
    bool revisiting_ = false;
    std::int64_t bytes_read_ = 0;
};

}  // namespace tav
