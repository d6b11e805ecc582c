#pragma once
// What a running scan has found and where it stands, kept in a file so that
// a scan cut short (a crash, a power cut, a reader pulled out, the user's
// stop) goes on where it was instead of from sector 0. Pure: the text form
// and back; writing it safely is CheckpointKeeper's job.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_range.hpp"
#include "scan/scan_tables.hpp"

namespace tav {

// The sector loop's reader: what failed, what it passed over, how far it
// jumps next.
struct ScanReaderMemory {
    std::vector<ByteRange> unreadable;
    std::vector<ByteRange> passed_over;
    ByteRange jump_area;
    std::int64_t next_jump = 0;
    bool revisiting = false;
    std::int64_t bytes_read = 0;
    bool operator==(const ScanReaderMemory&) const = default;
};

// A place the sector loop can be taken up again from: the start of a read
// block, with everything the loop carries from one block to the next.
struct SweepState {
    enum class Phase : int {
        Sweep = 0,  // reading the range from w on
        Again = 1,  // scanning the areas in `again` once more, the first from w on
        Done = 2,   // the sector loop is over; the analysis is still to run
    };
    Phase phase = Phase::Sweep;
    std::int64_t w = 0;  // read position, sectors from the base
    std::optional<std::int64_t> resume_index;
    // Absolute sector before which no file may start: the rest of the
    // cluster a start region was found in.
    std::int64_t starts_from = 0;
    std::int64_t fragment_count = 0;  // rows recorded so far
    std::int64_t video_count = 0;
    double gauge = 0.0;  // a scaled gauge's accumulated position
    ScanReaderMemory reader;
    std::vector<ByteRange> again;
    bool operator==(const SweepState&) const = default;
};

// Which medium was scanned: enough to refuse another one on resume.
struct SourceIdentity {
    std::string path;
    int partition = 0;  // 0: the source itself
    std::int64_t size = -1;
    std::string fingerprint;  // SourceFingerprint
    bool operator==(const SourceIdentity&) const = default;
};

// How the scan was asked for, so that a resume scans the same way.
struct CheckpointSettings {
    int scan_mode = 0;
    int format_scheme = 0;
    bool tagged_only = false;
    bool large_only = false;
    int scan_kind = 0;
    int scan_all_space = 0;
    bool operator==(const CheckpointSettings&) const = default;
};

struct ScanCheckpoint {
    SourceIdentity source;
    CheckpointSettings settings;
    std::string source_field;  // the tables' "Source:" text
    std::string file_type;
    SweepState sweep;
    std::vector<TableRow> fragments;  // exactly sweep.fragment_count rows
    bool operator==(const ScanCheckpoint&) const = default;
};

// The file's text up to its rows, and one row's line: the keeper writes
// rows it has encoded once again and again without encoding them anew.
std::string EncodeCheckpointHead(const ScanCheckpoint& checkpoint);
std::string EncodeCheckpointRow(const TableRow& row);
// The closing line over everything before it.
std::string EncodeCheckpointEnd(std::string_view before);

std::string EncodeCheckpoint(const ScanCheckpoint& checkpoint);

// The file name a source's checkpoint has in a folder of them: one per
// source path and partition.
std::string CheckpointFileName(const std::string& source_path, int partition);

// Refuses a file cut short, altered, or of another kind: every field is
// checked before anything is returned.
std::expected<ScanCheckpoint, std::string> DecodeCheckpoint(std::string_view text);

}  // namespace tav
