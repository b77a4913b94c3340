#include "kt_morphology.h"

#include <cstring>

#include "kt_bytes16.h"

namespace {

struct OrOp {
    template <class T>
    static T apply(T a, T b) { return a | b; }
};
struct AndOp {
    template <class T>
    static T apply(T a, T b) { return a & b; }
};

inline uint32_t load32(const unsigned char* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);  // unaligned-safe; a single load on ARMv7 and x86
    return w;
}
inline void store32(unsigned char* p, uint32_t w) { std::memcpy(p, &w, 4); }

// out[i] = a[i] OP b[i] OP c[i] for i < n, four bytes at a time. OR and AND act on each bit on its
// own, so the word result is bit-identical to the per-byte one. out must not overlap the inputs.
template <class Op>
void combine3(unsigned char* __restrict out, const unsigned char* a, const unsigned char* b,
              const unsigned char* c, size_t n) {
    size_t i = 0;
#ifdef KT_BYTES16
    for (; i + 16 <= n; i += 16)
        kt_store16(out + i, Op::apply(Op::apply(kt_load16(a + i), kt_load16(b + i)), kt_load16(c + i)));
#endif
    for (; i + 4 <= n; i += 4)
        store32(out + i, Op::apply(Op::apply(load32(a + i), load32(b + i)), load32(c + i)));
    for (; i < n; ++i)
        out[i] = static_cast<unsigned char>(Op::apply(Op::apply(a[i], b[i]), c[i]));
}

// out[x] = s[x-1] OP s[x] OP s[x+1] for x in 1 .. w-2 (needs w >= 3); out[0], out[w-1] not written.
template <class Op>
void horizontal(unsigned char* __restrict out, const unsigned char* s, uint32_t w) {
    combine3<Op>(out + 1, s, s + 1, s + 2, w - 2);
}

// Whether the byte ranges of two images overlap.
bool overlap(const kt_image* a, const kt_image* b) {
    return a->data < b->data + b->size && b->data < a->data + a->size;
}

// Row by row: the vertical combination of a row goes to a scratch row that stays in the cache and
// the horizontal pass reads it from there, so the pass streams the image once in and once out. In
// place, each source row is saved before it is overwritten, since the next row's vertical pass still
// needs it. Uses two rows of the scratch. Same bytes as the two whole-image passes.
template <class Op>
void morph_rows(const kt_image* source, kt_image* destination, kt_image* scratch) {
    const uint32_t w = source->width, h = source->height;
    const bool in_place = source->data == destination->data;
    unsigned char* vertical = scratch->data;
    unsigned char* saved = scratch->data + w;
    const unsigned char* above =
        in_place ? static_cast<unsigned char*>(std::memcpy(saved, source->data, w)) : source->data;
    for (uint32_t y = 1; y + 1 < h; ++y) {
        const unsigned char* row = source->data + size_t(y) * w;
        combine3<Op>(vertical, above, row, row + w, w);
        // The saved copy of the row above was read just now, so it can take this row.
        above = in_place ? static_cast<unsigned char*>(std::memcpy(saved, row, w)) : row;
        horizontal<Op>(destination->data + size_t(y) * w, vertical, w);
    }
}

template <class Op>
int morph_whole(const kt_image* source, kt_image* destination, kt_image* scratch) {
    const uint32_t w = source->width, h = source->height;
    if (h < 3) return 1;
    if (w >= 3 && (source->data == destination->data || !overlap(source, destination))) {
        morph_rows<Op>(source, destination, scratch);
        return 1;
    }
    // Partly overlapping images: the whole vertical pass first, then the horizontal one.
    // Vertical pass: rows 1 .. h-2 are one contiguous run, so the word loop spans row ends too.
    const size_t run = size_t(h - 2) * w;
    combine3<Op>(scratch->data + w, source->data, source->data + w, source->data + 2 * size_t(w), run);
    if (w < 3) return 1;
    for (uint32_t y = 1; y + 1 < h; ++y) {
        const size_t off = size_t(y) * w;
        horizontal<Op>(destination->data + off, scratch->data + off, w);
    }
    return 1;
}

// The box of the source, as an image of its own: copy it to the scratch, run the vertical pass in
// place there (keeping each row's old value in a stack strip), then the horizontal pass into the
// destination's box.
template <class Op>
int morph_box(const kt_image* source, kt_image* destination, kt_image* scratch, const kt_bbox* box) {
    const uint32_t bw = box->width, bh = box->height, W = source->width;
    if (bh < 3) return 1;
    unsigned char* s = scratch->data;
    for (uint32_t y = 0; y < bh; ++y)
        std::memcpy(s + size_t(y) * bw, source->data + size_t(box->y + y) * W + box->x, bw);

    constexpr size_t kStrip = 256;  // bytes of one column strip; two of them live on the stack
    unsigned char prev_buf[kStrip], cur_buf[kStrip];
    for (size_t x0 = 0; x0 < bw; x0 += kStrip) {
        const size_t len = bw - x0 < kStrip ? bw - x0 : kStrip;
        unsigned char* prev = prev_buf;
        unsigned char* cur = cur_buf;
        std::memcpy(prev, s + x0, len);
        for (uint32_t y = 1; y + 1 < bh; ++y) {
            unsigned char* row = s + size_t(y) * bw + x0;
            std::memcpy(cur, row, len);
            combine3<Op>(row, prev, cur, row + bw, len);
            unsigned char* t = prev;
            prev = cur;
            cur = t;
        }
    }
    if (bw < 3) return 1;
    for (uint32_t y = 1; y + 1 < bh; ++y) {
        horizontal<Op>(destination->data + size_t(box->y + y) * W + box->x, s + size_t(y) * bw, bw);
    }
    return 1;
}

int check_pair(const kt_image* source, const kt_image* destination, const kt_image* scratch) {
    if (!kt_image_consistent(source) || !kt_image_consistent(destination) ||
        !kt_image_consistent(scratch))
        return 0;
    if (source->channels != 1 || destination->size != source->size) return 0;
    // The scratch is written while source and destination are still read.
    if (scratch->data == source->data || scratch->data == destination->data) return 0;
    return 1;
}

template <class Op>
int morph(const kt_image* source, kt_image* destination, kt_image* scratch) {
    if (!check_pair(source, destination, scratch)) return 0;
    if (scratch->size != source->size) return 0;
    return morph_whole<Op>(source, destination, scratch);
}

template <class Op>
int morph_roi(const kt_image* source, kt_image* destination, kt_image* scratch, const kt_bbox* box) {
    if (!box) return morph<Op>(source, destination, scratch);
    if (!check_pair(source, destination, scratch)) return 0;
    if (!kt_bbox_inside(box, source->width, source->height)) return 0;
    if (scratch->width != box->width || scratch->height != box->height || scratch->channels != 1)
        return 0;
    return morph_box<Op>(source, destination, scratch, box);
}

}  // namespace

int kt_dilate_image(const kt_image* source, kt_image* destination, kt_image* scratch) {
    return morph<OrOp>(source, destination, scratch);
}

int kt_erode_image(const kt_image* source, kt_image* destination, kt_image* scratch) {
    return morph<AndOp>(source, destination, scratch);
}

int kt_dilate_image_roi(const kt_image* source, kt_image* destination, kt_image* scratch,
                        const kt_bbox* box) {
    return morph_roi<OrOp>(source, destination, scratch, box);
}

int kt_erode_image_roi(const kt_image* source, kt_image* destination, kt_image* scratch,
                       const kt_bbox* box) {
    return morph_roi<AndOp>(source, destination, scratch, box);
}
