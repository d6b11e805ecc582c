#pragma once
// FFmpeg's objects held by owners, and the steps the preview and the play
// check share: quieting FFmpeg's log and opening a file as QuickTime.

#include <memory>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tav::preview {

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

// Damaged files make FFmpeg complain on stderr, which is the CLI's log;
// TAVORINE_PREVIEW_DEBUG keeps its messages for a developer.
void QuietFfmpeg();

struct OpenOptions {
    // Every sample as the tables list it: an edit list would drop some from
    // what the decoder is given.
    bool ignore_edit_list = false;
    AVIOInterruptCB interrupt{nullptr, nullptr};
};

// The file behind io opened as QuickTime (cameras write nothing else: no
// probing of what else it might be); null when it has no usable movie header.
FormatPtr OpenMovie(AVIOContext* io, const OpenOptions& options = {});

// How long the movie plays, from its header; none when it does not say.
std::optional<double> DurationOf(const AVFormatContext& format, const AVStream& video);

}  // namespace tav::preview
