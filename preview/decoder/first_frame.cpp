#include "first_frame.hpp"

#include <algorithm>
#include <cmath>
#include <memory>

#include "avio_view.hpp"
#include "ffmpeg_parts.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace tav::preview {

namespace {

constexpr int kMostFrameSide = 16384;

struct ScalerFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

std::unexpected<PreviewError> CannotDecode(std::string why) {
    return std::unexpected(PreviewError{PreviewFailure::CannotDecode, std::move(why)});
}

// The width a viewer shows: non-square pixels are stretched.
double DisplayWidth(const AVFrame& frame) {
    const AVRational sar = frame.sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0) return frame.width * av_q2d(sar);
    return frame.width;
}

std::expected<RgbImage, PreviewError> Thumbnail(const AVFrame& frame, int most_width) {
    const double shown = DisplayWidth(frame);
    if (shown < 1.0) return CannotDecode("empty frame");
    RgbImage image;
    image.width = static_cast<int>(std::clamp(std::lround(std::min<double>(most_width, shown)), 1L,
                                              static_cast<long>(kMostFrameSide)));
    image.height = static_cast<int>(std::clamp(std::lround(frame.height * image.width / shown), 1L,
                                               static_cast<long>(kMostFrameSide)));
    ScalerPtr scaler(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), image.width,
        image.height, AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr));
    if (!scaler) return CannotDecode("unsupported pixel format");
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    std::uint8_t* planes[4] = {image.pixels.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {image.width * 3, 0, 0, 0};
    if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) !=
        image.height)
        return CannotDecode("scaling failed");
    return image;
}

// The frame of the first sample: a later one (the decoder recovering at the
// next key frame) is not the video's first picture, and a concealed one is
// not the camera's.
bool IsCleanFirstFrame(const AVFrame& frame, std::int64_t first_pts) {
    if ((frame.flags & AV_FRAME_FLAG_CORRUPT) || frame.decode_error_flags != 0) return false;
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kMostFrameSide ||
        frame.height > kMostFrameSide)
        return false;
    return frame.pts == first_pts || first_pts == AV_NOPTS_VALUE;
}

struct VideoDecoder {
    CodecPtr codec;
    int stream = -1;
};

std::expected<VideoDecoder, PreviewError> OpenDecoder(AVFormatContext& format) {
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(&format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index == AVERROR_STREAM_NOT_FOUND) return CannotDecode("no video track");
    if (index < 0 || !codec) return CannotDecode("no decoder for the video track");
    for (unsigned i = 0; i < format.nb_streams; ++i)
        if (static_cast<int>(i) != index) format.streams[i]->discard = AVDISCARD_ALL;
    VideoDecoder decoder{CodecPtr(avcodec_alloc_context3(codec)), index};
    if (!decoder.codec) return CannotDecode("out of memory");
    AVCodecContext& c = *decoder.codec;
    if (avcodec_parameters_to_context(&c, format.streams[index]->codecpar) < 0)
        return CannotDecode("bad sample description");
    c.pkt_timebase = format.streams[index]->time_base;
    // One picture is wanted: frame threads would only add delay and memory.
    c.thread_count = 1;
    c.flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    c.flags2 &= ~AV_CODEC_FLAG2_SHOW_ALL;
    if (avcodec_open2(&c, codec, nullptr) < 0) return CannotDecode("decoder refused the track");
    return decoder;
}

// Feeds video packets until the decoder hands out its first picture.
std::expected<FramePtr, PreviewError> FirstFrame(AVFormatContext& format, VideoDecoder& decoder,
                                                 int most_packets) {
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) return CannotDecode("out of memory");
    std::int64_t first_pts = AV_NOPTS_VALUE;
    bool fed = false;
    auto take = [&]() -> std::optional<bool> {
        if (avcodec_receive_frame(decoder.codec.get(), frame.get()) != 0) return std::nullopt;
        return IsCleanFirstFrame(*frame, first_pts);
    };
    for (int n = 0; n < most_packets; ++n) {
        if (av_read_frame(&format, packet.get()) < 0) break;
        if (packet->stream_index != decoder.stream) {
            av_packet_unref(packet.get());
            continue;
        }
        if (!fed) first_pts = packet->pts;
        fed = true;
        // A packet the decoder rejects may be followed by ones it takes; the
        // frame it then gives is judged by IsCleanFirstFrame.
        avcodec_send_packet(decoder.codec.get(), packet.get());
        av_packet_unref(packet.get());
        if (const auto got = take()) {
            if (*got) return frame;
            return CannotDecode("first frame damaged");
        }
    }
    if (!fed) return CannotDecode("no video samples");
    avcodec_send_packet(decoder.codec.get(), nullptr);
    if (const auto got = take(); got && *got) return frame;
    return CannotDecode("first frame does not decode");
}

}  // namespace

std::expected<Preview, PreviewError> DecodePreview(const ByteSource& file,
                                                   const PreviewLimits& limits) {
    QuietFfmpeg();
    if (file.size() == 0) return CannotDecode("empty file");
    AvioView io(file, limits.most_bytes);
    if (!io.context()) return CannotDecode("out of memory");
    auto format = OpenMovie(io.context());
    if (!format) return CannotDecode("no movie header");
    auto decoder = OpenDecoder(*format);
    if (!decoder) return std::unexpected(decoder.error());
    const auto frame = FirstFrame(*format, *decoder, limits.most_packets);
    if (!frame) return std::unexpected(frame.error());
    auto thumbnail = Thumbnail(**frame, std::max(1, limits.thumbnail_width));
    if (!thumbnail) return std::unexpected(thumbnail.error());
    Preview preview;
    preview.thumbnail = std::move(*thumbnail);
    preview.video_width = (*frame)->width;
    preview.video_height = (*frame)->height;
    preview.duration_seconds = DurationOf(*format, *format->streams[decoder->stream]);
    return preview;
}

}  // namespace tav::preview
