#pragma once
// WorkerReporter for the GUI: every call from a worker thread becomes a queued
// call on the GUI thread; message_box waits there for the user's answer.

#include <atomic>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>

#include "common/reporter.hpp"
#include "dialogs.hpp"

namespace tav::app {

// What a window shows of a worker's progress.
class ProgressTarget {
  public:
    virtual ~ProgressTarget() = default;
    virtual void append_log(const QString& line) = 0;
    virtual void set_gauge_range(std::int64_t minimum, std::int64_t maximum) = 0;
    virtual void set_gauge_position(std::int64_t position) = 0;
    virtual void set_status(int panel, const QString& text) = 0;
    virtual void tables_changed(TableId table) = 0;
    virtual void results_ready() {}
    virtual void set_videos_found(std::int64_t) {}
    virtual void set_save_progress(const SaveProgress&) {}
};

class QtReporter : public WorkerReporter {
  public:
    // gui_object lives on the GUI thread and must outlive the worker.
    QtReporter(QObject* gui_object, ProgressTarget& target, Dialogs& dialogs)
        : gui_(gui_object), target_(target), dialogs_(dialogs) {}

    void log_line(const std::string& line) override;
    void gauge_range(std::int64_t minimum, std::int64_t maximum) override;
    void gauge_position(std::int64_t position) override;
    void status_text(int panel, const std::string& text) override;
    MsgAnswer message_box(const UserMessage& message) override;
    void table_changed(TableId table) override;
    void show_results() override;
    void videos_found(std::int64_t count) override;
    void save_progress(const SaveProgress& progress) override;

  private:
    template <class F>
    void post(F&& call) {
        QMetaObject::invokeMethod(gui_, std::forward<F>(call), Qt::QueuedConnection);
    }

    // Queued calls capture the target, never this reporter: they may run
    // after the worker and its reporter are gone.
    QObject* gui_;
    ProgressTarget& target_;
    Dialogs& dialogs_;

    // The scanner moves the gauge once per 64 KiB step, far more often than a
    // window can repaint: only the newest position is kept, and at most one
    // gauge call waits in the GUI queue at a time.
    struct GaugeMailbox {
        std::atomic<std::int64_t> position{0};
        std::atomic<bool> queued{false};
    };
    std::shared_ptr<GaugeMailbox> gauge_ = std::make_shared<GaugeMailbox>();
};

}  // namespace tav::app
