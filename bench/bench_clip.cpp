#include "bench_clip.h"

#include <algorithm>
#include <cmath>

#ifdef KT_BENCH_FFMPEG
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}
#endif

namespace bench {

#ifdef KT_BENCH_FFMPEG
namespace {

// Owns the decoder objects so every exit path releases them.
struct Decoder {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* to_bgra = nullptr;
    SwsContext* to_gray = nullptr;
    ~Decoder() {
        sws_freeContext(to_bgra);
        sws_freeContext(to_gray);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

void convert(Decoder& d, Clip& clip) {
    clip.bgra.emplace_back(size_t(clip.width) * clip.height * 4);
    clip.gray.emplace_back(size_t(clip.width) * clip.height);
    uint8_t* bgra[1] = {clip.bgra.back().data()};
    int bgra_stride[1] = {int(clip.width * 4)};
    sws_scale(d.to_bgra, d.frame->data, d.frame->linesize, 0, d.frame->height, bgra, bgra_stride);
    uint8_t* gray[1] = {clip.gray.back().data()};
    int gray_stride[1] = {int(clip.width)};
    sws_scale(d.to_gray, d.frame->data, d.frame->linesize, 0, d.frame->height, gray, gray_stride);
}

}  // namespace
#endif

bool load_clip(const std::string& path, uint32_t width, uint32_t height, uint32_t max_frames,
               Clip& clip, std::string& error) {
#ifdef KT_BENCH_FFMPEG
    Decoder d;
    if (avformat_open_input(&d.format, path.c_str(), nullptr, nullptr) < 0) {
        error = "cannot open " + path;
        return false;
    }
    if (avformat_find_stream_info(d.format, nullptr) < 0) {
        error = "no stream information in " + path;
        return false;
    }
    const int stream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        error = "no video stream in " + path;
        return false;
    }
    const AVCodecParameters* parameters = d.format->streams[stream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder || !(d.codec = avcodec_alloc_context3(decoder)) ||
        avcodec_parameters_to_context(d.codec, parameters) < 0 ||
        avcodec_open2(d.codec, decoder, nullptr) < 0) {
        error = "cannot decode the video of " + path;
        return false;
    }
    const AVRational rate = d.format->streams[stream]->avg_frame_rate;
    clip.fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 25.0;
    clip.width = width ? width : uint32_t(d.codec->width);
    clip.height = height ? height : uint32_t(d.codec->height);
    clip.source = path;
    d.frame = av_frame_alloc();
    d.packet = av_packet_alloc();
    if (!d.frame || !d.packet) {
        error = "out of memory";
        return false;
    }
    // Takes every frame the decoder has ready; false when the scaler cannot be built.
    auto receive = [&]() {
        while (clip.bgra.size() < max_frames && avcodec_receive_frame(d.codec, d.frame) >= 0) {
            if (!d.to_bgra) {
                const AVPixelFormat format = AVPixelFormat(d.frame->format);
                d.to_bgra = sws_getContext(d.frame->width, d.frame->height, format, int(clip.width),
                                           int(clip.height), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr,
                                           nullptr, nullptr);
                d.to_gray = sws_getContext(d.frame->width, d.frame->height, format, int(clip.width),
                                           int(clip.height), AV_PIX_FMT_GRAY8, SWS_BILINEAR, nullptr,
                                           nullptr, nullptr);
                if (!d.to_bgra || !d.to_gray) return false;
            }
            convert(d, clip);
        }
        return true;
    };
    bool ok = true;
    while (ok && clip.bgra.size() < max_frames && av_read_frame(d.format, d.packet) >= 0) {
        if (d.packet->stream_index == stream) avcodec_send_packet(d.codec, d.packet);
        av_packet_unref(d.packet);
        ok = receive();
    }
    if (ok && clip.bgra.size() < max_frames) {
        avcodec_send_packet(d.codec, nullptr);  // flush the frames the decoder still holds
        ok = receive();
    }
    if (!ok) {
        error = "cannot convert the frames of " + path;
        return false;
    }
    if (clip.bgra.empty()) {
        error = "no frames decoded from " + path;
        return false;
    }
    return true;
#else
    (void)path, (void)width, (void)height, (void)max_frames, (void)clip;
    error = "built without FFmpeg; run without a clip for the synthetic scene";
    return false;
#endif
}

void synthetic_clip(uint32_t width, uint32_t height, uint32_t frames, Clip& clip) {
    clip.width = width;
    clip.height = height;
    clip.fps = 25.0;
    clip.source = "synthetic";
    clip.bgra.clear();
    clip.gray.clear();
    // Static texture: smooth shading plus fixed fine detail per channel.
    std::vector<unsigned char> scene(size_t(width) * height * 4);
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double shade = 110.0 + 50.0 * std::sin(x / (19.0 + 4 * c)) * std::cos(y / 23.0);
                scene[(size_t(y) * width + x) * 4 + c] =
                    static_cast<unsigned char>(std::clamp(shade + int(next() % 31) - 15, 0.0, 255.0));
            }
    struct Mover {
        double x, y, dx, dy, w, h;
        unsigned char b, g, r;
    };
    std::vector<Mover> movers = {
        {40, 60, 3.1, 0.4, 50, 120, 40, 40, 160},   {600, 300, -2.2, -0.7, 90, 60, 200, 180, 30},
        {300, 400, 1.3, -1.1, 35, 90, 30, 140, 40}, {100, 200, 4.0, 1.6, 140, 70, 180, 60, 160},
    };
    for (uint32_t f = 0; f < frames; ++f) {
        std::vector<unsigned char> bgra(scene);
        const int drift = int(3.0 * std::sin(f / 40.0));
        for (size_t i = 0; i < bgra.size(); i += 4)
            for (int c = 0; c < 3; ++c)
                bgra[i + c] = static_cast<unsigned char>(
                    std::clamp(int(bgra[i + c]) + drift + int(next() % 7) - 3, 0, 255));
        for (Mover& m : movers) {
            const double sx = m.x * width / 768.0, sy = m.y * height / 576.0;
            const double sw = m.w * width / 768.0, sh = m.h * height / 576.0;
            for (int64_t y = std::max<int64_t>(0, int64_t(sy)); y < std::min<int64_t>(height, int64_t(sy + sh)); ++y)
                for (int64_t x = std::max<int64_t>(0, int64_t(sx)); x < std::min<int64_t>(width, int64_t(sx + sw)); ++x) {
                    // Elliptic body with a little texture.
                    const double u = (x - sx) / sw - 0.5, v = (y - sy) / sh - 0.5;
                    if (u * u + v * v > 0.25) continue;
                    unsigned char* p = &bgra[(size_t(y) * width + size_t(x)) * 4];
                    const int t = int(next() % 21) - 10;
                    p[0] = static_cast<unsigned char>(std::clamp(m.b + t, 0, 255));
                    p[1] = static_cast<unsigned char>(std::clamp(m.g + t, 0, 255));
                    p[2] = static_cast<unsigned char>(std::clamp(m.r + t, 0, 255));
                }
            m.x += m.dx;
            m.y += m.dy;
            if (m.x < 0 || m.x + m.w > 768) m.dx = -m.dx;
            if (m.y < 0 || m.y + m.h > 576) m.dy = -m.dy;
        }
        for (size_t i = 3; i < bgra.size(); i += 4) bgra[i] = 255;
        std::vector<unsigned char> gray(size_t(width) * height);
        for (size_t i = 0; i < gray.size(); ++i)
            gray[i] = static_cast<unsigned char>(
                (11u * bgra[4 * i] + 59u * bgra[4 * i + 1] + 30u * bgra[4 * i + 2]) / 100u);
        clip.bgra.push_back(std::move(bgra));
        clip.gray.push_back(std::move(gray));
    }
}

}  // namespace bench
