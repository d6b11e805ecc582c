#include "full_decode.hpp"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "avio_view.hpp"
#include "ffmpeg_parts.hpp"

extern "C" {
#include <libavutil/mem.h>
}

namespace tav::preview {

namespace {

using Clock = std::chrono::steady_clock;

// A damaged header can claim any number of samples; packets that fail to
// read one after another this many times end the file.
constexpr int kMostFailedReadsInARow = 256;

// What stops the demuxer and the loop: the caller, or the file's time limit.
struct Bounds {
    const VerifyControl& control;
    Clock::time_point deadline;
    bool timed_out = false;
    bool stopped = false;

    bool over() {
        if (control.stop_requested()) stopped = true;
        const auto held = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(std::max(0.0, control.seconds_held())));
        if (Clock::now() - held > deadline) timed_out = true;
        return stopped || timed_out;
    }
    static int Interrupt(void* self) { return static_cast<Bounds*>(self)->over() ? 1 : 0; }
};

// One video sample in the order the decoder was given it.
struct VideoPacket {
    std::int64_t pts = AV_NOPTS_VALUE;
    bool key = false;
};

CodecPtr OpenCodec(const AVStream& stream, int threads, std::int64_t most_pixels) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec) return nullptr;
    CodecPtr c(avcodec_alloc_context3(codec));
    if (!c || avcodec_parameters_to_context(c.get(), stream.codecpar) < 0) return nullptr;
    c->pkt_timebase = stream.time_base;
    // Each frame thread holds frames of its own: a many-core machine would
    // multiply the memory a large frame takes for little gain.
    constexpr int kMostThreads = 4;
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    c->thread_count = threads > 0 ? threads : std::clamp(cores, 1, kMostThreads);
    c->max_pixels = most_pixels;
    // A damaged slice fails its packet rather than being concealed, and a
    // frame with damage is not handed out as a good one.
    c->err_recognition |= AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
    c->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    c->flags2 &= ~AV_CODEC_FLAG2_SHOW_ALL;
    // No one looks at the pictures: the loop filter changes none of the
    // checks, and skipping it saves a fifth of the time.
    c->skip_loop_filter = AVDISCARD_ALL;
    if (avcodec_open2(c.get(), codec, nullptr) < 0) return nullptr;
    return c;
}

bool CleanFrame(const AVFrame& frame) {
    return !(frame.flags & AV_FRAME_FLAG_CORRUPT) && frame.decode_error_flags == 0 &&
           frame.width > 0 && frame.height > 0;
}

class VideoCheck {
  public:
    VideoCheck(CodecPtr codec, FramePtr frame)
        : codec_(std::move(codec)), frame_(std::move(frame)) {}

    void feed(const AVPacket* packet) {
        if (packet) packets_.push_back({packet->pts, (packet->flags & AV_PKT_FLAG_KEY) != 0});
        avcodec_send_packet(codec_.get(), packet);
        drain();
    }

    std::size_t packets() const { return packets_.size(); }

    // Counts, in decode order, the samples that gave a clean picture and
    // whose references were clean: after a failed one, nothing up to the
    // next key frame shows right, whatever the decoder says of it.
    void count(Verification& v, const AVStream& stream, std::int64_t listed) {
        const double tb = av_q2d(stream.time_base);
        std::int64_t start = std::numeric_limits<std::int64_t>::max();
        for (const VideoPacket& p : packets_)
            if (p.pts != AV_NOPTS_VALUE) start = std::min(start, p.pts);
        if (start == std::numeric_limits<std::int64_t>::max()) start = 0;
        auto seconds = [&](std::int64_t pts) { return std::max(0.0, (pts - start) * tb); };
        bool tainted = false;
        std::optional<std::int64_t> first_bad, last_good;
        for (const VideoPacket& p : packets_) {
            if (p.key) tainted = false;
            const auto it = clean_.find(p.pts);
            const bool good = p.pts != AV_NOPTS_VALUE && it != clean_.end() && it->second > 0;
            if (good) --it->second;  // one picture answers for one sample
            if (!good) tainted = true;
            if (good && !tainted) {
                ++v.frames_decoded;
                last_good = std::max(last_good.value_or(p.pts), p.pts);
            } else if (p.pts != AV_NOPTS_VALUE) {
                first_bad = std::min(first_bad.value_or(p.pts), p.pts);
            } else if (!first_bad) {
                first_bad = start;
            }
        }
        v.frames_decoded = std::min(v.frames_decoded, listed);
        if (first_bad) v.first_bad_seconds = seconds(*first_bad);
        if (last_good) v.last_good_seconds = seconds(*last_good);
        // Samples never read (a file cut short, a read that failed) come
        // after every one that was.
        const auto read = static_cast<std::int64_t>(packets_.size());
        if (read < listed && !v.first_bad_seconds) {
            const AVIndexEntry* e =
                avformat_index_get_entry(const_cast<AVStream*>(&stream), static_cast<int>(read));
            v.first_bad_seconds = e ? seconds(e->timestamp) : v.last_good_seconds.value_or(0);
        }
    }

  private:
    void drain() {
        while (avcodec_receive_frame(codec_.get(), frame_.get()) == 0) {
            if (CleanFrame(*frame_)) {
                const std::int64_t pts =
                    frame_->pts != AV_NOPTS_VALUE ? frame_->pts : frame_->best_effort_timestamp;
                ++clean_[pts];
            }
            av_frame_unref(frame_.get());
        }
    }

    CodecPtr codec_;
    FramePtr frame_;
    std::vector<VideoPacket> packets_;
    std::unordered_map<std::int64_t, int> clean_;  // clean pictures by presentation time
};

class SoundCheckState {
  public:
    SoundCheckState(CodecPtr codec, FramePtr frame)
        : codec_(std::move(codec)), frame_(std::move(frame)) {}
    void feed(const AVPacket* packet) {
        if (!codec_) return;
        if (avcodec_send_packet(codec_.get(), packet) < 0 && packet) ++failed_;
        int got;
        while ((got = avcodec_receive_frame(codec_.get(), frame_.get())) == 0)
            av_frame_unref(frame_.get());
        if (got != AVERROR(EAGAIN) && got != AVERROR_EOF) ++failed_;
    }
    SoundCheck result() const {
        return codec_ && failed_ == 0 ? SoundCheck::Decodes : SoundCheck::Damaged;
    }

  private:
    CodecPtr codec_;
    FramePtr frame_;
    std::int64_t failed_ = 0;
};

std::int64_t ListedSamples(const AVStream& stream) {
    const int indexed = avformat_index_get_entries_count(&stream);
    return stream.nb_frames > 0 ? std::max<std::int64_t>(stream.nb_frames, indexed) : indexed;
}

// The demuxer may read the file a little more than once (the movie header,
// interleaved tracks); a damaged one must not make it read for ever.
std::int64_t ReadBudget(std::int64_t size) {
    constexpr std::int64_t kSlack = 64 << 20;
    return size > (std::numeric_limits<std::int64_t>::max() - kSlack) / 3 ? size
                                                                          : size * 3 + kSlack;
}

void LimitAllocations(std::int64_t most) {
    static std::once_flag once;
    std::call_once(once, [most] {
        av_max_alloc(static_cast<std::size_t>(std::max<std::int64_t>(most, 1 << 20)));
    });
}

}  // namespace

Verification VerifyDecode(const ByteSource& file, const VerifyControl& control,
                          const VerifyLimits& limits) {
    const auto began = Clock::now();
    QuietFfmpeg();
    LimitAllocations(limits.most_allocation);
    Verification v;
    auto finish = [&](Verification& out) -> Verification {
        out.seconds_taken = std::chrono::duration<double>(Clock::now() - began).count();
        return out;
    };
    if (file.size() == 0) {
        v.detail = "empty file";
        return finish(v);
    }
    Bounds bounds{control, began + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(limits.base_seconds))};
    AvioView io(file, ReadBudget(file.size()));
    if (!io.context()) {
        v.detail = "out of memory";
        return finish(v);
    }
    FormatPtr format = OpenMovie(io.context(), {true, {&Bounds::Interrupt, &bounds}});
    v.bytes_read = io.bytes_read();
    if (!format) {
        v.end = bounds.stopped     ? VerifyEnd::Stopped
                : bounds.timed_out ? VerifyEnd::TimedOut
                                   : VerifyEnd::CannotDecode;
        v.detail = "no movie header";
        return finish(v);
    }
    const int video = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        v.detail = "no video track";
        return finish(v);
    }
    const AVStream& vstream = *format->streams[video];
    v.frames_listed = ListedSamples(vstream);
    v.duration_seconds = DurationOf(*format, vstream);
    const double length = std::clamp(v.duration_seconds.value_or(0.0), 0.0, limits.most_seconds);
    bounds.deadline =
        began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                    limits.base_seconds + limits.seconds_per_video_second * length));

    CodecPtr vcodec = OpenCodec(vstream, limits.threads, limits.most_frame_pixels);
    FramePtr vframe(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!vcodec || !vframe || !packet) {
        v.detail = vcodec ? "out of memory" : "no decoder for the video track";
        return finish(v);
    }
    VideoCheck pictures(std::move(vcodec), std::move(vframe));
    const int audio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
    std::optional<SoundCheckState> sound;
    if (audio >= 0)
        sound.emplace(OpenCodec(*format->streams[audio], 1, limits.most_frame_pixels),
                      FramePtr(av_frame_alloc()));
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (static_cast<int>(i) != video && static_cast<int>(i) != audio)
            format->streams[i]->discard = AVDISCARD_ALL;

    int failed_in_a_row = 0;
    while (!bounds.over()) {
        const int got = av_read_frame(format.get(), packet.get());
        if (got < 0) {
            if (got == AVERROR_EOF || avio_feof(io.context()) ||
                ++failed_in_a_row > kMostFailedReadsInARow)
                break;
            continue;
        }
        failed_in_a_row = 0;
        if (packet->stream_index == video)
            pictures.feed(packet.get());
        else if (sound && packet->stream_index == audio)
            sound->feed(packet.get());
        av_packet_unref(packet.get());
    }
    if (!bounds.stopped && !bounds.timed_out) {
        pictures.feed(nullptr);
        if (sound) sound->feed(nullptr);
    }
    v.end = bounds.stopped     ? VerifyEnd::Stopped
            : bounds.timed_out ? VerifyEnd::TimedOut
                               : VerifyEnd::Finished;
    pictures.count(v, vstream, v.frames_listed);
    if (sound) v.sound = sound->result();
    v.bytes_read = io.bytes_read();
    return finish(v);
}

}  // namespace tav::preview
