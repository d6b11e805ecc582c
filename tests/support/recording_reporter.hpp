#pragma once
// A WorkerReporter that records everything a worker tells the user, and
// answers every question with its default button.

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/reporter.hpp"

namespace tav::test {

class RecordingReporter : public WorkerReporter {
  public:
    void log_line(const std::string& line) override {
        std::lock_guard lock(mutex_);
        lines.push_back(line);
    }
    void gauge_range(std::int64_t lo, std::int64_t hi) override {
        gauge_min = lo;
        gauge_max = hi;
    }
    void gauge_position(std::int64_t p) override { gauge_positions.push_back(p); }
    void status_text(int panel, const std::string& text) override {
        std::lock_guard lock(mutex_);
        status.emplace_back(panel, text);
    }
    MsgAnswer message_box(const UserMessage& m) override {
        std::lock_guard lock(mutex_);
        boxes.push_back(m);
        return m.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    void table_changed(TableId) override {}
    void show_results() override { ++results_shown; }

    // Log messages without their "[date time]  " prefix.
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& l : lines) {
            const auto at = l.find("]  ");
            out.push_back(at == std::string::npos ? l : l.substr(at + 3));
        }
        return out;
    }
    bool logged(const std::string& message) const {
        for (const auto& m : messages())
            if (m == message) return true;
        return false;
    }
    std::vector<std::string> status_of(int panel) const {
        std::vector<std::string> out;
        for (const auto& [p, t] : status)
            if (p == panel) out.push_back(t);
        return out;
    }
    std::string last_status(int panel) const {
        const auto all = status_of(panel);
        return all.empty() ? std::string() : all.back();
    }

    std::vector<std::string> lines;
    std::vector<std::pair<int, std::string>> status;
    std::vector<UserMessage> boxes;
    std::vector<std::int64_t> gauge_positions;
    std::int64_t gauge_min = -1, gauge_max = -1;
    int results_shown = 0;

  private:
    std::mutex mutex_;
};

}  // namespace tav::test
