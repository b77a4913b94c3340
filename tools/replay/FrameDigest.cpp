// FrameDigest: per-frame fingerprints of masks, blobs, objects and events.
#include "FrameDigest.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

class Fnv {
public:
    void bytes(const void* data, size_t n) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i) m_hash = (m_hash ^ p[i]) * 0x100000001b3ull;
    }
    // Fixed width and byte order, whatever the platform's int and endianness.
    void u32(uint32_t v) {
        const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        bytes(b, 4);
    }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    void text(const kttl::String& s) {
        u32(static_cast<uint32_t>(s.length()));
        bytes(s.c_str(), s.length());
    }
    uint64_t value() const { return m_hash; }

private:
    uint64_t m_hash = 0xcbf29ce484222325ull;
};

const kttl::String kProcessed("Processed Image");
const kttl::String kMoving("Moving");
const kttl::String kForeground("foreground-pixels");

}  // namespace

std::string frameDigest(uint64_t index, const ProcessFrame& frame, const ktsl::List<Event>& events) {
    char mask[20] = "-";
    if (frame.isImageSet(kProcessed, Frame::kGray)) {
        const kt_image* image = frame.getImage(kProcessed, Frame::kGray);
        Fnv h;
        h.u32(image->width);
        h.u32(image->height);
        for (uint32_t y = 0; y < image->height; ++y)
            h.bytes(image->data + static_cast<size_t>(y) * image->width * image->channels,
                    static_cast<size_t>(image->width) * image->channels);
        std::snprintf(mask, sizeof mask, "%016" PRIx64, h.value());
    }

    Fnv blobs;
    unsigned blobCount = 0;
    for (const kt_vertex* v = frame.getUntracked(kMoving, blobCount); v != nullptr; v = v->next) {
        blobs.u32(v->x);
        blobs.u32(v->y);
        blobs.u32(v->width);
        blobs.u32(v->height);
        blobs.f32(v->confidence);
    }

    Fnv objects;
    uint32_t objectCount = 0;
    for (const auto& entry : frame.getObjects()) {
        const Object& object = entry.second;
        ktml::BoundingBox<int> box;
        const bool placed = object.newest(box);
        objects.u32(static_cast<uint32_t>(entry.first));
        objects.text(object.getState());
        objects.u32(placed);
        if (placed) {
            objects.u32(static_cast<uint32_t>(box.x));
            objects.u32(static_cast<uint32_t>(box.y));
            objects.u32(static_cast<uint32_t>(box.width));
            objects.u32(static_cast<uint32_t>(box.height));
        }
        ++objectCount;
    }

    Fnv raised;
    uint32_t eventCount = 0;
    for (const Event& event : events) {
        raised.text(event.getSpyType());
        raised.text(event.getType());
        raised.text(event.getSubtitle());
        std::set<int> ids;
        event.getObjectIDs(event.getOrigin(), ids);
        raised.u32(static_cast<uint32_t>(ids.size()));
        for (int id : ids) raised.u32(static_cast<uint32_t>(id));
        raised.u32(static_cast<uint32_t>(event.getConfidence()));
        ++eventCount;
    }

    char line[256];
    std::snprintf(line, sizeof line,
                  "frame=%" PRIu64 " fg=%s mask=%s blobs=%u:%016" PRIx64 " objects=%u:%016" PRIx64
                  " events=%u:%016" PRIx64,
                  index, frame.getAttribute(kForeground).c_str(), mask, blobCount, blobs.value(), objectCount,
                  objects.value(), eventCount, raised.value());
    return line;
}
