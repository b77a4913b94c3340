// bench_clip: the frames a benchmark runs on, held in memory: decoded from a video file or made up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Clip {
    uint32_t width = 0;
    uint32_t height = 0;
    double fps = 25.0;
    std::string source;
    std::vector<std::vector<unsigned char>> gray;  // width x height luminance per frame
    std::vector<std::vector<unsigned char>> bgra;  // width x height x 4: blue, green, red, 255
};

// Decodes up to max_frames frames of any file FFmpeg can read, scaled to width x height (the file's
// own size when both are 0). Returns false with a reason when the file cannot be decoded or FFmpeg is
// not built in.
bool load_clip(const std::string& path, uint32_t width, uint32_t height, uint32_t max_frames,
               Clip& clip, std::string& error);

// A made-up street scene: a textured static background with sensor noise and a slow light drift,
// crossed by a few moving objects of their own colours. Deterministic.
void synthetic_clip(uint32_t width, uint32_t height, uint32_t frames, Clip& clip);

}  // namespace bench
