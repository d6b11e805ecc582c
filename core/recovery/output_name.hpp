#pragma once
// The name of a recovered file: "VYR-" + 编号 + "-" + 帧数 + "-" + date +
// ".mov", the date's ":" turned into "-". Cell texts may come from a damaged
// card or an edited scan-result file, so every part is made safe: the name
// never holds a path separator, "..", a control character or a character
// that Windows forbids, and it stays within common name-length limits.

#include <string>
#include <string_view>

namespace tav {

std::string MakeOutputName(std::string_view number, std::string_view frames,
                           std::string_view shoot_date);

// One name component with every unsafe character replaced by "_".
std::string SafeNamePart(std::string_view text, std::size_t max_bytes);

}  // namespace tav
