// csdk_media: a recorded clip or network stream (RTSP, HTTP, ...) decoded with FFmpeg's libraries.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "csdk_source.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace csdk_standin {

// Decodes the best video stream of `location` and scales/converts every picture to NV21 at the size
// set by prepare(). The decoder, frame, packet and scaler are made once and reused, so steady-state
// decoding allocates nothing of its own (the demuxer's packet buffers come from FFmpeg's pools).
class MediaSource : public FrameSource {
public:
    // Longest a single read may block on a network source before it counts as failed.
    static const int kReadTimeoutMs = 10000;

    explicit MediaSource(const std::string& location);
    ~MediaSource() override;
    MediaSource(const MediaSource&) = delete;
    MediaSource& operator=(const MediaSource&) = delete;

    // Opens the input and its decoder; false with `error` set when it cannot be used.
    bool open(std::string& error);

    std::string describe() const override;
    bool prepare(int width, int height) override;
    Result next(uint8_t* nv21) override;
    bool rewind() override;
    double nominalFps() const override { return fps_; }
    bool isLive() const override { return live_; }
    std::string lastError() const override { return lastError_; }
    // Presentation time of the picture the last Ok next() delivered, in seconds from the stream's
    // start; negative when the stream does not carry one.
    double lastTime() const { return lastTime_; }

private:
    void close();
    bool convert(uint8_t* nv21);
    static int interruptCallback(void* self);

    std::string location_;
    bool live_ = false;
    double fps_ = 0.0;
    int stream_ = -1;
    bool draining_ = false;
    int outWidth_ = 0;
    int outHeight_ = 0;
    double lastTime_ = -1.0;
    int64_t deadlineMs_ = 0;  // monotonic ms after which a blocking read is abandoned; 0 = none
    std::string lastError_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* sws_ = nullptr;
};

}  // namespace csdk_standin
