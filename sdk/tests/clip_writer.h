// clip_writer: writes small lossless test clips (FFV1 in Matroska) with FFmpeg's libraries.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace testclip {

// Fills one yuv420p picture with the pattern the tests check: luminance = (x + 3 y + 8 index) mod 256,
// U = 200, V = 60.
inline void paintRamp(int index, uint8_t* y, int ys, uint8_t* u, uint8_t* v, int cs, int width, int height) {
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) y[r * ys + c] = static_cast<uint8_t>((c + 3 * r + 8 * index) & 255);
    for (int r = 0; r < height / 2; ++r)
        for (int c = 0; c < width / 2; ++c) {
            u[r * cs + c] = 200;
            v[r * cs + c] = 60;
        }
}

// paint(index, y, y stride, u, v, chroma stride) fills picture `index` (yuv420p); false stops with failure.
typedef std::function<bool(int, uint8_t*, int, uint8_t*, uint8_t*, int)> Painter;

// Writes `frames` pictures of width x height at 25 frames/s to `path`, each filled by `paint`. False
// on any failure.
inline bool writeClip(const std::string& path, int width, int height, int frames, const Painter& paint) {
    const int fps = 25;
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "matroska", path.c_str()) < 0 || out == nullptr) return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    AVStream* stream = codec ? avformat_new_stream(out, nullptr) : nullptr;
    AVCodecContext* enc = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = stream && enc && frame && packet;
    if (ok) {
        enc->width = width;
        enc->height = height;
        enc->pix_fmt = AV_PIX_FMT_YUV420P;
        enc->time_base = AVRational{1, fps};
        enc->framerate = AVRational{fps, 1};
        if (out->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ok = avcodec_open2(enc, codec, nullptr) >= 0 && avcodec_parameters_from_context(stream->codecpar, enc) >= 0;
        stream->time_base = enc->time_base;
        stream->avg_frame_rate = enc->framerate;
    }
    ok = ok && avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(out, nullptr) >= 0;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    ok = ok && av_frame_get_buffer(frame, 0) >= 0;
    auto drain = [&]() {
        while (avcodec_receive_packet(enc, packet) == 0) {
            av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(out, packet) < 0) ok = false;
        }
    };
    for (int i = 0; ok && i < frames; ++i) {
        ok = av_frame_make_writable(frame) >= 0;
        if (!ok) break;
        ok = paint(i, frame->data[0], frame->linesize[0], frame->data[1], frame->data[2], frame->linesize[1]);
        if (!ok) break;
        frame->pts = i;
        ok = avcodec_send_frame(enc, frame) >= 0;
        drain();
    }
    if (ok) {
        avcodec_send_frame(enc, nullptr);
        drain();
        ok = av_write_trailer(out) >= 0;
    }
    if (out && out->pb) avio_closep(&out->pb);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&enc);
    avformat_free_context(out);
    return ok;
}

// Writes `frames` ramp pictures of width x height at 25 frames/s to `path`. False on any failure.
inline bool writeRampClip(const std::string& path, int width, int height, int frames) {
    return writeClip(path, width, height, frames, [&](int i, uint8_t* y, int ys, uint8_t* u, uint8_t* v, int cs) {
        paintRamp(i, y, ys, u, v, cs, width, height);
        return true;
    });
}

}  // namespace testclip
