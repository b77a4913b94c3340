// csdk_media: a recorded clip or network stream (RTSP, HTTP, ...) decoded with FFmpeg's libraries.
#include "csdk_media.h"

#include <ctime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace csdk_standin {

namespace {

int64_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof(text));
    return text;
}

bool isNetwork(const std::string& location) {
    const size_t scheme = location.find("://");
    return scheme != std::string::npos && location.compare(0, scheme, "file") != 0;
}

}  // namespace

MediaSource::MediaSource(const std::string& location) : location_(location), live_(isNetwork(location)) {}

MediaSource::~MediaSource() { close(); }

int MediaSource::interruptCallback(void* self) {
    const MediaSource* source = static_cast<const MediaSource*>(self);
    return source->deadlineMs_ != 0 && monotonicMs() > source->deadlineMs_ ? 1 : 0;
}

void MediaSource::close() {
    sws_freeContext(sws_);
    sws_ = nullptr;
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
    stream_ = -1;
    draining_ = false;
}

bool MediaSource::open(std::string& error) {
    close();
    static bool networkReady = false;
    if (!networkReady) {
        av_log_set_level(AV_LOG_ERROR);
        avformat_network_init();
        networkReady = true;
    }
    format_ = avformat_alloc_context();
    if (format_ == nullptr) {
        error = "out of memory";
        return false;
    }
    format_->interrupt_callback.callback = &MediaSource::interruptCallback;
    format_->interrupt_callback.opaque = this;
    AVDictionary* options = nullptr;
    if (location_.compare(0, 7, "rtsp://") == 0) {
        // TCP survives lossy links and NAT; a camera stream is useless with holes in it.
        av_dict_set(&options, "rtsp_transport", "tcp", 0);
    }
    deadlineMs_ = monotonicMs() + kReadTimeoutMs;
    int rc = avformat_open_input(&format_, location_.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
        error = "cannot open video source '" + location_ + "': " + avError(rc);
        format_ = nullptr;  // freed by avformat_open_input on failure
        deadlineMs_ = 0;
        return false;
    }
    rc = avformat_find_stream_info(format_, nullptr);
    if (rc < 0) {
        error = "cannot read stream information of '" + location_ + "': " + avError(rc);
        close();
        deadlineMs_ = 0;
        return false;
    }
    deadlineMs_ = 0;
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream_ < 0 || decoder == nullptr) {
        error = "no decodable video stream in '" + location_ + "'";
        close();
        return false;
    }
    AVStream* stream = format_->streams[stream_];
    codec_ = avcodec_alloc_context3(decoder);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (codec_ == nullptr || frame_ == nullptr || packet_ == nullptr ||
        avcodec_parameters_to_context(codec_, stream->codecpar) < 0) {
        error = "cannot set up the decoder for '" + location_ + "'";
        close();
        return false;
    }
    rc = avcodec_open2(codec_, decoder, nullptr);
    if (rc < 0) {
        error = "cannot open the " + std::string(decoder->name) + " decoder for '" + location_ + "': " + avError(rc);
        close();
        return false;
    }
    const AVRational rate = av_guess_frame_rate(format_, stream, nullptr);
    fps_ = (rate.num > 0 && rate.den > 0) ? av_q2d(rate) : 0.0;
    if (fps_ > 1000.0) fps_ = 0.0;
    return true;
}

std::string MediaSource::describe() const {
    std::string text = (live_ ? "stream " : "file ") + location_;
    if (codec_ != nullptr) {
        text += " (" + std::string(avcodec_get_name(codec_->codec_id)) + " " + std::to_string(codec_->width) + "x" +
                std::to_string(codec_->height);
        if (fps_ > 0) {
            char rate[32];
            snprintf(rate, sizeof(rate), " @ %.2f fps", fps_);
            text += rate;
        }
        text += ")";
    }
    return text;
}

bool MediaSource::prepare(int width, int height) {
    if (width < 2 || height < 2 || (width % 2) != 0 || (height % 2) != 0) return false;
    outWidth_ = width;
    outHeight_ = height;
    return true;
}

bool MediaSource::convert(uint8_t* nv21) {
    sws_ = sws_getCachedContext(sws_, frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format),
                                outWidth_, outHeight_, AV_PIX_FMT_NV21, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (sws_ == nullptr) {
        lastError_ = "cannot convert " + std::to_string(frame_->width) + "x" + std::to_string(frame_->height) +
                     " pictures to NV21";
        return false;
    }
    uint8_t* planes[4] = {nv21, nv21 + static_cast<size_t>(outWidth_) * outHeight_, nullptr, nullptr};
    const int strides[4] = {outWidth_, outWidth_, 0, 0};
    sws_scale(sws_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides);
    return true;
}

FrameSource::Result MediaSource::next(uint8_t* nv21) {
    if (codec_ == nullptr || outWidth_ == 0) {
        lastError_ = "source not open";
        return Result::Error;
    }
    for (;;) {
        int rc = avcodec_receive_frame(codec_, frame_);
        if (rc == 0) {
            const AVStream* stream = format_->streams[stream_];
            const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
            lastTime_ = frame_->best_effort_timestamp == AV_NOPTS_VALUE
                            ? -1.0
                            : static_cast<double>(frame_->best_effort_timestamp - start) * av_q2d(stream->time_base);
            const bool ok = convert(nv21);
            av_frame_unref(frame_);
            return ok ? Result::Ok : Result::Error;
        }
        if (rc == AVERROR_EOF) return Result::End;
        if (rc != AVERROR(EAGAIN)) {
            lastError_ = "decoding failed: " + avError(rc);
            return Result::Error;
        }
        if (draining_) return Result::End;
        deadlineMs_ = live_ ? monotonicMs() + kReadTimeoutMs : 0;
        rc = av_read_frame(format_, packet_);
        deadlineMs_ = 0;
        if (rc == AVERROR_EOF) {
            // Flush the decoder: its held-back pictures still come out before the end.
            draining_ = true;
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        if (rc < 0) {
            lastError_ = "reading '" + location_ + "' failed: " + avError(rc);
            return Result::Error;
        }
        if (packet_->stream_index == stream_) {
            rc = avcodec_send_packet(codec_, packet_);
            // A damaged packet loses its picture only; the stream goes on.
            (void)rc;
        }
        av_packet_unref(packet_);
    }
}

bool MediaSource::rewind() {
    if (format_ != nullptr && !live_) {
        const int64_t start = format_->start_time == AV_NOPTS_VALUE ? 0 : format_->start_time;
        if (avformat_seek_file(format_, -1, INT64_MIN, start, start, 0) >= 0 ||
            av_seek_frame(format_, stream_, 0, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(codec_);
            draining_ = false;
            return true;
        }
    }
    // A stream that ended (or a file that cannot seek) is opened again from scratch.
    std::string error;
    if (!open(error)) {
        lastError_ = error;
        return false;
    }
    return true;
}

}  // namespace csdk_standin
