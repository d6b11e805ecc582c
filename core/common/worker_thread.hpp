#pragma once
// The one owner of a worker's thread (scan, save, scan-result file, and the
// GUI's watcher of them): started once at a time, asked to stop through its
// stop token, and always joined: by join() or, at the latest, when the owner
// goes. No thread is ever left running detached.

#include <stop_token>
#include <thread>
#include <utility>

namespace tav {

class WorkerThread {
  public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { join(); }

    // Runs body on a new thread, after the previous run (if any) has ended.
    // body takes a std::stop_token or nothing.
    template <class Body>
    void start(Body&& body) {
        join();
        thread_ = std::jthread(std::forward<Body>(body));
    }

    void request_stop() { thread_.request_stop(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    bool running() const { return thread_.joinable(); }

  private:
    std::jthread thread_;
};

}  // namespace tav
