#pragma once
// The "可播放" cell of a checked video, as the results list, the expert view
// and the command line show it.

#include <expected>
#include <string>

#include "preview_result.hpp"
#include "verification.hpp"

namespace tav::preview {

inline constexpr const char* kPlayableTitle = "可播放";
inline constexpr const char* kCheckingText = "正在检查……";

// "全部 1500/1500 帧", "前 00:12:04 可播放", "无法解码", …
std::string PlayableText(const std::expected<Verification, PreviewError>& check);

// Why a row whose cells name no file the save could write has no check: a
// row graded "重建" names none until its header is rebuilt from a reference
// (after a scan-result file is loaded, say).
PreviewError UnplannedRow(bool rebuilt_row, std::string detail);

}  // namespace tav::preview
