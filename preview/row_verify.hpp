#pragma once
// The play check of one listed video: the file a save would write for it,
// read in place from the source in file order (nothing written, no copy),
// decoded from end to end by the decoder module. Opens its own reader, so it
// may run on any thread.

#include <expected>
#include <functional>
#include <string>

#include "platform/source_reader.hpp"
#include "preview_result.hpp"
#include "recovery/row_plan.hpp"
#include "scan/scan_settings.hpp"
#include "verification.hpp"

namespace tav::preview {

struct VerifyOptions {
    const StopFlag* stop = nullptr;  // any value other than 0 stops it
    // Set when the check runs beside the program's other work (the wizard):
    // it then runs at low priority on a thread of its own, and while this
    // answers true (a scan or a save runs) its reads are paced so that they
    // take a small share of the medium.
    std::function<bool()> others_busy;
    VerifyLimits limits;
    SourceOpener open_source;  // for tests; empty: the real medium
};

std::expected<Verification, PreviewError> VerifyPlanned(const std::string& source_path,
                                                        const RowPlan& plan,
                                                        const VerifyOptions& options = {});

// The first-frame preview of the same file.
std::expected<Preview, PreviewError> PreviewPlanned(const std::string& source_path,
                                                    const RowPlan& plan,
                                                    const PreviewLimits& limits = {});

}  // namespace tav::preview
