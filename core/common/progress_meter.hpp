#pragma once
// Speed and time left of a long read from how far it got and when: the
// figures beside a progress gauge. Pure: the caller supplies the clock.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace tav {

class ProgressMeter {
  public:
    explicit ProgressMeter(std::int64_t total_bytes = 0) : total_(total_bytes) {}

    void set_total(std::int64_t total_bytes) { total_ = total_bytes; }
    // Bytes done by `seconds` after the start; time never runs backwards.
    void sample(double seconds, std::int64_t done_bytes);

    std::int64_t total() const { return total_; }
    std::int64_t done() const { return samples_.empty() ? 0 : samples_.back().done; }
    // Over the last few seconds, so that a slow stretch of the medium shows;
    // nothing before two samples a moment apart.
    std::optional<double> bytes_per_second() const;
    std::optional<double> seconds_left() const;
    // Over the whole run.
    std::optional<double> average_bytes_per_second() const;
    double elapsed() const { return samples_.empty() ? 0.0 : samples_.back().seconds; }
    int percent() const;

  private:
    struct Sample {
        double seconds;
        std::int64_t done;
    };
    std::int64_t total_;
    std::int64_t first_done_ = -1;
    std::deque<Sample> samples_;
};

// "850.3 MB", "1.21 GB", "12.0 KB", "512 B": decimal units, as drives are sold.
std::string ByteSizeText(std::int64_t bytes);
// "0:07", "12:05", "1:02:03".
std::string DurationText(double seconds);
// "37%  1.21 GB / 3.25 GB  85.3 MB/s  剩余 0:24": what a progress line shows.
std::string ProgressText(const ProgressMeter& meter);

}  // namespace tav
