// RegionColors: the colour distributions of five regions of an object's box, accumulated over its
// life, and the colour attributes written from them.
#pragma once

#include <cstdint>

#include "kt_image.h"
#include "ktml_BoundingBox.h"
#include "ktml_ColorHistogram.h"
#include "kttl_Attributes.h"

class RegionColors {
  public:
    enum Region { kWhole, kUpper, kLower, kRight, kLeft, kRegions };
    // Pixels whose red, green and blue are all at or below this are too dark to have a colour.
    static constexpr uint8_t kDarkLevel = 16;
    // Weight of a new measurement in the accumulated histograms.
    static constexpr float kAccumulateWeight = 0.25f;
    // A second colour is reported when its bin holds at least this share of the dominant bin's count
    // and its hue lies more than kSecondaryHueDegrees from the dominant hue (around the colour circle).
    static constexpr float kSecondaryShare = 0.33f;
    static constexpr float kSecondaryHueDegrees = 31.5f;

    // Five empty histograms of 8 x 8 x 8 bins (red, green, blue).
    RegionColors();

    // Rebuilds the five histograms from the box of a four-channel blue-green-red image: the whole box,
    // the upper half (rows above height/2), the lower half (the other rows), the right half (columns
    // from width/2 on) and the left half. A pixel counts where `mask` (one channel, the image's size;
    // ignored otherwise or when null) is not 0 and one of red, green, blue exceeds kDarkLevel. The box
    // is clipped to the image. Allocates only the first time.
    void measure(const kt_image& colour, const kt_image* mask, const ktml::BoundingBox<int>& box);
    // Blends a measurement in (each histogram with weight kAccumulateWeight), or takes it as the first
    // one. A measurement that counted no pixel changes nothing.
    void accumulate(const RegionColors& fresh);
    bool isEmpty() const { return !m_have; }
    const ktml::ColorHistogram& get(Region region) const { return m_hist[region]; }

    // "Upper Color", "Lower Color", "Right Color", "Left Color", "Overall Color": the dominant colour
    // as "#rrggbb", its share in "<name> Percentage" ("%f") and, when there is one, a second colour in
    // "<name> (Secondary)" (removed otherwise). Regions without pixels are left out.
    void fillColors(kttl::Attributes& attributes) const;

  private:
    ktml::ColorHistogram m_hist[kRegions];
    bool m_have = false;
};
