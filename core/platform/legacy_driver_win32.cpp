// The INT13EXT driver of Windows outside the NT family: opened with
// delete-on-close to load it, deleted by name at exit to unload it.

#include <windows.h>

#include "platform/legacy_driver.hpp"

namespace tav {

// GetVersionExA is deprecated, but it is how the platform family is told.
#ifdef _MSC_VER
#pragma warning(push)
#pragma warning(disable : 4996)
#endif
bool OutsideNtFamily() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExA(&version)) return false;
    return version.dwPlatformId != VER_PLATFORM_WIN32_NT;
}
#ifdef _MSC_VER
#pragma warning(pop)
#endif

std::expected<LegacyDriver, UserMessage> LegacyDriver::Load() {
    if (!OutsideNtFamily()) return LegacyDriver(-1);
    const HANDLE h =
        ::CreateFileA("\\\\.\\INT13EXT.VXD", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::unexpected(UserMessage{"Error", "Error loading \"INT13EXT.VXD\"",
                                           MsgIcon::Warning, MsgButtons::Ok});
    return LegacyDriver(reinterpret_cast<std::intptr_t>(h));
}

LegacyDriver::LegacyDriver(LegacyDriver&& other) noexcept : handle_(other.handle_) {
    other.handle_ = -1;
}

LegacyDriver::~LegacyDriver() {
    if (handle_ == -1) return;
    ::DeleteFileA("\\\\.\\INT13EXT");
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace tav
