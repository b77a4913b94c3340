// ktil::MaskImage: a one-channel 0/255 mask drawn from exclusion polygons, and masking images with it.
#pragma once

#include <vector>

#include "ktil_FlatImage.h"
#include "ktml_Polygon2d.h"

namespace ktil {

// 255 where pixels are kept, 0 inside any drawn polygon. A polygon whose vertices all lie within 0
// to 1 on both axes is taken as fractions of the mask size; otherwise its coordinates are pixels.
// A pixel is inside when its centre is (even-odd rule, so a self-crossing outline leaves holes).
class MaskImage : public FlatImage<1> {
public:
    static const unsigned char kKeep = 255;
    static const unsigned char kExcluded = 0;

    // Redraws the mask at width x height from a range of ktml::Polygon2D<float>. False when the
    // buffer cannot be had.
    template <class Polygons>
    bool draw(const Polygons& polygons, unsigned width, unsigned height) {
        if (!reset(width, height)) return false;
        for (const auto& polygon : polygons) exclude(polygon);
        return true;
    }
    // The mask at width x height with every pixel kept.
    bool reset(unsigned width, unsigned height) { return resize(width, height, kKeep); }
    // Clears the pixels inside `polygon`. Polygons with fewer than three vertices or a coordinate
    // that is not finite are ignored; vertices far outside the mask are fine.
    void exclude(const ktml::Polygon2D<float>& polygon);

    // ANDs every byte of each pixel of `source` (1 or 4 channels, the mask's size) with the pixel's
    // mask byte into `destination` (made the source's shape; may be the source itself). False,
    // destination untouched, on another size or channel count or when the buffer cannot be had.
    bool apply(const kt_image& source, kt_image& destination) const;

private:
    std::vector<double> m_crossings;  // scan-line crossings, kept between polygons
};

}  // namespace ktil
