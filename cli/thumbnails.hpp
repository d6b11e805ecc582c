#pragma once
// `scan --thumbnails DIR`: one JPEG of each listed video's first frame, named
// like the file a save would write, with ".jpg" for ".mov".

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "recovery/lost_headers.hpp"
#include "scan/scan_tables.hpp"

namespace tav::cli {

// One per results row, in list order.
struct RowThumbnail {
    std::string number;                      // 编号
    std::optional<std::string> path;         // the JPEG written; none when there is none
    std::optional<double> duration_seconds;  // when the first frame decoded
    std::string problem;                     // why there is no JPEG, for the user
};

// Decodes every row's first frame from tables.source_field (a rebuilt row's
// with its header from rebuilt) and writes the JPEGs into folder (which
// must exist), never replacing a file there.
std::vector<RowThumbnail> WriteThumbnails(const TableSet& tables,
                                          const std::filesystem::path& folder,
                                          const RebuiltFiles* rebuilt = nullptr);

// "缩略图 3: DIR/VYR-3-….jpg (时长 00:00:01)" or "缩略图 3: 首帧无法解码", a line per row.
void PrintThumbnails(std::ostream& out, const std::vector<RowThumbnail>& thumbnails);

}  // namespace tav::cli
