// frame_harness: pushes frames with explicit stream times through a pipeline stage and collects what
// comes out, without sleeping and without reading the wall clock.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ProcessFrame.h"
#include "VideoProcess.h"
#include "kt_image.h"
#include "kttl_ElapsedTime.h"
#include "kttl_TimeStamp.h"
#include "manual_clock.h"

// One untracked detection as a plain value.
struct Detection {
    uint32_t x, y, width, height;  // inclusive extents, as the blob list holds them
    float confidence;
};

// What one frame produced.
struct FrameResult {
    bool ok = false;
    std::vector<Detection> moving;       // the "Moving" untracked list, in chain order
    std::string sceneChange;             // "scene-change" attribute
    std::string foregroundPixels;        // "foreground-pixels" attribute
    std::vector<std::string> setImages;  // names of the images set in the frame
};

// Owns one ProcessFrame reused for every frame, as the camera loop does, and a manual clock that
// advances with the stream position (so a 5000 ms countdown passes after 5000 ms of frames).
class FrameHarness {
  public:
    explicit FrameHarness(uint32_t startTick = 1000000) : m_clock(startTick) {}

    ProcessFrame& frame() { return m_frame; }
    ManualClock& clock() { return m_clock; }

    // Fills the frame with `image` (one channel: gray, type 2; four channels: blue-green-red-luminance,
    // types 1 and 2) at stream position `positionMs`, with a time stamp derived from it. The clock
    // moves forward by the position step since the previous frame.
    void load(const kt_image& image, int64_t positionMs) {
        if (m_lastPosition >= 0 && positionMs > m_lastPosition) {
            m_clock.advance(static_cast<uint32_t>(positionMs - m_lastPosition));
        }
        m_lastPosition = positionMs;
        m_frame.clear();
        if (image.channels == 4) {
            m_frame.setBGRY("Native Image", image);
        } else {
            m_frame.setImage("Native Image", image, 2);
        }
        // A fixed epoch plus the position: the same stream gives the same stamps on every run.
        const int64_t ms = kEpochMs + positionMs;
        m_frame.setTimePosition(kttl::TimeStamp(ms / 1000, ms % 1000), kttl::ElapsedTime(positionMs));
    }

    // Runs `stage(frame)` (a SimpleTracker's process or a VideoProcess's processFrame) on the loaded
    // frame and collects the frame's outputs.
    template <class Stage>
    FrameResult run(Stage&& stage) {
        FrameResult out;
        out.ok = stage(m_frame);
        unsigned count = 0;
        for (const kt_vertex* v = m_frame.getUntracked("Moving", count); v != nullptr; v = v->next) {
            out.moving.push_back(Detection{v->x, v->y, v->width, v->height, v->confidence});
        }
        out.sceneChange = m_frame.getAttribute("scene-change");
        out.foregroundPixels = m_frame.getAttribute("foreground-pixels");
        return out;
    }

  private:
    static constexpr int64_t kEpochMs = 1700000000000LL;
    ManualClock m_clock;
    ProcessFrame m_frame;
    int64_t m_lastPosition = -1;
};

// A gray or four-channel image filled with `value` (every byte), owned by the caller (kt_free_image).
inline kt_image makeImage(uint32_t width, uint32_t height, uint32_t channels, unsigned char value) {
    kt_image image{};
    kt_init_image(&image, width, height, channels);
    if (image.data != nullptr)
        std::memset(image.data, value, image.size);
    return image;
}

// Paints the box [x, x + w) x [y, y + h) of `image` with `value` in every channel, clipped to the image.
inline void paintBox(kt_image& image, int x, int y, int w, int h, unsigned char value) {
    for (int r = y < 0 ? 0 : y; r < y + h && r < static_cast<int>(image.height); ++r) {
        for (int c = x < 0 ? 0 : x; c < x + w && c < static_cast<int>(image.width); ++c) {
            std::memset(image.data + (static_cast<size_t>(r) * image.width + c) * image.channels, value,
                        image.channels);
        }
    }
}
