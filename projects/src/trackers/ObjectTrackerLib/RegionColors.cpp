// RegionColors: the colour distributions of five regions of an object's box, accumulated over its
// life, and the colour attributes written from them.
#include "RegionColors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const kttl::String kNames[RegionColors::kRegions] = {"Overall Color", "Upper Color", "Lower Color", "Right Color",
                                                     "Left Color"};
const kttl::String kPercentage[RegionColors::kRegions] = {
    "Overall Color Percentage", "Upper Color Percentage", "Lower Color Percentage", "Right Color Percentage",
    "Left Color Percentage"};
const kttl::String kSecondary[RegionColors::kRegions] = {
    "Overall Color (Secondary)", "Upper Color (Secondary)", "Lower Color (Secondary)",
    "Right Color (Secondary)", "Left Color (Secondary)"};
const uint32_t kLevels = 8;

kttl::String colorText(const ktml::ColorHistogram& h, uint32_t bin) {
    uint32_t packed = 0;
    h.binToColor(bin, packed);
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", packed & 0xFFu, (packed >> 8) & 0xFFu, (packed >> 16) & 0xFFu);
    return text;
}

float hue(const ktml::ColorHistogram& h, uint32_t bin) {
    float hh = 0, s = 0, v = 0;
    h.binToHSV(bin, hh, s, v);
    return hh;
}

}  // namespace

RegionColors::RegionColors() {
    for (auto& h : m_hist) h.setBins(kLevels, kLevels, kLevels);
}

void RegionColors::measure(const kt_image& colour, const kt_image* mask, const ktml::BoundingBox<int>& box) {
    for (auto& h : m_hist) h.clear();
    m_have = true;
    if (colour.data == nullptr || colour.channels != 4) return;
    if (mask != nullptr &&
        (mask->data == nullptr || mask->channels != 1 || mask->width != colour.width || mask->height != colour.height))
        mask = nullptr;
    const int64_t x0 = std::max<int64_t>(box.x, 0), y0 = std::max<int64_t>(box.y, 0);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(box.x) + box.width, colour.width);
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(box.y) + box.height, colour.height);
    // Region borders relative to the box itself, so a clipped box keeps its halves.
    const int64_t midRow = static_cast<int64_t>(box.y) + box.height / 2;
    const int64_t midCol = static_cast<int64_t>(box.x) + box.width / 2;
    for (int64_t y = y0; y < y1; ++y) {
        const unsigned char* px = colour.data + (static_cast<size_t>(y) * colour.width + x0) * 4;
        const unsigned char* m = mask ? mask->data + static_cast<size_t>(y) * mask->width + x0 : nullptr;
        ktml::ColorHistogram& half = m_hist[y < midRow ? kUpper : kLower];
        for (int64_t x = x0; x < x1; ++x, px += 4) {
            if (m != nullptr && m[x - x0] == 0) continue;
            const uint8_t b = px[0], g = px[1], r = px[2];
            if (r <= kDarkLevel && g <= kDarkLevel && b <= kDarkLevel) continue;
            const uint32_t bin = m_hist[kWhole].getBin(r, g, b);
            m_hist[kWhole].incrementBin(bin);
            half.incrementBin(bin);
            m_hist[x < midCol ? kLeft : kRight].incrementBin(bin);
        }
    }
}

void RegionColors::accumulate(const RegionColors& fresh) {
    if (fresh.m_hist[kWhole].getTotal() == 0) return;
    for (int r = 0; r < kRegions; ++r) {
        if (m_have && m_hist[r].getTotal() != 0)
            m_hist[r].average(fresh.m_hist[r], kAccumulateWeight);
        else
            m_hist[r] = fresh.m_hist[r];
    }
    m_have = true;
}

void RegionColors::fillColors(kttl::Attributes& attributes) const {
    for (int r = 0; r < kRegions; ++r) {
        const ktml::ColorHistogram& h = m_hist[r];
        if (h.getTotal() == 0) continue;
        const uint32_t top = h.getMaxBin();
        attributes.setAttribute(kNames[r], colorText(h, top));
        char share[32];
        std::snprintf(share, sizeof share, "%f", h.getValue(top));
        attributes.setAttribute(kPercentage[r], share);
        uint32_t second = top;
        for (uint32_t i = 0; i < h.binCount(); ++i) {
            if (i == top) continue;
            if (second == top || h.getBinValue(i) > h.getBinValue(second)) second = i;
        }
        bool written = false;
        if (second != top && h.getBinValue(second) > 0 &&
            static_cast<float>(h.getBinValue(second)) >= kSecondaryShare * static_cast<float>(h.getBinValue(top))) {
            float d = std::fabs(hue(h, second) - hue(h, top));
            d = std::min(d, 360.0f - d);
            if (d > kSecondaryHueDegrees) {
                attributes.setAttribute(kSecondary[r], colorText(h, second));
                written = true;
            }
        }
        if (!written) attributes.removeAttribute(kSecondary[r]);
    }
}
