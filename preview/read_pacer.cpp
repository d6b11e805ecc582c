#include "read_pacer.hpp"

#include <algorithm>
#include <thread>

namespace tav::preview {

ReadPacer::ReadPacer(std::function<bool()> others_busy, std::function<void(Clock::duration)> wait)
    : others_busy_(std::move(others_busy)), wait_(std::move(wait)) {
    if (!wait_) wait_ = [](Clock::duration d) { std::this_thread::sleep_for(d); };
}

void ReadPacer::chunk_done() {
    const auto now = Clock::now();
    const auto worked = now - last_;
    last_ = now;
    if (!others_busy_ || !others_busy_()) return;
    const auto wait = std::min<Clock::duration>(worked * kWaitPerWork, kMostWait);
    wait_(wait);
    waited_ += wait;
    last_ = Clock::now();
}

}  // namespace tav::preview
