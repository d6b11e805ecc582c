#include "cli_reporter.hpp"

#include <unistd.h>

#include <iostream>

namespace tav::cli {

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

CliReporter::CliReporter(std::ostream& log_out, bool progress_bar)
    : log_out_(log_out), progress_bar_(progress_bar) {}

namespace {
constexpr double kRedrawSeconds = 0.25;
}  // namespace

void CliReporter::set_total_bytes(std::int64_t bytes) {
    std::lock_guard lock(mutex_);
    meter_.set_total(bytes);
}

void CliReporter::begin_save() {
    std::lock_guard lock(mutex_);
    saving_ = true;
    found_ = -1;
    meter_ = ProgressMeter();
}

void CliReporter::save_progress(const SaveProgress& progress) {
    std::lock_guard lock(mutex_);
    save_ = progress;
    meter_.set_total(progress.all_total);
    meter_.sample(seconds(), progress.all_done);
    draw_bar(progress.file_done == progress.file_total);
}

void CliReporter::videos_found(std::int64_t count) {
    std::lock_guard lock(mutex_);
    found_ = count;
}

double CliReporter::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void CliReporter::clear_bar() {
    if (!bar_visible_) return;
    std::cerr << "\r\033[K" << std::flush;
    bar_visible_ = false;
}

void CliReporter::draw_bar(bool force) {
    if (!progress_bar_ || (!saving_ && maximum_ <= minimum_)) return;
    const double now = seconds();
    if (!force && bar_visible_ && now - drawn_at_ < kRedrawSeconds) return;
    drawn_at_ = now;
    std::string line;
    if (saving_) {
        line = "保存 " + std::to_string(save_.file_number) + "/" +
               std::to_string(save_.file_count) + "  " + ByteSizeText(save_.file_done) + " / " +
               ByteSizeText(save_.file_total) + "  总计 " + ProgressText(meter_);
    } else if (meter_.total() > 0) {
        line = ProgressText(meter_);
    } else {
        const double span = static_cast<double>(maximum_ - minimum_);
        line = std::to_string(
                   static_cast<int>(100.0 * static_cast<double>(position_ - minimum_) / span)) +
               "%";
    }
    if (found_ >= 0)
        line += "  已发现 " + std::to_string(found_) + " 个视频";
    else if (!saving_ && !status_.empty())
        line += "  " + status_;
    std::cerr << "\r\033[K" << line << std::flush;
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
    // A save's gauge counts files; its bytes come from save_progress.
    if (saving_ || maximum_ <= minimum_) return;
    const double fraction =
        static_cast<double>(position_ - minimum_) / static_cast<double>(maximum_ - minimum_);
    meter_.sample(seconds(),
                  static_cast<std::int64_t>(fraction * static_cast<double>(meter_.total())));
    draw_bar();
}

void CliReporter::status_text(int panel, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (panel != 2) return;  // the fragment count rides along with the bar
    status_ = text;
    if (bar_visible_) draw_bar();
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
