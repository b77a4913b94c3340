// csdk_source: a producer of NV21 frames at the size the application set.
#pragma once

#include <cstdint>
#include <string>

namespace csdk_standin {

class FrameSource {
public:
    enum class Result { Ok, End, Error };

    virtual ~FrameSource() = default;
    // One line for the SDK's report ("synthetic scene (night)", "file clip.mp4 640x480 @ 25 fps").
    virtual std::string describe() const = 0;
    // Sets the output size; may allocate. False when the size cannot be served.
    virtual bool prepare(int width, int height) = 0;
    // Writes the next frame as NV21 into `nv21` (width x height x 3 / 2 bytes, size set by prepare).
    // Must not allocate in steady state. Error leaves the buffer as it was.
    virtual Result next(uint8_t* nv21) = 0;
    // Starts the source again from its beginning; false when it cannot.
    virtual bool rewind() = 0;
    // The rate at which the source's frames are meant to be shown; 0 when unknown.
    virtual double nominalFps() const = 0;
    // A live source (network stream) is paced by its sender, not by the SDK.
    virtual bool isLive() const { return false; }
    // Text of the last Error result, for the SDK's report.
    virtual std::string lastError() const { return std::string(); }
};

}  // namespace csdk_standin
