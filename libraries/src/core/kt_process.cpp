#include "kt_process.h"

#include <cstring>

#include "kt_morphology.h"

namespace {

const uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
const uint64_t kHigh = 0x8080808080808080ULL;

// Byte-wise a + b and a - b modulo 256 in one 64-bit word: the low seven bits of each byte are added
// or subtracted without crossing into the next byte, the top bit is fixed up with XOR.
inline uint64_t add_bytes(uint64_t a, uint64_t b) {
    return ((a & kLow7) + (b & kLow7)) ^ ((a ^ b) & kHigh);
}
inline uint64_t sub_bytes(uint64_t a, uint64_t b) {
    return ((a | kHigh) - (b & kLow7)) ^ ((a ^ ~b) & kHigh);
}
// 0xFF in every byte of w that is non-zero, 0 elsewhere: the motion-threshold table, eight at a time.
inline uint64_t nonzero_bytes(uint64_t w) {
    const uint64_t top = (((w & kLow7) + kLow7) | w) & kHigh;
    return (top >> 7) * 0xFFu;
}

inline uint64_t load(const unsigned char* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof(w));
    return w;
}
inline void store(unsigned char* p, uint64_t w) { std::memcpy(p, &w, sizeof(w)); }

// sum = sum - oldest + newest (oldest may be null); when mask is given it also receives the motion
// threshold of the new sum (0 stays 0, anything else 255).
void combine_bytes(unsigned char* sum, const unsigned char* oldest, const unsigned char* newest,
                   unsigned char* mask, uint32_t n) {
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t s = load(sum + i);
        if (oldest) s = sub_bytes(s, load(oldest + i));
        s = add_bytes(s, load(newest + i));
        store(sum + i, s);
        if (mask) store(mask + i, nonzero_bytes(s));
    }
    for (; i < n; ++i) {
        sum[i] = kt_combine_val(sum[i], oldest ? oldest[i] : 0, newest[i]);
        if (mask) mask[i] = sum[i] ? 255 : 0;
    }
}

// The change test of two frames of one shape into out, then current copied over previous.
void change_and_copy(unsigned char* previous, const unsigned char* current, unsigned char* out,
                     uint32_t pixels, uint32_t channels, uint32_t threshold, unsigned char value) {
    if (channels == 1) {
        // Plain byte loop: the compiler turns it into vector code.
        const unsigned t = threshold > 255 ? 255 : threshold;
        for (uint32_t i = 0; i < pixels; ++i) {
            const unsigned a = previous[i], b = current[i];
            const unsigned d = a > b ? a - b : b - a;
            out[i] = d > t ? value : 0;
            previous[i] = static_cast<unsigned char>(b);
        }
        return;
    }
    const uint64_t limit = static_cast<uint64_t>(threshold) * threshold;
    for (uint32_t i = 0; i < pixels; ++i, previous += 4, current += 4) {
        const int32_t d0 = previous[0] - current[0];
        const int32_t d1 = previous[1] - current[1];
        const int32_t d2 = previous[2] - current[2];
        const uint32_t energy = static_cast<uint32_t>(d0 * d0 + d1 * d1 + d2 * d2);
        out[i] = energy > limit ? value : 0;
        std::memcpy(previous, current, 4);
    }
}

bool is_plane(const kt_image* image, uint32_t width, uint32_t height) {
    return kt_image_consistent(image) && image->channels == 1 && image->width == width &&
           image->height == height;
}

// Warm-up: queue a copy of the frame; sum and mask start empty at the frame's size.
int warm_up(const kt_image* frame, kt_detection* det) {
    const uint32_t width = frame->width, height = frame->height;
    if (!kt_resize_images(width, height, det)) return 0;
    // Motion images still queued (the frame queue was replaced) would no longer match the new, empty
    // sum; start their queue afresh too.
    if (kt_size_queue(&det->diff_queue) != 0 &&
        !kt_set_imageq_len(det->diff_queue.capacity, det))
        return 0;
    kt_image* record = kt_get_image(det->prev_frame, width, height, frame->channels);
    if (!record) return 0;
    det->prev_frame = nullptr;
    std::memcpy(record->data, frame->data, frame->size);
    kt_image* evicted = nullptr;
    kt_push_queue(&det->frame_queue, record, &evicted);
    det->prev_frame = evicted;
    return 1;
}

}  // namespace

uint32_t kt_detection_threshold(float sensitivity) {
    if (!(sensitivity >= 0.0f && sensitivity <= 1.0f)) return 0;
    return static_cast<uint32_t>((1.0f - sensitivity) * KT_DETECTION_THRESHOLD_RANGE) +
           KT_DETECTION_THRESHOLD_FLOOR;
}

int kt_threshold(kt_image* previous, const kt_image* current, kt_image* output, uint32_t threshold,
                 unsigned char value) {
    if (!kt_image_consistent(previous) || !kt_image_consistent(current)) return 0;
    if (current->channels != 1 && current->channels != 4) return 0;
    if (previous->width != current->width || previous->height != current->height ||
        previous->channels != current->channels)
        return 0;
    if (!is_plane(output, current->width, current->height)) return 0;
    change_and_copy(previous->data, current->data, output->data, current->width * current->height,
                    current->channels, threshold, value);
    return 1;
}

int kt_combine(kt_image* sum, const kt_image* oldest, const kt_image* newest) {
    if (!kt_image_valid(sum) || !kt_image_valid(newest) || newest->size != sum->size) return 0;
    if (oldest && (!kt_image_valid(oldest) || oldest->size != sum->size)) return 0;
    combine_bytes(sum->data, oldest ? oldest->data : nullptr, newest->data, nullptr, sum->size);
    return 1;
}

int kt_process(const kt_image* frame, kt_image* scratch, kt_image* output, kt_detection* det) {
    if (!det || !det->initialized) return 0;
    if (!kt_image_consistent(frame) || (frame->channels != 1 && frame->channels != 4)) return 0;
    const uint32_t width = frame->width, height = frame->height;
    if (!is_plane(scratch, width, height)) return 0;
    if (scratch == output || (output && output->data && output->data == scratch->data)) return 0;

    const bool empty = det->mask.width == 0 && det->mask.height == 0;
    if (!empty && (det->mask.width != width || det->mask.height != height)) {
        if (!kt_detection_reset(det)) return 0;
    } else if (!empty &&
               (!is_plane(&det->sum, width, height) || !is_plane(&det->mask, width, height))) {
        // sum or mask were reshaped behind the detector's back: start over rather than overrun.
        if (!kt_detection_reset(det)) return 0;
    }

    if (det->mask.width == 0 || det->mask.height == 0 || !det->prev_frame) {
        if (!warm_up(frame, det)) return 0;
    } else {
        kt_image* previous = kt_get_image(det->prev_frame, width, height, frame->channels);
        if (!previous) return 0;
        kt_image* motion = kt_get_image(det->spare_diff, width, height, 1);
        if (!motion) return 0;
        det->spare_diff = nullptr;

        const uint32_t n = det->diff_queue.capacity;
        const unsigned char step = static_cast<unsigned char>(255u / n);
        change_and_copy(previous->data, frame->data, motion->data, width * height, frame->channels,
                        kt_detection_threshold(det->sensitivity), step);

        kt_image* evicted = nullptr;
        det->prev_frame = nullptr;
        kt_push_queue(&det->frame_queue, previous, &evicted);
        det->prev_frame = evicted;
        kt_image* oldest = nullptr;
        kt_push_queue(&det->diff_queue, motion, &oldest);
        det->spare_diff = oldest;

        // The mask changes only once N motion images are queued; until then it keeps its content.
        const bool full = oldest != nullptr && det->prev_frame != nullptr;
        combine_bytes(det->sum.data, oldest ? oldest->data : nullptr, motion->data,
                      full ? det->mask.data : nullptr, det->sum.size);
        if (full && !kt_erode_image(&det->mask, &det->mask, scratch)) return 0;
    }

    if (output) {
        if (!kt_ensure_image(output, det->mask.width, det->mask.height, 1)) return 0;
        if (output->data) std::memcpy(output->data, det->mask.data, det->mask.size);
    }
    return 1;
}
