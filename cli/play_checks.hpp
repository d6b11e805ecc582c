#pragma once
// `--verify`: every listed video decoded from end to end, from the file a
// save would write, before anything is written.

#include <expected>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "json_writer.hpp"
#include "preview_result.hpp"
#include "recovery/lost_headers.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_tables.hpp"
#include "verification.hpp"

namespace tav::cli {

using PlayCheck = std::expected<preview::Verification, preview::PreviewError>;

// One per results row, in list order; none for a row not asked for.
struct RowCheck {
    std::string number;  // 编号
    std::optional<PlayCheck> check;
    bool plays_fully() const { return check && *check && (*check)->plays_fully(); }
};

// Checks the rows whose 编号 is in numbers (every row when it is empty), one
// after another; a line per row on log unless it is null. A stop leaves the
// rest unchecked.
std::vector<RowCheck> CheckRows(const TableSet& tables, const RebuiltFiles* rebuilt,
                                const std::vector<std::string>& numbers, const StopFlag& stop,
                                std::ostream* log);

bool AnyStopped(const std::vector<RowCheck>& checks);

// Why no video can be checked on this system (the decoder module is not
// installed), asked before any work: a check asked for that cannot run is
// an error, not a list of videos that "do not play".
std::optional<std::string> CannotCheck();

// The "verify" object of a result (docs/json.md).
void WriteCheckJson(JsonWriter& json, const PlayCheck& check);

// The results list with a "可播放" column, for the terminal.
TextTable WithPlayableColumn(const TextTable& results, const std::vector<RowCheck>& checks);

}  // namespace tav::cli
