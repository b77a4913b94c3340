// bench_mog2: the comparison path built from OpenCV: MOG2 background subtraction (one thread,
// default parameters), a 3x3 opening and closing, and connected components with statistics.
#pragma once

#include <cstdint>

#include "bench_clip.h"

namespace bench {

struct Mog2Result {
    bool available = false;      // false when built without OpenCV
    double subtract_ms = 0.0;    // median per frame of each stage
    double morphology_ms = 0.0;
    double components_ms = 0.0;
    double path_ms = 0.0;        // median per frame of the whole path
    double allocs_per_frame = 0.0;
};

// Runs the path over the clip (gray frames, or the colour frames as three-channel BGR): warm_frames
// frames to train, then `passes` timed passes over all frames.
Mog2Result run_mog2(const Clip& clip, bool colour, bool shadows, uint32_t warm_frames,
                    uint32_t passes);

}  // namespace bench
