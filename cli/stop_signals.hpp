#pragma once
// Ctrl-C and SIGTERM as the stop button: while a StopOnSignals lives, either
// signal sets its flag; the scan and the save poll it and end cleanly, so
// what was found or written so far is kept.

#include "scan/scan_settings.hpp"

namespace tav::cli {

class StopOnSignals {
  public:
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    StopFlag& flag() { return stop_; }
    bool requested() const { return stop_.load() != 0; }

  private:
    StopFlag stop_{0};
    void (*previous_int_)(int);
    void (*previous_term_)(int);
};

}  // namespace tav::cli
