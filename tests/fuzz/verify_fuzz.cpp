// A recovered file decoded from end to end, the way the play check runs:
// through FFmpeg's QuickTime demuxer and the decoders, within the check's
// time limit and allocation cap. Whatever the bytes, it ends with counts
// that hold together, never a crash, a leak or a hang.
//
// Input: the file's bytes.

#include <cstdint>
#include <cstring>
#include <span>

#include "byte_source.hpp"
#include "full_decode.hpp"
#include "fuzz_support.hpp"

namespace {

class InputBytes : public tav::preview::ByteSource {
  public:
    InputBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(size_); }
    std::size_t read(std::int64_t offset, std::span<std::uint8_t> buf) const override {
        if (offset < 0 || static_cast<std::uint64_t>(offset) >= size_) return 0;
        const std::size_t n = std::min(buf.size(), size_ - static_cast<std::size_t>(offset));
        std::memcpy(buf.data(), data_ + offset, n);
        return n;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

class NeverStop : public tav::preview::VerifyControl {
  public:
    bool stop_requested() const override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tav::preview::VerifyLimits limits;
    // Well inside libFuzzer's own limit of 10 s per input.
    limits.base_seconds = 3;
    limits.seconds_per_video_second = 0;
    limits.threads = 1;
    const auto v = tav::preview::VerifyDecode(InputBytes(data, size), NeverStop(), limits);
    TAV_FUZZ_CHECK(v.frames_decoded >= 0 && v.frames_decoded <= v.frames_listed);
    TAV_FUZZ_CHECK(!v.plays_fully() || v.frames_decoded == v.frames_listed);
    TAV_FUZZ_CHECK(v.bytes_read >= 0);
    TAV_FUZZ_CHECK(v.seconds_taken < 9);
    return 0;
}
