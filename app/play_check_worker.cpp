#include "play_check_worker.hpp"

#include <utility>

#include "planned_row.hpp"

namespace tav::app {

namespace {

// A missing decoder or a source that cannot be opened now says nothing
// about the file: it is tried again when the list is next read.
bool Lasting(const CheckOutcome& outcome) {
    if (outcome) return true;
    const auto kind = outcome.error().kind;
    return kind != preview::PreviewFailure::NoDecoder &&
           kind != preview::PreviewFailure::SourceUnreadable;
}

std::optional<std::size_t> RowOf(const TextTable& results, const std::string& number) {
    for (std::size_t r = 0; r < results.row_count(); ++r)
        if (results.cell(r, resc::Number) == number) return r;
    return std::nullopt;
}

}  // namespace

PlayCheckWorker::PlayCheckWorker(ScanTables& tables, PlayCheckReporter& reporter,
                                 RowVerifier verify, std::function<bool()> others_busy)
    : tables_(tables),
      reporter_(reporter),
      verify_(std::move(verify)),
      others_busy_(std::move(others_busy)) {}

void PlayCheckWorker::check_list(RebuiltFiles rebuilt) {
    {
        const std::lock_guard lock(mutex_);
        relist_ = true;
        next_rebuilt_ = std::move(rebuilt);
    }
    if (thread_.running())
        wake_.notify_all();
    else
        thread_.start([this] { run(); });
}

void PlayCheckWorker::prefer(std::string number) {
    {
        const std::lock_guard lock(mutex_);
        preferred_ = std::move(number);
    }
    wake_.notify_all();
}

void PlayCheckWorker::stop() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    stop_ = 1;
    wake_.notify_all();
    thread_.join();
    const std::lock_guard lock(mutex_);
    quit_ = false;
    relist_ = false;
    preferred_.reset();
    stop_ = 0;
}

void PlayCheckWorker::run() {
    TableSet list;
    RebuiltFiles rebuilt;
    std::size_t cursor = 0;
    bool told_all = true;  // of the empty list, before the first reading
    for (;;) {
        bool relist = false;
        std::optional<std::string> wanted;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] {
                return quit_ || relist_ || preferred_ || !told_all ||
                       cursor < list.results.row_count();
            });
            if (quit_) return;
            relist = std::exchange(relist_, false);
            if (relist) rebuilt = std::move(next_rebuilt_);
            wanted = std::exchange(preferred_, std::nullopt);
        }
        if (relist) {
            list = tables_.snapshot();
            cursor = 0;
            handled_.clear();
            told_all = false;
        }
        std::optional<std::size_t> row;
        if (wanted) row = RowOf(list.results, *wanted);
        if (!row && cursor < list.results.row_count()) row = cursor++;
        if (row) {
            check_row(list, rebuilt, *row);
        } else if (!told_all) {
            told_all = true;
            reporter_.all_checked(list.results.row_count());
        }
    }
}

void PlayCheckWorker::check_row(const TableSet& list, const RebuiltFiles& rebuilt,
                                std::size_t row) {
    const std::string number = list.results.cell(row, resc::Number);
    if (!handled_.insert(number).second) return;
    // A row that names no file is told so by the views themselves.
    const auto planned = PlanListRow(list, list.results, row, kResultColumns, &rebuilt);
    if (!planned) return;
    const std::string key = PlanKey(*planned);
    if (done_.contains(key)) return;
    reporter_.checking(number, key, handled_.size(), list.results.row_count());
    const CheckOutcome outcome =
        verify_(planned->source_path, planned->plan, {&stop_, others_busy_, {}});
    if (stop_ != 0 || (outcome && outcome->end == preview::VerifyEnd::Stopped)) {
        handled_.erase(number);
        reporter_.dropped(key);
        return;
    }
    if (Lasting(outcome)) done_.insert(key);
    reporter_.checked(number, key, outcome);
}

}  // namespace tav::app
