#pragma once
// The terminal as a WorkerReporter: log lines to a stream, one progress line
// on stderr (percent, bytes, speed, time left, videos found) redrawn a few
// times a second, message boxes as "caption: text" on stderr answered with
// their default button.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "common/progress_meter.hpp"
#include "common/reporter.hpp"

namespace tav::cli {

class CliReporter : public WorkerReporter {
  public:
    // log_out: stdout normally, stderr when stdout carries a JSON document.
    CliReporter(std::ostream& log_out, bool progress_bar);

    // The bytes the gauge's full range stands for.
    void set_total_bytes(std::int64_t bytes);
    // From here on the line shows the save: the file being written and the
    // total, from save_progress.
    void begin_save();
    // Elapsed time and average speed over the bytes the gauge covered.
    const ProgressMeter& meter() const { return meter_; }

    void log_line(const std::string& line) override;
    void gauge_range(std::int64_t minimum, std::int64_t maximum) override;
    void gauge_position(std::int64_t position) override;
    void status_text(int panel, const std::string& text) override;
    MsgAnswer message_box(const UserMessage& message) override;
    void table_changed(TableId) override {}
    void show_results() override;
    void videos_found(std::int64_t count) override;
    void save_progress(const SaveProgress& progress) override;

    // The last message box shown, for a caller that reports why a run ended.
    std::string last_message() const;
    bool results_shown() const;

  private:
    void draw_bar(bool force = false);  // with the lock held
    void clear_bar();
    double seconds() const;

    std::ostream& log_out_;
    const bool progress_bar_;
    mutable std::mutex mutex_;
    std::int64_t minimum_ = 0, maximum_ = 0, position_ = 0;
    bool bar_visible_ = false;
    double drawn_at_ = -1.0;
    std::int64_t found_ = -1;  // -1: not a scan
    bool saving_ = false;
    SaveProgress save_;
    ProgressMeter meter_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::string status_;
    std::string last_message_;
    bool results_shown_ = false;
};

// True when stderr is a terminal.
bool StderrIsTerminal();

}  // namespace tav::cli
