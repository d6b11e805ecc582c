#include <windows.h>

#include "common/utf8_path.hpp"
#include "platform/atomic_file.hpp"

namespace tav {

namespace {

std::unexpected<std::string> Failure() {
    return std::unexpected("system error " + std::to_string(::GetLastError()));
}

}  // namespace

std::expected<void, std::string> ReplaceFileAtomically(const std::string& path,
                                                       std::string_view bytes) {
    const std::wstring target = PathFromUtf8(path).wstring();
    const std::wstring temporary = PathFromUtf8(TemporaryFileFor(path)).wstring();
    HANDLE h = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Failure();
    bool ok = true;
    while (ok && !bytes.empty()) {
        const DWORD want =
            bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        ok = ::WriteFile(h, bytes.data(), want, &written, nullptr) && written > 0;
        bytes.remove_prefix(written);
    }
    ok = ok && ::FlushFileBuffers(h);
    const auto failure = ok ? std::unexpected<std::string>(std::string()) : Failure();
    ::CloseHandle(h);
    if (!ok) {
        ::DeleteFileW(temporary.c_str());
        return failure;
    }
    if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const auto moved = Failure();
        ::DeleteFileW(temporary.c_str());
        return moved;
    }
    return {};
}

}  // namespace tav
