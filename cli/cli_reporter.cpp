#include "cli_reporter.hpp"

#include <unistd.h>

#include <iostream>

namespace tav::cli {

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

CliReporter::CliReporter(std::ostream& log_out, bool progress_bar)
    : log_out_(log_out), progress_bar_(progress_bar) {}

void CliReporter::clear_bar() {
    if (!bar_visible_) return;
    std::cerr << "\r\033[K" << std::flush;
    bar_visible_ = false;
    drawn_percent_ = -1;
}

void CliReporter::draw_bar() {
    if (!progress_bar_ || maximum_ <= minimum_) return;
    const double span = static_cast<double>(maximum_ - minimum_);
    const int percent = static_cast<int>(100.0 * static_cast<double>(position_ - minimum_) / span);
    if (percent == drawn_percent_ && bar_visible_) return;
    drawn_percent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::cerr << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << percent
              << "%  " << status_ << std::flush;
    bar_visible_ = true;
}

void CliReporter::log_line(const std::string& line) {
    std::lock_guard lock(mutex_);
    clear_bar();
    log_out_ << line << '\n' << std::flush;
    draw_bar();
}

void CliReporter::gauge_range(std::int64_t minimum, std::int64_t maximum) {
    std::lock_guard lock(mutex_);
    minimum_ = minimum;
    maximum_ = maximum;
}

void CliReporter::gauge_position(std::int64_t position) {
    std::lock_guard lock(mutex_);
    position_ = position < minimum_ ? minimum_ : (position > maximum_ ? maximum_ : position);
    draw_bar();
}

void CliReporter::status_text(int panel, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (panel != 2) return;  // the fragment count rides along with the bar
    status_ = text;
    if (bar_visible_) {
        drawn_percent_ = -1;
        draw_bar();
    }
}

MsgAnswer CliReporter::message_box(const UserMessage& message) {
    std::lock_guard lock(mutex_);
    clear_bar();
    std::cerr << message.caption << ": " << message.text << '\n' << std::flush;
    last_message_ = message.caption + ": " + message.text;
    return message.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
}

void CliReporter::show_results() {
    std::lock_guard lock(mutex_);
    clear_bar();
    results_shown_ = true;
}

std::string CliReporter::last_message() const {
    std::lock_guard lock(mutex_);
    return last_message_;
}

bool CliReporter::results_shown() const {
    std::lock_guard lock(mutex_);
    return results_shown_;
}

}  // namespace tav::cli
