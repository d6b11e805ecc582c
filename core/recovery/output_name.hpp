#pragma once
// The name of a recovered file: "VYR-" + 编号 + "-" + 帧数 + "-" + date +
// ".mov", the date's ":" turned into "-". Cell texts may come from a damaged
// card or an edited scan-result file, so every part is made safe: the name
// never holds a path separator, "..", a control character or a character
// that Windows forbids, and it stays within common name-length limits.

#include <filesystem>
#include <string>
#include <string_view>

namespace tav {

// extension: ".mov", ".mp4", ... as the file's brand gives it.
std::string MakeOutputName(std::string_view number, std::string_view frames,
                           std::string_view shoot_date, std::string_view extension = ".mov");

// Where a file of that name goes in the folder without replacing anything
// there: the name itself, else "name (2).mov", "name (3).mov", ... After
// kMostNameTries names the last one is answered (its creation then fails).
inline constexpr int kMostNameTries = 10000;
std::filesystem::path FreeOutputPath(const std::filesystem::path& folder, const std::string& name);

// One name component with every unsafe character replaced by "_".
std::string SafeNamePart(std::string_view text, std::size_t max_bytes);

}  // namespace tav
