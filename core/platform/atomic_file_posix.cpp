#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.hpp"

namespace tav {

namespace {

std::unexpected<std::string> Failure() {
    return std::unexpected(std::string(std::strerror(errno)));
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The rename itself is made durable by flushing the folder that holds it.
void FlushFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::expected<void, std::string> ReplaceFileAtomically(const std::string& path,
                                                       std::string_view bytes) {
    const std::string temporary = TemporaryFileFor(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Failure();
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
        const auto failure = Failure();
        ::close(fd);
        ::unlink(temporary.c_str());
        return failure;
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const auto failure = Failure();
        ::unlink(temporary.c_str());
        return failure;
    }
    FlushFolderOf(path);
    return {};
}

}  // namespace tav
