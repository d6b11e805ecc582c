#include "stop_signals.hpp"

#include <atomic>
#include <csignal>

namespace tav::cli {

namespace {

// The flag of the command that is running, for the handler: a signal
// handler can reach nothing else.
std::atomic<StopFlag*> g_stop_target{nullptr};

extern "C" void OnStopSignal(int) {
    if (StopFlag* stop = g_stop_target.load()) stop->store(1);
}

void Restore(int signal, void (*previous)(int)) {
    std::signal(signal, previous == SIG_ERR ? SIG_DFL : previous);
}

}  // namespace

StopOnSignals::StopOnSignals() {
    g_stop_target.store(&stop_);
    previous_int_ = std::signal(SIGINT, OnStopSignal);
    previous_term_ = std::signal(SIGTERM, OnStopSignal);
}

StopOnSignals::~StopOnSignals() {
    Restore(SIGINT, previous_int_);
    Restore(SIGTERM, previous_term_);
    g_stop_target.store(nullptr);
}

}  // namespace tav::cli
