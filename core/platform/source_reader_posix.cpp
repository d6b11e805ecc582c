#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif

#include <cerrno>
#include <cstring>

#include "platform/source_reader.hpp"

namespace tav {

std::expected<SourceReader, OpenError> SourceReader::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return std::unexpected(OpenError{path, err, std::strerror(err)});
    }
    // A folder opens read-only on POSIX but has no bytes to scan.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::unexpected(OpenError{path, EISDIR, std::strerror(EISDIR)});
    }
    return SourceReader(fd, path);
}

void SourceReader::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

std::size_t SourceReader::read_at(std::int64_t offset, std::span<std::uint8_t> buf) const {
    std::memset(buf.data(), 0, buf.size());
    if (handle_ < 0 || offset < 0) return 0;
    std::size_t done = 0;
    while (done < buf.size()) {
        const ssize_t n = ::pread(static_cast<int>(handle_), buf.data() + done, buf.size() - done,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // end of medium or a read error: the rest stays zero
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t SourceReader::size() const {
    struct stat st {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
    if (S_ISREG(st.st_mode)) return st.st_size;
#ifdef __linux__
    if (S_ISBLK(st.st_mode)) {
        std::uint64_t bytes = 0;
        if (::ioctl(static_cast<int>(handle_), BLKGETSIZE64, &bytes) == 0)
            return static_cast<std::int64_t>(bytes);
    }
#endif
    const off_t end = ::lseek(static_cast<int>(handle_), 0, SEEK_END);
    return end < 0 ? -1 : static_cast<std::int64_t>(end);
}

}  // namespace tav
