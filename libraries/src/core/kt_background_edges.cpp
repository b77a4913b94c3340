#include "kt_background_edges.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "kt_alloc.h"
#include "kt_background_args.h"
#include "kt_background_update.h"
#include "kt_image_copy.h"
#include "kt_sobel.h"

namespace {

/* Degrees per radian and a full turn, in single precision like the rest of the model's floating point:
 * orientations are truncated to whole degrees, so the rounding of these decides the boundaries. */
const float kDegreesPerRadian = 57.29578f;
const float kTwoPi = 6.2831855f;

/* A ghost test needs more edges than this before their match ratio means anything. */
const uint32_t kMinEdges = 9;

/* Uniform-region limits: variance of a channel (grey levels squared) and brightness (mean). */
const float kVarianceLimit = 625.0f;
const float kChromaVarianceLimit = 100.0f;
const float kBrightMean = 50.0f;
const float kBrightLightness = 30.747f;

// Population mean and variance from exact integer sums of n samples.
void moments(uint64_t sum, uint64_t sum_sq, uint64_t n, float* variance, float* mean) {
    const double m = static_cast<double>(sum) / static_cast<double>(n);
    double v = static_cast<double>(sum_sq) / static_cast<double>(n) - m * m;
    if (v < 0.0) v = 0.0;  // rounding of the difference
    *mean = static_cast<float>(m);
    *variance = static_cast<float>(v);
}

bool box_inside(const kt_bbox* box, uint32_t width, uint32_t height) {
    return static_cast<uint64_t>(box->x) + box->width <= width &&
           static_cast<uint64_t>(box->y) + box->height <= height;
}

// Non-zero edge average of a model pixel, truncated to whole degrees.
inline int32_t learnt_angle(const kt_background* model, uint32_t pixel) {
    return static_cast<int32_t>(model->edge_avg[pixel].value);
}

}  // namespace

int32_t kt_bg_edge_angle(int32_t gx, int32_t gy) {
    float radians = std::atan2(static_cast<float>(gy), static_cast<float>(gx));
    if (radians < 0.0f) radians += kTwoPi;
    int32_t degrees = static_cast<int32_t>(radians * kDegreesPerRadian) + 1;
    // Rounding just below 2 pi can reach 361; the scale stops at 360.
    return degrees > 360 ? 360 : degrees;
}

int kt_bg_angles_match(int32_t a, int32_t b) {
    const uint32_t difference = static_cast<uint32_t>(a > b ? a - b : b - a);
    // Below the tolerance the subtraction wraps to a huge value, so one test covers both ends.
    return difference - KT_BG_ANGLE_TOLERANCE > 360u - 2 * KT_BG_ANGLE_TOLERANCE ? 1 : 0;
}

int kt_background_check_region(const kt_background* model, int32_t angle, int32_t x, int32_t y,
                               int32_t radius) {
    if (!kt_background_ready(model)) return 0;
    const int64_t x0 = std::max<int64_t>(0, static_cast<int64_t>(x) - radius);
    const int64_t x1 = std::min<int64_t>(model->width, static_cast<int64_t>(x) + radius);
    const int64_t y0 = std::max<int64_t>(0, static_cast<int64_t>(y) - radius);
    const int64_t y1 = std::min<int64_t>(model->height, static_cast<int64_t>(y) + radius);
    for (int64_t yy = y0; yy < y1; ++yy)
        for (int64_t xx = x0; xx < x1; ++xx) {
            const int32_t learnt =
                learnt_angle(model, static_cast<uint32_t>(yy * model->width + xx));
            if (learnt != 0 && kt_bg_angles_match(learnt, angle)) return 1;
        }
    return 0;
}

int kt_background_varmean(const unsigned char* bytes, uint32_t count, float* variance, float* mean) {
    if (!bytes || !variance || !mean || count == 0) return 0;
    uint64_t sum = 0, sum_sq = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t v = bytes[i];
        sum += v;
        sum_sq += v * v;
    }
    moments(sum, sum_sq, count, variance, mean);
    return 1;
}

int kt_background_check_varmean(const kt_image* colour, const kt_bbox* box, int32_t mode) {
    if (!box || !kt_image_consistent(colour) || colour->channels != 4) return 0;
    if (box->width == 0 || box->height == 0 || !box_inside(box, colour->width, colour->height))
        return 0;
    uint64_t sum[3] = {0, 0, 0}, sum_sq[3] = {0, 0, 0};
    for (uint32_t y = box->y; y < box->y + box->height; ++y) {
        const unsigned char* p = colour->data + kt_image_index(colour, box->x, y);
        for (uint32_t x = 0; x < box->width; ++x, p += 4)
            for (int c = 0; c < 3; ++c) {
                sum[c] += p[c];
                sum_sq[c] += static_cast<uint32_t>(p[c]) * p[c];
            }
    }
    const uint64_t n = static_cast<uint64_t>(box->width) * box->height;
    float mean[3], variance[3];
    for (int c = 0; c < 3; ++c) moments(sum[c], sum_sq[c], n, &variance[c], &mean[c]);
    // Channel c is byte c: 0 blue or lightness, 1 green or first chroma, 2 red or second chroma.
    const bool lab = mode == KT_BG_MODE_LAB;
    const bool bright = lab ? mean[0] > kBrightLightness
                            : (mean[0] > kBrightMean || mean[1] > kBrightMean ||
                               mean[2] > kBrightMean);
    const float limit = lab ? kChromaVarianceLimit : kVarianceLimit;
    return variance[2] < limit && variance[1] < limit && variance[0] < kVarianceLimit && bright ? 1
                                                                                                : 0;
}

int kt_background_is_background(const kt_background* model, const kt_image* colour,
                                const kt_image* gray, const kt_image* foreground,
                                const kt_bbox* box, int32_t radius, int32_t mode, float* ratio) {
    if (!model || !box || !ratio) return 0;
    if (!kt_image_consistent(colour) || colour->channels != 4) return 0;
    if (!kt_image_consistent(gray) || gray->channels != 1) return 0;
    if (kt_background_check_varmean(colour, box, mode)) {
        *ratio = 1.0f;
        return 1;
    }
    const int64_t twice = 2 * static_cast<int64_t>(radius);
    if (twice >= box->width || twice >= box->height) return 0;
    if (box->width > gray->width || box->height > gray->height) return 0;
    // Pixels of the box are looked up in the gray image, the model and the foreground mask.
    if (!box_inside(box, gray->width, gray->height) || !kt_background_ready(model) ||
        !kt_background_valid_region(model, box))
        return 0;
    if ((radius & 1) == 0) ++radius;
    if (radius >= 2 && !kt_bg_is_plane(foreground, gray->width, gray->height)) return 0;

    kt_image crop = {nullptr, 0, 0, 0, 0};
    if (!kt_init_image(&crop, box->width, box->height, 1) || !crop.data) {
        kt_free_image(&crop);
        return 0;
    }
    const uint32_t pairs = box->width * box->height;
    int32_t* gradient = static_cast<int32_t*>(kt_calloc(pairs, 2 * sizeof(int32_t)));
    if (!gradient || !kt_crop_image(gray, box->x, box->y, &crop) ||
        !kt_sobel_image(&crop, gradient, pairs)) {
        std::free(gradient);
        kt_free_image(&crop);
        return 0;
    }

    uint32_t edges = 0, matched = 0;
    const int32_t half = radius / 2;
    for (uint32_t j = 0; j < box->height; ++j) {
        const uint32_t y = box->y + j;
        for (uint32_t i = 0; i < box->width; ++i) {
            const uint32_t x = box->x + i;
            const int32_t gx = gradient[2 * (j * box->width + i)];
            const int32_t gy = gradient[2 * (j * box->width + i) + 1];
            if (std::abs(gx) + std::abs(gy) <= KT_BG_EDGE_STRENGTH) continue;
            if (radius < 2) {
                ++edges;
                const int32_t learnt = learnt_angle(model, y * model->width + x);
                if (learnt != 0 && kt_bg_angles_match(kt_bg_edge_angle(gx, gy), learnt)) ++matched;
            } else {
                if (foreground->data[y * foreground->width + x] == 0) continue;
                ++edges;
                if (kt_background_check_region(model, kt_bg_edge_angle(gx, gy),
                                               static_cast<int32_t>(x), static_cast<int32_t>(y),
                                               half))
                    ++matched;
            }
        }
    }
    std::free(gradient);
    kt_free_image(&crop);
    *ratio = edges > kMinEdges ? static_cast<float>(matched) / static_cast<float>(edges) : 1.0f;
    return 1;
}

int kt_background_rgb_to_gray(const kt_image* colour, kt_image* gray) {
    if (!kt_image_consistent(colour) || colour->channels != 4) return 0;
    if (!kt_bg_is_plane(gray, colour->width, colour->height)) return 0;
    const uint32_t pixels = colour->width * colour->height;
    const unsigned char* in = colour->data;
    for (uint32_t i = 0; i < pixels; ++i, in += 4)
        gray->data[i] = static_cast<unsigned char>((30u * in[2] + 59u * in[1] + 11u * in[0]) / 100u);
    return 1;
}
