#include "kt_bbox.h"

void kt_bbox_cpy(kt_bbox* destination, const kt_bbox* source) {
    if (!destination || !source) return;
    *destination = *source;
}

void kt_bbox_restrict(kt_bbox* box, uint32_t W, uint32_t H) {
    if (!box) return;
    // Signed 64-bit so W - x - 1 cannot wrap to a huge width when the box starts at or past W - 1.
    const int64_t room_x = int64_t(W) - 1 - box->x;
    if (int64_t(box->x) + box->width > int64_t(W) - 1) box->width = uint32_t(room_x > 0 ? room_x : 0);
    const int64_t room_y = int64_t(H) - 1 - box->y;
    if (int64_t(box->y) + box->height > int64_t(H) - 1)
        box->height = uint32_t(room_y > 0 ? room_y : 0);
}

void kt_bbox_center(const kt_bbox* box, kt_point* point) {
    if (!box || !point) return;
    point->x = int32_t(box->x + box->width / 2);
    point->y = int32_t(box->y + box->height / 2);
}

int kt_bbox_contains(const kt_bbox* box, const kt_point* point) {
    if (!box || !point) return 0;
    const int64_t px = point->x, py = point->y;
    return px >= int64_t(box->x) && px < int64_t(box->x) + box->width && py >= int64_t(box->y) &&
                   py < int64_t(box->y) + box->height
               ? 1
               : 0;
}

int kt_bbox_inside(const kt_bbox* box, uint32_t width, uint32_t height) {
    if (!box) return 0;
    return uint64_t(box->x) + box->width <= width && uint64_t(box->y) + box->height <= height ? 1 : 0;
}

namespace {
uint32_t add_sat(uint32_t a, uint64_t b) {
    const uint64_t s = uint64_t(a) + b;
    return s > UINT32_MAX ? UINT32_MAX : uint32_t(s);
}
}  // namespace

void kt_bbox_inflate(kt_bbox* box, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
    if (!box) return;
    const uint32_t l = left < box->x ? left : box->x;
    const uint32_t t = top < box->y ? top : box->y;
    box->x -= l;
    box->y -= t;
    box->width = add_sat(box->width, uint64_t(l) + right);
    box->height = add_sat(box->height, uint64_t(t) + bottom);
}

uint64_t kt_bbox_overlap(const kt_bbox* a, const kt_bbox* b) {
    if (!a || !b) return 0;
    const uint64_t left = a->x > b->x ? a->x : b->x, top = a->y > b->y ? a->y : b->y;
    const uint64_t ar = uint64_t(a->x) + a->width, br = uint64_t(b->x) + b->width;
    const uint64_t ab = uint64_t(a->y) + a->height, bb = uint64_t(b->y) + b->height;
    const uint64_t right = ar < br ? ar : br, bottom = ab < bb ? ab : bb;
    if (right <= left || bottom <= top) return 0;
    return (right - left) * (bottom - top);
}

uint64_t kt_bbox_area(const kt_bbox* box) { return box ? uint64_t(box->width) * box->height : 0; }

int kt_bbox_intersects(const kt_bbox* box, const kt_segment* segment) {
    if (!box || !segment) return 0;
    // Corners beyond the signed range are pinned to its edge rather than wrapped negative.
    auto pin = [](uint64_t v) { return int32_t(v > uint64_t(INT32_MAX) ? INT32_MAX : v); };
    const int32_t x0 = pin(box->x), y0 = pin(box->y);
    const int32_t x1 = pin(uint64_t(box->x) + box->width), y1 = pin(uint64_t(box->y) + box->height);
    kt_segment edge;
    kt_set_segment(&edge, x0, y0, x1, y0);  // top
    if (kt_intersects(&edge, segment)) return 1;
    kt_set_segment(&edge, x0, y1, x1, y1);  // bottom
    if (kt_intersects(&edge, segment)) return 1;
    kt_set_segment(&edge, x0, y0, x0, y1);  // left
    if (kt_intersects(&edge, segment)) return 1;
    kt_set_segment(&edge, x1, y0, x1, y1);  // right
    return kt_intersects(&edge, segment);
}
