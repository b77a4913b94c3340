// ObjectFeatures: the fixed vector of per-object feature values the classifier scores.
#include "ObjectFeatures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"

namespace {

const char* const kClass = "ObjectFeatures";
constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kQuarterPi = 0.78539816339744830962;
constexpr double kDegreesPerRadian = 57.29578;
constexpr int64_t kAgeUnitMs = 30;

}  // namespace

ObjectFeatures::ObjectFeatures() {
    std::fill(std::begin(m_values), std::end(m_values), 0);
    for (int id : {4, 8, 58, 59, 60, 61}) m_values[id] = -1;
}

int32_t ObjectFeatures::getFeature(int id) const {
    if (id <= 0) return -1;
    if (id > kNumFeatures) {
        std::printf("featureID:%d exceeds the num of features:%d\n", id, kNumFeatures);
        std::exit(1);
    }
    return m_values[id];
}

void ObjectFeatures::setFeature(int id, int32_t value) {
    if (id >= 1 && id <= kNumFeatures) m_values[id] = value;
}

double ObjectFeatures::fastAtan(double x, double y) {
    if (y < x) {
        const double q = y / x;
        return kHalfPi - q * (1.0584 - 0.273 * q);
    }
    if (y > x) {
        const double q = x / y;
        return q * (1.0584 - 0.273 * q);
    }
    return x == 0.0 ? 0.0 : kQuarterPi;
}

void ObjectFeatures::vote(int32_t gx, int32_t gy, int& bin, int& share) {
    const double t = fastAtan(gx, gy) * kDegreesPerRadian;
    bin = static_cast<int>(t + 5.0) / 10;
    const double a = t - (10 * bin - 5);
    share = static_cast<int>(a < 0 ? a - 0.5 : a + 0.5);
}

const uint8_t* ObjectFeatures::angleTable() {
    // Every entry is what vote() gives for that gradient (kWeakCode below the strong limit), so the
    // table changes no result; it spares the division, the branches and the conversions.
    static const std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(size_t(kAngleTableSide) * kAngleTableSide, 0);
        for (int32_t gx = 0; gx < kAngleTableSide; ++gx)
            for (int32_t gy = 0; gy < kAngleTableSide; ++gy) {
                int bin = 0, share = 0;
                if (gx + gy >= kWeakGradient) vote(gx, gy, bin, share);
                // Gradients are not negative, so the angle is 0..90 degrees: bins 0..9, shares 0..10.
                t[size_t(gx) * kAngleTableSide + gy] =
                    static_cast<uint8_t>(gx + gy < kWeakGradient ? kWeakCode : bin * kVoteCodes + share);
            }
        return t;
    }();
    return table.data();
}

bool ObjectFeatures::setFeatures(const kt_image& gray, const kt_image& mask, const Object& object,
                                 const kttl::ElapsedTime& age, bool isStatic) {
    ktml::BoundingBox<int> box;
    if (!object.newest(box)) return false;
    if (!kt_image_consistent(&gray) || !kt_image_consistent(&mask) || gray.channels != 1 || mask.channels != 1 ||
        gray.width != mask.width || gray.height != mask.height)
        return false;
    if (object.getMergeListSize() != 0 || box.width < 0 || box.height < 0) return false;
    // Grown and clipped in 64 bits: boxes come from outside and may sit anywhere.
    const int64_t W = mask.width, H = mask.height;
    int64_t x0 = static_cast<int64_t>(box.x) - kGrowPx, y0 = static_cast<int64_t>(box.y) - kGrowPx;
    int64_t x1 = static_cast<int64_t>(box.x) + box.width + kGrowPx;
    int64_t y1 = static_cast<int64_t>(box.y) + box.height + kGrowPx;
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min(x1, W);
    y1 = std::min(y1, H);
    if (x1 <= x0 || y1 <= y0) return false;
    const int64_t w = x1 - x0, h = y1 - y0;
    if (!isStatic && (x0 < 1 || y0 < 1 || x1 >= W || y1 >= H)) return false;
    if (w < kMinSidePx || h < kMinSidePx) return false;

    const int64_t ticks = age.getMilliseconds() / kAgeUnitMs;
    m_values[9] = static_cast<int32_t>(std::clamp<int64_t>(ticks, INT32_MIN, INT32_MAX));
    const size_t at = static_cast<size_t>(y0) * gray.width + static_cast<size_t>(x0);
    histogram(gray.data + at, mask.data + at, gray.width, static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    return true;
}

int ObjectFeatures::generateFeatures(const kt_image& gray, const kt_image& mask) {
    std::fill(m_values + 10, m_values + 58, 0);
    if (!kt_image_consistent(&mask) || !kt_image_consistent(&gray) || mask.width != gray.width ||
        mask.height != gray.height || mask.channels != 1 || gray.channels != 1)
        return 0;
    histogram(gray.data, mask.data, gray.width, gray.width, gray.height);
    return 1;
}

void ObjectFeatures::histogram(const unsigned char* gray, const unsigned char* mask, uint32_t stride, uint32_t w,
                               uint32_t h) {
    std::fill(m_values + 10, m_values + 58, 0);
    if (w < 3 || h < 3) return;  // too small for the gradient: the histogram stays empty
    // Pixels are counted per vote code first and the counts spread over the bins at the end: the
    // integer sums are the same, and no pixel takes a data-dependent branch on its gradient.
    uint32_t votes[kWeakCode + 1] = {};
    const uint8_t* table = angleTable();
    for (uint32_t y = 0; y < h; ++y) {
        const unsigned char* m = mask + static_cast<size_t>(y) * stride;
        if (y == 0 || y + 1 == h) {  // the patch's border has no gradient
            for (uint32_t x = 0; x < w; ++x) m_values[10] += m[x] != 0;
            continue;
        }
        m_values[10] += (m[0] != 0) + (m[w - 1] != 0);
        const unsigned char* p = gray + static_cast<size_t>(y) * stride;
        const unsigned char* up = p - stride;
        const unsigned char* down = p + stride;
        for (uint32_t x = 1; x + 1 < w; ++x) {
            if (m[x] == 0) continue;
            const int32_t gx = std::abs((up[x + 1] + 2 * p[x + 1] + down[x + 1]) - (up[x - 1] + 2 * p[x - 1] + down[x - 1]));
            const int32_t gy = std::abs((up[x - 1] + 2 * up[x] + up[x + 1]) - (down[x - 1] + 2 * down[x] + down[x + 1]));
            if (gx < kAngleTableSide && gy < kAngleTableSide) {
                ++votes[table[gx * kAngleTableSide + gy]];
            } else {  // beyond the table every gradient is strong
                int b, r;
                vote(gx, gy, b, r);
                m_values[11 + b] += 10 - r;
                m_values[12 + b] += r;
            }
        }
    }
    m_values[10] += static_cast<int32_t>(votes[kWeakCode]);
    for (int code = 0; code < kWeakCode; ++code) {
        if (votes[code] == 0) continue;
        const int b = code / kVoteCodes, r = code % kVoteCodes;
        m_values[11 + b] += static_cast<int32_t>(votes[code]) * (10 - r);
        m_values[12 + b] += static_cast<int32_t>(votes[code]) * r;
    }
}

bool ObjectFeatures::operator==(const ObjectFeatures& o) const {
    return std::equal(std::begin(m_values), std::end(m_values), std::begin(o.m_values));
}

kttl::String ObjectFeatures::toXML(const char*) const { KT_THROW(kClass, "toXML() - not implemented"); }

bool ObjectFeatures::fromXML(const char*) { KT_THROW(kClass, "fromXML() - not implemented"); }

unsigned ObjectFeatures::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    for (int id = 1; id <= 8; ++id) w.i32(m_values[id]);
    w.i32(0);  // spare slot
    for (int id = 9; id <= 57; ++id) w.i32(m_values[id]);
    w.i32(0);  // unused word
    w.i32(kNumFeatures);
    for (int id = 59; id <= 61; ++id) w.i32(m_values[id]);
    w.i32(m_values[58]);
    w.i32(0);  // reserved
    return w.written();
}

unsigned ObjectFeatures::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    r.need(kBinLength);
    int32_t v[kNumFeatures + 1];
    v[0] = 0;
    for (int id = 1; id <= 8; ++id) v[id] = r.i32();
    r.skip(4);
    for (int id = 9; id <= 57; ++id) v[id] = r.i32();
    r.skip(4);
    if (r.i32() != kNumFeatures) ktsl::Serializable::fromBinFailed();
    for (int id = 59; id <= 61; ++id) v[id] = r.i32();
    v[58] = r.i32();
    r.skip(4);
    std::copy(std::begin(v), std::end(v), std::begin(m_values));
    return r.consumed();
}
