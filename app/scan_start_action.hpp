#pragma once
// Next on the source step: checks the selection, offers to go on from the
// source's checkpoint, empties (or restores) the tables, fills the "Source:"
// field, opens the progress step, writes the log header and starts the
// scanner with a keeper of the source's checkpoint.

#include "app_context.hpp"

namespace tav::app {

void StartScan(AppContext& ctx, QWidget* owner);

}  // namespace tav::app
