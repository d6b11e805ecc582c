#pragma once
// Next on the source step: checks the selection, empties the tables, fills
// the "Source:" field, opens the progress step, writes the log header and
// starts the scanner.

#include "app_context.hpp"

namespace tav::app {

void StartScan(AppContext& ctx, QWidget* owner);

}  // namespace tav::app
