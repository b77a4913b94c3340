// ktil::CubeRoot: the interpolation nodes and the exact value they approximate.
#include "ktil_CubeRoot.h"

#include <cmath>

namespace ktil {

float CubeRoot::exact(float t) { return static_cast<float>(std::pow(double(t), double(1.0f / 3.0f))); }

// Nodes sit at the binade starts from 2^-7 and 255 evenly spaced mantissas between each two.
CubeRoot::CubeRoot() {
    float left = exact(node(0));
    for (uint32_t i = 0; i < kIntervals; ++i) {
        const float right = exact(node(i + 1));
        segment_[i].root = left;
        segment_[i].rise = right - left;
        left = right;
    }
}

}  // namespace ktil
