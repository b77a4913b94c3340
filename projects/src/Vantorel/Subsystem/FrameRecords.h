// FrameRecords: frame records serialized once per distinct viewer request and recycled.
#pragma once

#include <cstdint>
#include <vector>

#include "Frame.h"
#include "kttl_SmartPtr.h"
#include "ktsl_Set.h"
#include "ktsl_StreamData.h"

// Viewers that ask for the same images, tracks and carried flags share one record per frame. A
// record buffer is reused once no sending queue holds it any more, so a steady set of viewers
// allocates nothing per frame. Used from the pipeline thread only.
class FrameRecords {
public:
    // Requests not seen for this many frames are forgotten with their buffers.
    static constexpr uint64_t kForgetAfterFrames = 300;
    // Buffers kept per request; more in flight at once are allocated and not kept.
    static constexpr size_t kPoolPerRequest = 8;

    // A new frame: every cached record is stale.
    void beginFrame();
    // The record of `frame` carrying `images` (only those names travel), its objects when
    // `tracks`, and its flags ORed with `extraFlags`. The frame's requested-image set is left at
    // `images` (copied only when it differs); its flags and objects-included flag are restored.
    // Throws what serialization throws.
    const kttl::SmartPtr<ktsl::StreamData>& recordFor(Frame& frame, const ktsl::Set<kttl::String>& images, bool tracks,
                                                      uint32_t extraFlags);
    // Records built for the current frame (one per distinct request).
    unsigned builtThisFrame() const { return m_built; }

private:
    struct Entry {
        ktsl::Set<kttl::String> images;
        bool tracks = false;
        uint32_t flags = 0;
        uint64_t builtFrame = 0;
        uint64_t usedFrame = 0;
        std::vector<kttl::SmartPtr<ktsl::StreamData>> pool;
        kttl::SmartPtr<ktsl::StreamData> current;
    };
    kttl::SmartPtr<ktsl::StreamData> freeBuffer(Entry& entry);

    std::vector<Entry> m_entries;
    uint64_t m_frame = 0;
    unsigned m_built = 0;
};
