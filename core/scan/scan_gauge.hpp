#pragma once
// The progress gauge of the sector scan. The direct gauge shows the read
// position; sources too large for a 32-bit gauge drive a scaled one whose
// position accumulates a fixed increment per 64 KiB step.

#include <cstdint>

namespace tav {

constexpr std::int64_t kGaugeLimit = 2147483647;

class ScanGauge {
  public:
    // end_sector: EndSector of the source.
    explicit ScanGauge(std::int64_t end_sector);

    bool scaled() const { return scaled_; }
    std::int64_t maximum() const { return maximum_; }
    double increment() const { return increment_; }

    // Position to show before the read at w (sectors counted from the base).
    std::int64_t position(std::int64_t w) const;
    // Account for the scan moving on by that many sectors.
    void advance(std::int64_t sectors);
    // A scaled gauge's position, kept by a checkpoint.
    double accumulated() const { return accumulator_; }
    void restore(double accumulated) { accumulator_ = accumulated; }

  private:
    bool scaled_ = false;
    std::int64_t maximum_ = 0;
    double increment_ = 0.0;
    double accumulator_ = 0.0;
};

// Rounds to two decimals, halves to even.
double RoundTwoDecimals(double v);
// Rounds to an integer, halves to even.
std::int64_t RoundHalfEven(double v);

}  // namespace tav
