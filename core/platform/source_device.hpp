#pragma once
// The one thing a platform provides for reading a source: positioned reads
// and a size. SourceReader builds retries and zero-filling on top; tests put
// a device here that fails chosen sectors or returns short reads.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tav {

struct DeviceRead {
    std::size_t bytes = 0;  // bytes placed at the start of the buffer
    int error = 0;          // nonzero: the read failed at offset + bytes
};

class SourceDevice {
  public:
    virtual ~SourceDevice() = default;
    // Reads into buf. Fewer bytes with no error may be a short read (the
    // caller asks again for the rest) and no bytes the end of the medium; an
    // error means the byte at offset + bytes is unreadable (or lies in an
    // unreadable piece).
    virtual DeviceRead read(std::int64_t offset, std::span<std::uint8_t> buf) const = 0;
    virtual std::int64_t size() const = 0;  // -1 when unknown
    virtual std::int64_t sector_bytes() const { return 512; }
    // Whether the medium opened is still attached: a card reader pulled out
    // makes reads fail with EIO while its device node disappears.
    virtual bool present() const { return true; }
};

// Whether a read error says the medium is gone rather than a sector bad
// (ENODEV, ENXIO, ENOMEDIUM, ENOTCONN; on Windows the not-connected,
// no-such-device and not-ready codes).
bool ReadErrorMeansGone(int error);

}  // namespace tav
