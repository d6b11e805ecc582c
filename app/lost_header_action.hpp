#pragma once
// "用参考文件重建文件头" of the results step and the expert view: start
// regions no header paired, rebuilt from a reference clip the user picks
// and listed as "重建"; the save writes them with their new header.

#include <cstddef>

#include "app_context.hpp"

class QWidget;

namespace tav::app {

inline constexpr char kRebuildButtonText[] = "用参考文件重建文件头";

// Answers how many were rebuilt; tells the user what happened.
std::size_t RebuildLostHeadersAction(AppContext& ctx, QWidget* owner);

}  // namespace tav::app
