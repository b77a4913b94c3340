#include "kt_process.h"

#include <cstring>


namespace {

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Sixteen bytes per operation through the compiler's portable vector types (SSE2 on x86, NEON on ARM).
// The lane arithmetic below reads byte k of a pixel as bits 8k.. of its word: little-endian only.
typedef unsigned char u8x16 __attribute__((vector_size(16)));
typedef uint16_t u16x8 __attribute__((vector_size(16)));
typedef int32_t i32x4 __attribute__((vector_size(16)));
typedef uint32_t u32x4 __attribute__((vector_size(16)));
typedef uint64_t u64x2 __attribute__((vector_size(16)));
#define KT_PROCESS_VECTORS 1

// Lanes i, j, k, l of the eight lanes of a and b (four 32-bit lanes each); GCC and Clang spell it
// differently.
#if defined(__clang__)
#define KT_SHUFFLE(a, b, i, j, k, l) __builtin_shufflevector(a, b, i, j, k, l)
#else
#define KT_SHUFFLE(a, b, i, j, k, l) __builtin_shuffle(a, b, i32x4{i, j, k, l})
#endif

template <class V>
inline V load(const unsigned char* p) {
    V v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}
template <class V>
inline void store(unsigned char* p, V v) {
    std::memcpy(p, &v, sizeof(v));
}

inline u8x16 absolute_difference(u8x16 a, u8x16 b) {
    const u8x16 a_above = reinterpret_cast<u8x16>(a > b);
    return ((a - b) & a_above) | ((b - a) & ~a_above);
}

inline u8x16 maximum(u8x16 a, u8x16 b) { return a > b ? a : b; }

inline bool any_set(u8x16 v) {
    const u64x2 words = reinterpret_cast<u64x2>(v);
    return (words[0] | words[1]) != 0;
}

// Lane k all ones when pixel k of four, given as byte differences, has a colour energy (squared
// differences of bytes 0..2) above limit. Squares of bytes fit 16 bits; their sum needs 32.
inline i32x4 moved_pixels(u8x16 difference, i32x4 limit) {
    const u16x8 words = reinterpret_cast<u16x8>(difference);
    const u16x8 even = words & 0xFF, odd = words >> 8;
    const u32x4 blue_red = reinterpret_cast<u32x4>(even * even);   // byte 0 low half, byte 2 high
    const u32x4 green = reinterpret_cast<u32x4>(odd * odd) & 0xFFFFu;  // byte 1; byte 3 dropped
    const u32x4 energy = (blue_red & 0xFFFFu) + (blue_red >> 16) + green;
    return reinterpret_cast<i32x4>(energy) > limit;
}

// Sixteen pixels' motion bytes from four masks of four pixels each (mask q holds pixels 4q..4q+3):
// a 4x4 transpose puts pixel 4j + q in lane j of row q, so byte q of lane j is pixel 4j + q.
inline u8x16 pack_masks(i32x4 m0, i32x4 m1, i32x4 m2, i32x4 m3) {
    const i32x4 t0 = KT_SHUFFLE(m0, m1, 0, 4, 1, 5), t1 = KT_SHUFFLE(m0, m1, 2, 6, 3, 7);
    const i32x4 t2 = KT_SHUFFLE(m2, m3, 0, 4, 1, 5), t3 = KT_SHUFFLE(m2, m3, 2, 6, 3, 7);
    const u32x4 r0 = reinterpret_cast<u32x4>(KT_SHUFFLE(t0, t2, 0, 1, 4, 5));
    const u32x4 r1 = reinterpret_cast<u32x4>(KT_SHUFFLE(t0, t2, 2, 3, 6, 7));
    const u32x4 r2 = reinterpret_cast<u32x4>(KT_SHUFFLE(t1, t3, 0, 1, 4, 5));
    const u32x4 r3 = reinterpret_cast<u32x4>(KT_SHUFFLE(t1, t3, 2, 3, 6, 7));
    return reinterpret_cast<u8x16>((r0 & 0xFFu) | (r1 & 0xFF00u) | (r2 & 0xFF0000u) |
                                   (r3 & 0xFF000000u));
}
#endif

// The change test of two frames of one shape into out (value where the pixel changed by more than
// threshold, else 0), then current copied over previous.
void change_and_copy(unsigned char* previous, const unsigned char* current, unsigned char* out,
                     uint32_t pixels, uint32_t channels, uint32_t threshold, unsigned char value) {
    uint32_t i = 0;
    if (channels == 1) {
        const unsigned t = threshold > 255 ? 255 : threshold;
#ifdef KT_PROCESS_VECTORS
        const u8x16 tv = u8x16{} + static_cast<unsigned char>(t);
        const u8x16 vv = u8x16{} + value;
        for (; i + 16 <= pixels; i += 16) {
            const u8x16 a = load<u8x16>(previous + i), b = load<u8x16>(current + i);
            store(out + i, reinterpret_cast<u8x16>(absolute_difference(a, b) > tv) & vv);
            store(previous + i, b);
        }
#endif
        for (; i < pixels; ++i) {
            const unsigned a = previous[i], b = current[i];
            const unsigned d = a > b ? a - b : b - a;
            out[i] = d > t ? value : 0;
            previous[i] = static_cast<unsigned char>(b);
        }
        return;
    }
    // The largest energy of three byte differences is 3 x 255 x 255; a limit beyond it never fires.
    const uint64_t limit64 = static_cast<uint64_t>(threshold) * threshold;
    const int32_t limit = limit64 > 195075u ? 195075 : static_cast<int32_t>(limit64);
#ifdef KT_PROCESS_VECTORS
    // Sixteen pixels per step. Where no colour byte differs by more than `quiet` (3 quiet^2 <=
    // limit) no pixel can exceed the limit, which settles a still scene without any squaring.
    uint32_t quiet = 0;
    while (quiet < 255 && 3 * (quiet + 1) * (quiet + 1) <= static_cast<uint32_t>(limit)) ++quiet;
    const u8x16 quiet_v = u8x16{} + static_cast<unsigned char>(quiet);
    const u8x16 colour = reinterpret_cast<u8x16>(u32x4{} + 0x00FFFFFFu);
    const u8x16 vv = u8x16{} + value;
    const i32x4 lv = i32x4{} + limit;
    for (; i + 16 <= pixels; i += 16) {
        unsigned char* p = previous + 4 * i;
        const unsigned char* c = current + 4 * i;
        u8x16 d[4];
        for (int q = 0; q < 4; ++q)
            d[q] = absolute_difference(load<u8x16>(p + 16 * q), load<u8x16>(c + 16 * q));
        std::memcpy(p, c, 64);
        const u8x16 peak = maximum(maximum(d[0], d[1]), maximum(d[2], d[3])) & colour;
        u8x16 motion = u8x16{};
        if (any_set(reinterpret_cast<u8x16>(peak > quiet_v)))
            motion = pack_masks(moved_pixels(d[0], lv), moved_pixels(d[1], lv),
                                moved_pixels(d[2], lv), moved_pixels(d[3], lv)) &
                     vv;
        store(out + i, motion);
    }
#endif
    for (; i < pixels; ++i) {
        unsigned char* p = previous + 4 * i;
        const unsigned char* c = current + 4 * i;
        const int32_t d0 = p[0] - c[0], d1 = p[1] - c[1], d2 = p[2] - c[2];
        out[i] = d0 * d0 + d1 * d1 + d2 * d2 > limit ? value : 0;
        std::memcpy(p, c, 4);
    }
}

// sum = sum - oldest + newest byte by byte modulo 256 over n bytes (oldest may be null); when
// motion is given it receives the motion threshold of the new sum (0 stays 0, anything else 255).
void combine_bytes(unsigned char* sum, const unsigned char* oldest, const unsigned char* newest,
                   unsigned char* motion, uint32_t n) {
    uint32_t i = 0;
#ifdef KT_PROCESS_VECTORS
    const u8x16 zero = u8x16{};
    for (; i + 16 <= n; i += 16) {
        u8x16 s = load<u8x16>(sum + i);
        if (oldest) s -= load<u8x16>(oldest + i);
        s += load<u8x16>(newest + i);
        store(sum + i, s);
        if (motion) store(motion + i, reinterpret_cast<u8x16>(s != zero));
    }
#endif
    for (; i < n; ++i) {
        sum[i] = kt_combine_val(sum[i], oldest ? oldest[i] : 0, newest[i]);
        if (motion) motion[i] = sum[i] ? 255 : 0;
    }
}

// One row of the 3x3 erosion: out[x] = AND of rows above, at and below over x-1 .. x+1 for the
// interior columns; the first and last column keep the row's own value.
void erode_row(unsigned char* out, const unsigned char* above, const unsigned char* at,
               const unsigned char* below, uint32_t width) {
    if (width < 3) {
        std::memcpy(out, at, width);
        return;
    }
    out[0] = at[0];
    out[width - 1] = at[width - 1];
    uint32_t x = 1;
#ifdef KT_PROCESS_VECTORS
    for (; x + 17 <= width; x += 16) {
        const u8x16 left = load<u8x16>(above + x - 1) & load<u8x16>(at + x - 1) & load<u8x16>(below + x - 1);
        const u8x16 mid = load<u8x16>(above + x) & load<u8x16>(at + x) & load<u8x16>(below + x);
        const u8x16 right = load<u8x16>(above + x + 1) & load<u8x16>(at + x + 1) & load<u8x16>(below + x + 1);
        store(out + x, left & mid & right);
    }
#endif
    for (; x + 1 < width; ++x)
        out[x] = static_cast<unsigned char>(above[x - 1] & at[x - 1] & below[x - 1] & above[x] & at[x] &
                                            below[x] & above[x + 1] & at[x + 1] & below[x + 1]);
}

// The full-queue step in one pass over the rows: running sum, motion threshold and the 3x3 erosion
// (borders keep the thresholded value, as an in-place erosion leaves them), with the thresholded
// rows kept in a ring of three rows of the scratch image. The output, when given, gets each mask
// row as it is finished.
void sum_threshold_erode(unsigned char* sum, const unsigned char* oldest, const unsigned char* newest,
                         unsigned char* mask, unsigned char* output, unsigned char* ring,
                         uint32_t width, uint32_t height) {
    auto ring_row = [&](uint32_t y) { return ring + static_cast<size_t>(y % 3) * width; };
    auto threshold_row = [&](uint32_t y) {
        const size_t at = static_cast<size_t>(y) * width;
        combine_bytes(sum + at, oldest + at, newest + at, ring_row(y), width);
    };
    auto finish_row = [&](uint32_t y, const unsigned char* row) {
        const size_t at = static_cast<size_t>(y) * width;
        if (row != mask + at) std::memcpy(mask + at, row, width);
        if (output) std::memcpy(output + at, mask + at, width);
    };
    if (height < 3) {
        // Too short to erode: the mask is the thresholded sum.
        for (uint32_t y = 0; y < height; ++y) {
            threshold_row(y);
            finish_row(y, ring_row(y));
        }
        return;
    }
    threshold_row(0);
    finish_row(0, ring_row(0));
    threshold_row(1);
    for (uint32_t y = 1; y + 1 < height; ++y) {
        threshold_row(y + 1);
        unsigned char* row = mask + static_cast<size_t>(y) * width;
        erode_row(row, ring_row(y - 1), ring_row(y), ring_row(y + 1), width);
        finish_row(y, row);
    }
    finish_row(height - 1, ring_row(height - 1));
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
        // The output is shaped before any state changes, so a failure leaves the detector as it was.
        if (output && !kt_ensure_image(output, width, height, 1)) return 0;
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
        if (oldest != nullptr && det->prev_frame != nullptr) {
            // Erosion and the copy to the output happen row by row in the same pass.
            sum_threshold_erode(det->sum.data, oldest->data, motion->data, det->mask.data,
                                output ? output->data : nullptr, scratch->data, width, height);
            return 1;
        }
        combine_bytes(det->sum.data, oldest ? oldest->data : nullptr, motion->data, nullptr,
                      det->sum.size);
    }

    if (output) {
        if (!kt_ensure_image(output, det->mask.width, det->mask.height, 1)) return 0;
        if (output->data) std::memcpy(output->data, det->mask.data, det->mask.size);
    }
    return 1;
}
