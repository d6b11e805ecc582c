#pragma once
// The bytes of one file as the decoder reads them. The decoder lives in a
// module of its own (it pulls in FFmpeg), so it sees the file only through
// this interface, never the core library's types.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tav::preview {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::int64_t size() const = 0;
    // Fills buf from offset; bytes past the end are not read. Answers how
    // many bytes it filled.
    virtual std::size_t read(std::int64_t offset, std::span<std::uint8_t> buf) const = 0;
};

}  // namespace tav::preview
