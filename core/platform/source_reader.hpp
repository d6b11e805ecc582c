#pragma once
// Read-only access to a source: a volume, a whole disk or an image file.
// Every reader of the medium opens its own SourceReader; handles are never
// shared between threads. The source is only ever opened for reading, with
// read and write sharing so that a mounted volume can be read too.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>

namespace tav {

// Why a source could not be opened, in words the user can act on.
struct OpenError {
    std::string path;
    int code = 0;        // errno on POSIX, GetLastError() on Windows
    std::string reason;  // the system's text for code
};

class SourceReader {
  public:
    static std::expected<SourceReader, OpenError> open(const std::string& path);

    SourceReader(SourceReader&& other) noexcept;
    SourceReader& operator=(SourceReader&& other) noexcept;
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;
    ~SourceReader();

    // Fills buf with the bytes at the 64-bit byte offset. The buffer is zeroed
    // first: whatever cannot be read (past the end, a read error) stays zero,
    // so callers always get a whole block. Returns the count actually read.
    std::size_t read_at(std::int64_t offset, std::span<std::uint8_t> buf) const;

    // Size in bytes: file size for an image, device size for a block device;
    // -1 when the platform cannot tell.
    std::int64_t size() const;

    const std::string& path() const { return path_; }

  private:
    SourceReader(std::intptr_t handle, std::string path)
        : handle_(handle), path_(std::move(path)) {}
    void close();

    std::intptr_t handle_ = -1;
    std::string path_;
};

}  // namespace tav
