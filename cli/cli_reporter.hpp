#pragma once
// The terminal as a WorkerReporter: log lines to a stream, a progress bar on
// stderr (only when stderr is a terminal), message boxes as "caption: text"
// on stderr answered with their default button.

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "common/reporter.hpp"

namespace tav::cli {

class CliReporter : public WorkerReporter {
  public:
    // log_out: stdout normally, stderr when stdout carries a JSON document.
    CliReporter(std::ostream& log_out, bool progress_bar);

    void log_line(const std::string& line) override;
    void gauge_range(std::int64_t minimum, std::int64_t maximum) override;
    void gauge_position(std::int64_t position) override;
    void status_text(int panel, const std::string& text) override;
    MsgAnswer message_box(const UserMessage& message) override;
    void table_changed(TableId) override {}
    void show_results() override;

    // The last message box shown, for a caller that reports why a run ended.
    std::string last_message() const;
    bool results_shown() const;

  private:
    void draw_bar();  // with the lock held
    void clear_bar();

    std::ostream& log_out_;
    const bool progress_bar_;
    mutable std::mutex mutex_;
    std::int64_t minimum_ = 0, maximum_ = 0, position_ = 0;
    int drawn_percent_ = -1;
    bool bar_visible_ = false;
    std::string status_;
    std::string last_message_;
    bool results_shown_ = false;
};

// True when stderr is a terminal.
bool StderrIsTerminal();

}  // namespace tav::cli
