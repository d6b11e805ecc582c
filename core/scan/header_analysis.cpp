#include "scan/header_analysis.hpp"

#include <optional>
#include <vector>

#include "platform/source_reader.hpp"
#include "scan/use_window_tracker.hpp"

namespace tav {

namespace {

// One read window: w counted from the base in sectors, p inside it.
struct WindowPos {
    std::int64_t w = 0;
    std::int64_t p = 0;
};

WindowPos PlaceWindow(const ScanGeometry& g, std::int64_t step, std::int64_t absolute) {
    WindowPos pos;
    pos.w = (absolute / kSectorBytes - g.base) / step * step;
    pos.p = absolute - (g.base + pos.w) * kSectorBytes;
    return pos;
}

class HeaderWalk {
  public:
    HeaderWalk(const SourceReader& source, const TDiskInfo& info, const ScanGeometry& g,
               const FreeSpaceRegion& region, const HeaderRequest& request,
               WorkerReporter& reporter)
        : source_(source), info_(info), g_(g), request_(request), reporter_(reporter) {
        if (request.check_free_space) tracker_.emplace(source, region, info, g);
        buffer_.resize(kReadBytes);
    }

    HeaderInfo run() {
        HeaderInfo result;
        result.EndOffset = request_.header_start;
        WindowPos pos = PlaceWindow(g_, request_.step, request_.header_start);
        if (!ensure_window(request_.header_start)) return result;
        while (g_.base + pos.w < g_.range_end) {
            const std::int64_t window_start = (g_.base + pos.w) * kSectorBytes;
            source_.read_at(window_start, buffer_);
            // Checked once per read window, for the atom it is entered at.
            if (tracker_ && tracker_->in_use(g_.cluster_of_byte(window_start + pos.p)))
                return result;
            if (WalkWindow(ByteView(buffer_), window_start, pos.p, result,
                           request_.large_file_only) == WalkOutcome::End)
                return result;
            const std::int64_t next = window_start + pos.p;
            pos = PlaceWindow(g_, request_.step, next);
            if (g_.base + pos.w >= g_.range_end) return result;
            if (!ensure_window(next)) return result;
        }
        return result;
    }

  private:
    // Loads the use window holding the atom at `absolute`, when checking
    // free space; false (after telling the user) when it cannot be loaded.
    bool ensure_window(std::int64_t absolute) {
        if (!tracker_) return true;
        if (tracker_->ensure(g_.cluster_of_byte(absolute))) return true;
        reporter_.message_box(WindowLoadFailureMessage(info_));
        return false;
    }

    const SourceReader& source_;
    const TDiskInfo& info_;
    const ScanGeometry& g_;
    const HeaderRequest& request_;
    WorkerReporter& reporter_;
    std::optional<UseWindowTracker> tracker_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace

HeaderInfo AnalyzeHeader(const SourceReader& source, const TDiskInfo& info,
                         const ScanGeometry& geometry, const FreeSpaceRegion& region,
                         const HeaderRequest& request, WorkerReporter& reporter) {
    return HeaderWalk(source, info, geometry, region, request, reporter).run();
}

}  // namespace tav
