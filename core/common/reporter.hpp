#pragma once
// How a worker (scan, save, scan-result file) tells the user things. The
// front end (GUI or CLI) implements it; core never touches a window. Calls
// come from the worker's thread: the GUI marshals them to its own thread.
// message_box is the one call that waits for an answer.

#include <cstdint>
#include <string>

namespace tav {

enum class MsgIcon { None, Warning, Information, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

struct UserMessage {
    std::string caption;
    std::string text;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;

    bool operator==(const UserMessage&) const = default;
};

enum class TableId { Fragments, Outputs, Results };

// How far a save has come: the file being written and all ticked files.
struct SaveProgress {
    std::int64_t file_done = 0, file_total = 0;
    std::int64_t all_done = 0, all_total = 0;
    std::int64_t file_number = 0, file_count = 0;  // the file's place among the ticked ones, from 1
};

class WorkerReporter {
  public:
    virtual ~WorkerReporter() = default;

    // One finished log line, timestamp included ("[2012/5/3 14:22:10]  ...").
    virtual void log_line(const std::string& line) = 0;
    virtual void gauge_range(std::int64_t minimum, std::int64_t maximum) = 0;
    virtual void gauge_position(std::int64_t position) = 0;
    // Status bar panel 0 (state word), 1 (step text) or 2 (progress text).
    virtual void status_text(int panel, const std::string& text) = 0;
    // Shown without an owner window; blocks the worker until answered.
    virtual MsgAnswer message_box(const UserMessage& message) = 0;
    // Rows or cells of a scan table changed (the tables themselves live in
    // ScanTables; views re-read them).
    virtual void table_changed(TableId table) = 0;
    // The scan is over: leave the progress step and show the results.
    virtual void show_results() {}
    // Start regions of videos the scan has come across so far.
    virtual void videos_found(std::int64_t /*count*/) {}
    // Bytes written by a save, a few times a second and at each file's end.
    virtual void save_progress(const SaveProgress& /*progress*/) {}
};

// A reporter that drops everything and answers every question with its
// default button; for callers that need no output.
class NullReporter : public WorkerReporter {
  public:
    void log_line(const std::string&) override {}
    void gauge_range(std::int64_t, std::int64_t) override {}
    void gauge_position(std::int64_t) override {}
    void status_text(int, const std::string&) override {}
    MsgAnswer message_box(const UserMessage& m) override {
        return m.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    void table_changed(TableId) override {}
};

}  // namespace tav
