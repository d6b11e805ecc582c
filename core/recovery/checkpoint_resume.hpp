#pragma once
// Starting a scan that keeps a checkpoint, and taking one up again: what
// the checkpoint records of the source and the settings, and whether a
// source is the medium it was taken of. Going on with another card would
// mix its finds with the first card's rows.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "platform/source_reader.hpp"
#include "scan/scan_checkpoint.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_start.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

// The identity a checkpoint records for a source.
SourceIdentity IdentifySource(const SourceReader& whole, const std::string& path, int partition,
                              std::int64_t volume_offset);

// Why the source is not the checkpoint's medium (for the user); nothing
// when it is: the same size, the same first, boot and last sectors, and
// the start regions found so far still where they were found.
std::optional<std::string> CheckpointMismatch(const ScanCheckpoint& checkpoint,
                                              const SourceReader& whole,
                                              std::int64_t volume_offset);

// The head of a new scan's checkpoint (no rows, the sweep at its start):
// reads the source's identity. An error text when the source cannot be opened.
std::expected<ScanCheckpoint, std::string> StartCheckpoint(const SourceSelection& selection,
                                                           const ScanSettings& settings,
                                                           const ScanStartPlan& plan,
                                                           const TableSet& fields);

std::expected<ScanCheckpoint, std::string> LoadCheckpoint(const std::string& path);

// The settings a checkpoint's scan ran with.
void ApplyCheckpointSettings(const CheckpointSettings& saved, ScanSettings& settings);

// Why the chosen source cannot go on from the checkpoint (another medium,
// or one measured otherwise); nothing when it can.
std::optional<std::string> ResumeMismatch(const ScanCheckpoint& checkpoint,
                                          const SourceSelection& selection,
                                          const ScanStartPlan& plan);

// The tables as the checkpoint left them: its rows, the selection's source.
void RestoreCheckpointTables(const ScanCheckpoint& checkpoint, const std::string& source_field,
                             ScanTables& tables);

// The tables a scan starts with: as the checkpoint it goes on from left
// them, else empty with the source and the settings' file type.
void BeginScanTables(const ScanCheckpoint* resumed, const std::string& source_field,
                     const ScanSettings& settings, ScanTables& tables);

// The head of the checkpoint a scan keeps at path: the one it goes on from,
// else a new one (StartCheckpoint); the folder that holds path is made.
std::expected<ScanCheckpoint, std::string> CheckpointHeadFor(
    const std::string& path, const ScanCheckpoint* resumed, const SourceSelection& selection,
    const ScanSettings& settings, const ScanStartPlan& plan, const ScanTables& tables);

}  // namespace tav
