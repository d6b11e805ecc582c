#pragma once
// The user's own folder for what the program keeps between runs (scan
// checkpoints): never on the source being scanned.

#include <string>

namespace tav {

// UTF-8; "$XDG_DATA_HOME/tavorine-mov" (else ~/.local/share/tavorine-mov) on
// POSIX, "%LOCALAPPDATA%\tavorine-mov" on Windows. Empty when the system
// names no such place. The folder is not created.
std::string UserDataFolder();

}  // namespace tav
