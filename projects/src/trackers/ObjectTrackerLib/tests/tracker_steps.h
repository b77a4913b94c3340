// tracker_steps: feeds hand-made detections to an ObjectTracker through the frame harness.
#pragma once

#include <vector>

#include "ObjectTracker.h"
#include "frame_harness.h"

struct Blob {
    int x, y, width, height;
    float confidence;
};

// Loads `image` at `ms`, adds the blobs as "Moving" detections (in order) and runs the tracker.
inline bool trackStep(FrameHarness& h, ObjectTracker& tracker, const kt_image& image, int64_t ms,
                      const std::vector<Blob>& blobs, uint32_t flags = 0) {
    h.load(image, ms);
    // As the pipeline does: the processes see the frame size (occlusion segments are made for it).
    h.frame().setResolution(ktvl::Resolution(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height)));
    h.frame().setFrameFlags(flags);
    for (auto it = blobs.rbegin(); it != blobs.rend(); ++it)
        h.frame().addUntracked(ktml::BoundingBox<int>(it->x, it->y, it->width, it->height), "Moving", it->confidence);
    return tracker.processFrame(h.frame());
}
