#include "ffmpeg_parts.hpp"

#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

namespace tav::preview {

void QuietFfmpeg() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(std::getenv("TAVORINE_PREVIEW_DEBUG") ? AV_LOG_DEBUG : AV_LOG_QUIET);
    });
}

FormatPtr OpenMovie(AVIOContext* io, const OpenOptions& options) {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return nullptr;
    raw->pb = io;
    raw->interrupt_callback = options.interrupt;
    AVDictionary* settings = nullptr;
    if (options.ignore_edit_list) av_dict_set(&settings, "ignore_editlist", "1", 0);
    const int opened = avformat_open_input(&raw, nullptr, av_find_input_format("mov"), &settings);
    av_dict_free(&settings);
    if (opened < 0) return nullptr;  // raw is freed already
    return FormatPtr(raw);
}

std::optional<double> DurationOf(const AVFormatContext& format, const AVStream& video) {
    if (format.duration > 0 && format.duration != AV_NOPTS_VALUE)
        return static_cast<double>(format.duration) / AV_TIME_BASE;
    if (video.duration > 0 && video.duration != AV_NOPTS_VALUE && video.time_base.den > 0)
        return static_cast<double>(video.duration) * av_q2d(video.time_base);
    return std::nullopt;
}

}  // namespace tav::preview
