// Windows: CreateFileA for reading with read and write sharing, so that a
// mounted volume can be read; SetFilePointer with the 64-bit offset split
// in two; ReadFile. Volumes and disks only accept whole-sector reads, which
// every caller issues.

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "platform/source_reader.hpp"

namespace tav {
namespace {

HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

std::string SystemText(DWORD code) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string out =
        (n != 0 && text != nullptr) ? std::string(text, n) : "system error " + std::to_string(code);
    if (text != nullptr) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

constexpr DWORD kMaxReadChunk = 1u << 30;

}  // namespace

std::expected<SourceReader, OpenError> SourceReader::open(const std::string& path) {
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        return std::unexpected(OpenError{path, static_cast<int>(err), SystemText(err)});
    }
    return SourceReader(reinterpret_cast<std::intptr_t>(h), path);
}

void SourceReader::close() {
    if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

std::size_t SourceReader::read_at(std::int64_t offset, std::span<std::uint8_t> buf) const {
    std::memset(buf.data(), 0, buf.size());
    if (handle_ == -1 || offset < 0) return 0;
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD low = ::SetFilePointer(AsHandle(handle_), static_cast<LONG>(offset & 0xFFFFFFFF),
                                       &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return 0;
    std::size_t done = 0;
    while (done < buf.size()) {
        const std::size_t left = buf.size() - done;
        const DWORD want = left > kMaxReadChunk ? kMaxReadChunk : static_cast<DWORD>(left);
        DWORD got = 0;
        // End of medium or a read error: the rest stays zero.
        if (!::ReadFile(AsHandle(handle_), buf.data() + done, want, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    return done;
}

std::int64_t SourceReader::size() const {
    if (handle_ == -1) return -1;
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (::DeviceIoControl(AsHandle(handle_), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                          sizeof length, &returned, nullptr))
        return length.Length.QuadPart;
    LARGE_INTEGER file_size{};
    if (::GetFileSizeEx(AsHandle(handle_), &file_size)) return file_size.QuadPart;
    return -1;
}

}  // namespace tav
