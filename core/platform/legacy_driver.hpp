#pragma once
// Windows outside the NT family reads sectors through the INT13EXT driver,
// loaded for the life of the program. Built on Windows only; the program
// holds one LegacyDriver from start-up to exit.

#include <cstdint>
#include <expected>

#include "common/reporter.hpp"

namespace tav {

class LegacyDriver {
  public:
    // On NT-family systems nothing is loaded and the object is inert. On
    // failure: the message to show before the program ends.
    static std::expected<LegacyDriver, UserMessage> Load();

    LegacyDriver(LegacyDriver&& other) noexcept;
    LegacyDriver& operator=(LegacyDriver&&) = delete;
    LegacyDriver(const LegacyDriver&) = delete;
    LegacyDriver& operator=(const LegacyDriver&) = delete;
    ~LegacyDriver();  // unloads a loaded driver

    bool loaded() const { return handle_ != -1; }

  private:
    explicit LegacyDriver(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_ = -1;
};

// True on Windows outside the NT family, where no physical disks are listed.
bool OutsideNtFamily();

}  // namespace tav
