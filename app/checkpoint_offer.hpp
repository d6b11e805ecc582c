#pragma once
// The wizard's scan checkpoints: one file per source in the user's data
// folder. On Next, a source that has one of this very medium is offered to
// go on from it.

#include <optional>
#include <string>

#include "app_context.hpp"
#include "scan/scan_checkpoint.hpp"

namespace tav::app {

// The chosen source's checkpoint file; empty when scans keep none.
std::string CheckpointPathOf(const AppContext& ctx);

// The checkpoint to go on from, when the file at path is one of the chosen
// medium and the user accepts. A declined or damaged one is removed; one of
// another medium is left to the new scan, whose checkpoint replaces it.
std::optional<ScanCheckpoint> OfferResume(AppContext& ctx, QWidget* owner, const std::string& path);

// The question: how far the scan came and what it found.
std::string ResumeQuestion(const ScanCheckpoint& checkpoint, const TDiskInfo& disk);

}  // namespace tav::app
