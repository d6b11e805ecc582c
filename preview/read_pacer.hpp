#pragma once
// Keeps a background reader (the play check) from starving the scan or save
// that runs beside it: while others are busy, after each chunk it waits
// several times as long as it worked since the last one, so it takes about a
// fifth of the medium and the processor. Alone, it never waits.

#include <chrono>
#include <functional>

namespace tav::preview {

class ReadPacer {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kWaitPerWork = 4;
    static constexpr std::chrono::milliseconds kMostWait{250};

    explicit ReadPacer(std::function<bool()> others_busy,
                       std::function<void(Clock::duration)> wait = {});

    // Called after each chunk the reader took from the medium.
    void chunk_done();

    Clock::duration waited() const { return waited_; }

  private:
    std::function<bool()> others_busy_;
    std::function<void(Clock::duration)> wait_;
    Clock::time_point last_ = Clock::now();
    Clock::duration waited_{};
};

}  // namespace tav::preview
