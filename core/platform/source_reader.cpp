#include "platform/source_reader.hpp"

#include <utility>

namespace tav {

// Ownership of the handle is the same on every platform; only opening,
// reading and closing differ (source_reader_posix.cpp, source_reader_win32.cpp).

SourceReader::SourceReader(SourceReader&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

SourceReader& SourceReader::operator=(SourceReader&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

SourceReader::~SourceReader() {
    close();
}

}  // namespace tav
