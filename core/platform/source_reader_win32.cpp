// Windows: CreateFileA for reading with read and write sharing, so that a
// mounted volume can be read; ReadFile at an offset given in an
// OVERLAPPED. Volumes and disks only accept whole-sector reads, which
// every caller issues.

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "platform/source_reader.hpp"

namespace tav {
namespace {

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

class Win32Device : public SourceDevice {
  public:
    explicit Win32Device(HANDLE h) : h_(h) {}
    ~Win32Device() override { ::CloseHandle(h_); }
    Win32Device(const Win32Device&) = delete;
    Win32Device& operator=(const Win32Device&) = delete;

    // Positioned reads (the offset rides in an OVERLAPPED on a synchronous
    // handle): no shared file pointer, so two threads may read at once.
    DeviceRead read(std::int64_t offset, std::span<std::uint8_t> buf) const override {
        DeviceRead r;
        while (r.bytes < buf.size()) {
            const std::size_t left = buf.size() - r.bytes;
            const DWORD want = left > kMaxReadChunk ? kMaxReadChunk : static_cast<DWORD>(left);
            const auto at = static_cast<std::uint64_t>(offset) + r.bytes;
            OVERLAPPED position{};
            position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
            position.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD got = 0;
            if (!::ReadFile(h_, buf.data() + r.bytes, want, &got, &position)) {
                const DWORD err = ::GetLastError();
                // Past the end of a volume or disk reads fail with these.
                if (err != ERROR_HANDLE_EOF && err != ERROR_SECTOR_NOT_FOUND)
                    r.error = static_cast<int>(err);
                break;
            }
            if (got == 0) break;
            r.bytes += got;
        }
        return r;
    }

    std::int64_t size() const override {
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        if (::DeviceIoControl(h_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                              &returned, nullptr))
            return length.Length.QuadPart;
        LARGE_INTEGER file_size{};
        if (::GetFileSizeEx(h_, &file_size)) return file_size.QuadPart;
        return -1;
    }

    std::int64_t sector_bytes() const override {
        DISK_GEOMETRY geometry{};
        DWORD returned = 0;
        if (::DeviceIoControl(h_, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                              sizeof geometry, &returned, nullptr) &&
            geometry.BytesPerSector >= 512 && geometry.BytesPerSector <= 65536)
            return geometry.BytesPerSector;
        return 512;
    }

  private:
    HANDLE h_;
};

}  // namespace

std::expected<SourceReader, OpenError> SourceReader::open(const std::string& path) {
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        return std::unexpected(OpenError{path, static_cast<int>(err), SystemText(err)});
    }
    // Files, volumes and disks are FILE_TYPE_DISK; NUL, consoles, ports and
    // pipes would be read without end.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return std::unexpected(OpenError{path, ERROR_BAD_DEVICE, "既不是镜像文件也不是块设备"});
    }
    return SourceReader(std::make_unique<Win32Device>(h), path);
}

bool ReadErrorMeansGone(int error) {
    // Not in every SDK's headers.
    constexpr DWORD kNoSuchDevice = 433;
    // What a volume or disk handle answers once its reader was pulled out
    // (or its card taken out of the reader).
    switch (static_cast<DWORD>(error)) {
        case ERROR_DEVICE_NOT_CONNECTED:
        case kNoSuchDevice:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_NOT_READY:
        case ERROR_FILE_INVALID:
        case ERROR_DEVICE_REMOVED:
            return true;
        default:
            return false;
    }
}

}  // namespace tav
