#include <cstring>

#include "kt_background_args.h"
#include "kt_background_compare.h"
#include "kt_background_view.h"

namespace {

/* A lightness difference (255 - likelihood) of at least this much makes a pixel a strong change. */
const uint32_t kStrongChange = 64;

/* Global-change levels: a frame is a level-2 change when at least kLevel2Fraction of all pixels
 * changed strongly and the changed pixels differ by kLevel2Mean on average (or the _B pair), level 1
 * with the kLevel1 pair. Fractions of the frame, differences in 255 - likelihood units. */
const float kLevel2Fraction = 0.7f;
const uint32_t kLevel2Mean = 153;
const float kLevel2FractionB = 0.5f;
const uint32_t kLevel2MeanB = 191;
const float kLevel1Fraction = 0.2f;
const uint32_t kLevel1Mean = 114;

/* Chroma deviation floors (grey levels) per level; pixels of unusual lightness in a calm frame get
 * kOffRangeFloor, since the chroma of very dark or very bright pixels is unreliable. */
const int32_t kLevelFloor[3] = {5, 10, 20};
const int32_t kOffRangeFloor = 10;
/* Lightness means whose chroma is trusted with the level's floor even in a calm frame. */
const int32_t kTrustedLightLow = 115;
const int32_t kTrustedLightHigh = 236;

/* Share of the lightness and chroma likelihoods in the difference, per level: a global change
 * trusts chroma more. */
const float kLightWeight[3] = {0.2f, 0.2f, 0.1f};
const float kChromaWeight[3] = {0.8f, 0.8f, 0.9f};

/* Shadow: lightness strictly between these bounds, ratio to the background's lightness strictly
 * between these bounds, chroma distance squared below the line through 50 at ratio 0.35 and 9 at
 * ratio 0.95, and the chroma not neutral (at least kShadowChroma from 127 on one axis). */
const float kShadowLightLow = 135.0f;
const float kShadowLightHigh = 231.98f;
const float kShadowRatioLow = 0.35f;
const float kShadowRatioHigh = 0.99f;
const float kShadowChromaLineAt0 = 73.916664f;
const float kShadowChromaLineSlope = 68.333336f;
const int32_t kNeutralChroma = 127;
const int32_t kShadowChroma = 11;

inline int32_t absolute(int32_t v) { return v < 0 ? -v : v; }

bool is_shadow(const unsigned char* pixel, const kt_bg_view3& v, uint32_t k) {
    const float lightness = static_cast<float>(pixel[0]);
    if (!(lightness > kShadowLightLow && lightness < kShadowLightHigh)) return false;
    const int32_t mean = v.mean[0][k] < 1 ? 1 : v.mean[0][k];
    const float ratio = lightness / static_cast<float>(mean);
    if (!(ratio > kShadowRatioLow && ratio < kShadowRatioHigh)) return false;
    const int32_t db = static_cast<int32_t>(pixel[2]) - v.mean[2][k];
    const int32_t da = static_cast<int32_t>(pixel[1]) - v.mean[1][k];
    const float distance = static_cast<float>(db * db + da * da);
    if (!(distance < kShadowChromaLineAt0 - kShadowChromaLineSlope * ratio)) return false;
    return absolute(static_cast<int32_t>(pixel[1]) - kNeutralChroma) >= kShadowChroma ||
           absolute(static_cast<int32_t>(pixel[2]) - kNeutralChroma) >= kShadowChroma;
}

// Gives channel c of lane k the floor, in the record and the view. The view's copy saves reading
// the record when the floor is already right, which is almost always.
inline void set_floor(kt_distribution* d, kt_bg_view3& v, int c, uint32_t k, int32_t floor) {
    if (v.floor[c][k] == floor) return;
    kt_distribution_set_min_stdev(d, floor);
    v.floor[c][k] = kt_bg_view_floor(d);
}

}  // namespace

int kt_background_compare_lab(kt_background* model, const kt_image* image, const kt_image* mask,
                              uint32_t reserved, kt_image* diff, uint32_t* count) {
    (void)reserved;
    if (!kt_bg_compare_args_ok(model, image, mask, diff, count) || model->mode <= 0) return 0;
    kt_distribution* d1 = model->dist1;
    kt_distribution* d2 = model->dist2;
    kt_bg_view3* view = kt_bg_view_colour(model);
    const unsigned char* gate = mask ? mask->data : nullptr;
    unsigned char* out = diff->data;
    const uint32_t pixels = image->width * image->height;
    *count = 0;
    std::memset(out, 0, diff->size);

    // Pass 1: lightness likelihood of every pixel, kept in diff for pass 2.
    uint64_t sum = 0;
    uint32_t changed = 0, strong = 0;
    const unsigned char* in = image->data;
    for (uint32_t i = 0; i < pixels; ++i, in += 4) {
        if (gate && gate[i] == 0) continue;
        const kt_bg_view3& v = view[i / KT_BG_TILE_PIXELS];
        const uint32_t k = i % KT_BG_TILE_PIXELS;
        const uint32_t light = kt_bg_view_likelihood(v.scale[0][k], v.mean[0][k], in[0]);
        out[i] = static_cast<unsigned char>(light);
        if (light < KT_BG_BACKGROUND) {
            const uint32_t change = KT_BG_BACKGROUND - light;
            sum += change;
            ++changed;
            if (change >= kStrongChange) ++strong;
        }
    }
    const uint64_t average = changed ? sum / changed : 0;
    const float fraction = static_cast<float>(strong) / static_cast<float>(pixels);
    int level = 0;
    if (fraction >= kLevel2Fraction && average >= kLevel2Mean)
        level = 2;
    else if (fraction >= kLevel2FractionB && average >= kLevel2MeanB)
        level = 2;
    else if (fraction >= kLevel1Fraction && average >= kLevel1Mean)
        level = 1;
    const float light_weight = kLightWeight[level];
    const float chroma_weight = kChromaWeight[level];

    // Pass 2: chroma likelihoods, shadows, and the weighted difference.
    in = image->data;
    uint32_t found = 0;
    for (uint32_t i = 0; i < pixels; ++i, in += 4) {
        if (gate && gate[i] == 0) continue;
        kt_bg_view3& v = view[i / KT_BG_TILE_PIXELS];
        const uint32_t k = i % KT_BG_TILE_PIXELS;
        const int32_t floor =
            level != 0 || (v.mean[0][k] >= kTrustedLightLow && v.mean[0][k] <= kTrustedLightHigh)
                ? kLevelFloor[level]
                : kOffRangeFloor;
        set_floor(&d1[i], v, 1, k, floor);
        set_floor(&d2[i], v, 2, k, floor);
        const uint32_t lb = kt_bg_view_likelihood(v.scale[2][k], v.mean[2][k], in[2]);
        const uint32_t la = kt_bg_view_likelihood(v.scale[1][k], v.mean[1][k], in[1]);
        const uint32_t light = out[i];
        if ((lb & light & la) < KT_BG_BACKGROUND && !is_shadow(in, v, k)) {
            const float chroma = static_cast<float>(la < lb ? la : lb);
            float value = 255.0f - (chroma * chroma_weight + static_cast<float>(light) * light_weight);
            if (value < 0.0f) value = 0.0f;
            if (value > 255.0f) value = 255.0f;
            out[i] = static_cast<unsigned char>(value);
            ++found;
        } else {
            out[i] = 0;
        }
    }
    *count = found;
    return 1;
}
