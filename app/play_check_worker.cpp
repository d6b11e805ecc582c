#include "play_check_worker.hpp"

#include <utility>

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
    std::size_t cursor = 0;
    bool told_all = true;  // of the empty list, before the first reading
    for (;;) {
        std::optional<RebuiltFiles> relist;
        std::optional<std::string> wanted;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] {
                return quit_ || relist_ || preferred_ || !told_all ||
                       cursor < list_.tables.results.row_count();
            });
            if (quit_) return;
            if (std::exchange(relist_, false)) relist = std::move(next_rebuilt_);
            wanted = std::exchange(preferred_, std::nullopt);
        }
        if (relist) {
            read_list(std::move(*relist));
            cursor = 0;
            handled_.clear();
            told_all = false;
        }
        const TextTable& results = list_.tables.results;
        std::optional<std::size_t> row;
        if (wanted) row = RowOf(results, *wanted);
        if (!row && cursor < results.row_count()) row = cursor++;
        if (row) {
            check_row(*row);
        } else if (!told_all) {
            told_all = true;
            reporter_.all_checked(results.row_count());
        }
    }
}

void PlayCheckWorker::read_list(RebuiltFiles rebuilt) {
    TableSet fresh = tables_.snapshot();
    // A tick or another order names the same files: the plans made stay
    // (each costs a search of the output list).
    const bool same =
        fresh.source_field == list_.tables.source_field && fresh.outputs == list_.tables.outputs &&
        fresh.fragments == list_.tables.fragments && SameHeaders(rebuilt, list_.rebuilt);
    if (!same) list_.rows.clear();
    list_.tables = std::move(fresh);
    list_.rebuilt = std::move(rebuilt);
}

const PlayCheckWorker::KnownRow& PlayCheckWorker::plan_row(std::size_t row) {
    const TextTable& results = list_.tables.results;
    const std::string& count = results.cell(row, resc::FragmentCount);
    const std::string& quality = results.cell(row, resc::Quality);
    auto [at, fresh] = list_.rows.try_emplace(results.cell(row, resc::Number));
    KnownRow& known = at->second;
    if (fresh || known.fragment_count != count || known.quality != quality) {
        known = KnownRow{count, quality, std::nullopt, {}};
        if (auto planned =
                PlanListRow(list_.tables, results, row, kResultColumns, &list_.rebuilt)) {
            known.key = PlanKey(*planned);
            known.planned = std::move(*planned);
        }
    }
    return known;
}

void PlayCheckWorker::check_row(std::size_t row) {
    const std::string number = list_.tables.results.cell(row, resc::Number);
    if (!handled_.insert(number).second) return;
    const KnownRow& known = plan_row(row);
    // A row that names no file is told so by the views themselves.
    if (!known.planned || done_.contains(known.key)) return;
    const std::string key = known.key;
    reporter_.checking(number, key, handled_.size(), list_.tables.results.row_count());
    const CheckOutcome outcome =
        verify_(known.planned->source_path, known.planned->plan, {&stop_, others_busy_, {}});
    if (stop_ != 0 || (outcome && outcome->end == preview::VerifyEnd::Stopped)) {
        handled_.erase(number);
        reporter_.dropped(key);
        return;
    }
    if (Lasting(outcome)) done_.insert(key);
    reporter_.checked(number, key, outcome);
}

}  // namespace tav::app
