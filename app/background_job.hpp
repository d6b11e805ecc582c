#pragma once
// Runs one core worker (scan, save, scan-result file) on the worker's own
// thread and tells the GUI thread when it has ended. The GUI thread never
// blocks on it: waiting keeps the event loop turning, since a worker may be
// waiting for the user to answer a message box.

#include <QCoreApplication>
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

#include "common/worker_thread.hpp"

#include "qt_reporter.hpp"

namespace tav::app {

class BackgroundJob {
  public:
    BackgroundJob() = default;
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;
    ~BackgroundJob() { finish(); }

    bool running() const { return running_; }

    // Starts worker (which has Start() and Join()); on_done runs on gui's
    // thread once the worker has ended. The job must not be running.
    template <class Worker>
    void run(std::unique_ptr<QtReporter> reporter, std::unique_ptr<Worker> worker, QObject* gui,
             std::function<void()> on_done) {
        finish();
        reporter_ = std::move(reporter);
        Worker* raw = worker.get();
        worker_ = std::shared_ptr<Worker>(std::move(worker));
        running_ = true;
        raw->Start();
        watcher_.start([this, raw, gui, done = std::move(on_done)] {
            raw->Join();
            // Flipped on the GUI thread, behind every call the worker queued
            // there: once running() is false its log and gauge are all shown.
            QMetaObject::invokeMethod(
                gui,
                [this, done] {
                    running_ = false;
                    if (done) done();
                },
                Qt::QueuedConnection);
        });
    }

    // Turns the event loop until the worker has ended.
    void wait_processing_events() {
        while (running_) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        finish();
    }

  private:
    void finish() {
        watcher_.join();
        worker_.reset();
        reporter_.reset();
    }

    std::unique_ptr<QtReporter> reporter_;
    std::shared_ptr<void> worker_;
    WorkerThread watcher_;
    std::atomic<bool> running_{false};
};

}  // namespace tav::app
