#include <cstdlib>

#include "platform/user_data_folder.hpp"

namespace tav {

std::string UserDataFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return std::string(data) + "/tavorine-mov";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/tavorine-mov";
    return {};
}

}  // namespace tav
