#include "row_verify.hpp"

#include <thread>

#include "assembled_bytes.hpp"
#include "decoder_loader.hpp"
#include "platform/source_reader.hpp"
#include "platform/thread_priority.hpp"
#include "sequential_bytes.hpp"

namespace tav::preview {

namespace {

class StopControl : public VerifyControl {
  public:
    StopControl(const StopFlag* stop, const ReadPacer& pacer) : stop_(stop), pacer_(pacer) {}
    bool stop_requested() const override { return stop_ && stop_->load() != 0; }
    double seconds_held() const override {
        return std::chrono::duration<double>(pacer_.waited()).count();
    }

  private:
    const StopFlag* stop_;
    const ReadPacer& pacer_;
};

// The planned file on a reader of its own, or why there is none. A medium
// that went away meanwhile is told as such: its zeros are no damage of the
// video's.
template <class Use>
auto WithPlannedFile(const SourceOpener& opener, const std::string& source_path,
                     const RowPlan& plan, Use&& use)
    -> decltype(use(std::declval<const AssembledFile&>())) {
    const auto source = OpenSource(opener, source_path);
    if (!source)
        return std::unexpected(PreviewError{PreviewFailure::SourceUnreadable,
                                            source_path + ": " + source.error().reason});
    const auto file = OpenPlanned(*source, plan);
    if (!file)
        return std::unexpected(
            PreviewError{PreviewFailure::BadFragments, DescribeCopyError(file.error())});
    auto out = use(*file);
    if (source->gone())
        return std::unexpected(
            PreviewError{PreviewFailure::SourceUnreadable, source_path + ": the medium went away"});
    return out;
}

}  // namespace

std::expected<Verification, PreviewError> VerifyPlanned(const std::string& source_path,
                                                        const RowPlan& plan,
                                                        const VerifyOptions& options) {
    const auto verify = LoadVerifier();
    if (!verify) return std::unexpected(PreviewError{PreviewFailure::NoDecoder, verify.error()});
    auto check = [&] {
        return WithPlannedFile(
            options.open_source, source_path, plan,
            [&](const AssembledFile& file) -> std::expected<Verification, PreviewError> {
                ReadPacer pacer(options.others_busy);
                const SequentialBytes bytes(file, pacer);
                return (*verify)(bytes, StopControl(options.stop, pacer), options.limits);
            });
    };
    if (!options.others_busy) return check();
    // The decoder's threads are started by this one and take its priority.
    std::expected<Verification, PreviewError> out;
    std::thread background([&] {
        LowerThisThreadPriority();
        out = check();
    });
    background.join();
    return out;
}

std::expected<Preview, PreviewError> PreviewPlanned(const std::string& source_path,
                                                    const RowPlan& plan,
                                                    const PreviewLimits& limits) {
    const auto decode = LoadDecoder();
    if (!decode) return std::unexpected(PreviewError{PreviewFailure::NoDecoder, decode.error()});
    return WithPlannedFile({}, source_path, plan,
                           [&](const AssembledFile& file) -> std::expected<Preview, PreviewError> {
                               return (*decode)(AssembledBytes(file), limits);
                           });
}

}  // namespace tav::preview
