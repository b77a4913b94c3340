// ObjectFeatures: the fixed vector of per-object feature values the classifier scores.
#pragma once

#include <cstdint>

#include "Object.h"
#include "kt_image.h"
#include "ktsl_Serializable.h"
#include "kttl_ElapsedTime.h"

// 61 signed values addressed by feature id 1..61. Ids 10..21 hold the region orientation histogram
// (10: weak-gradient pixels; 11..21: 10-degree bins over 0..100 degrees); id 9 the age / 30 ms.
//
// Binary form (260 bytes, 65 little-endian words): ids 1..8, a spare slot, id 9, ids 10..57, an unused
// word, the number of features, ids 59..61, id 58, and a reserved word. No XML form.
class ObjectFeatures : public ktsl::Serializable {
  public:
    static constexpr int kNumFeatures = 61;
    static constexpr unsigned kBinLength = 260;
    static constexpr int kFirstOrientation = 10;  // the weak-gradient count
    static constexpr int kLastOrientation = 21;
    // Sum |gx| + |gy| below which a pixel counts as flat.
    static constexpr int32_t kWeakGradient = 200;
    // Pixels the object's box grows by on every side before the histogram is taken.
    static constexpr int kGrowPx = 3;
    // Smallest grown box side that is scored.
    static constexpr int kMinSidePx = 8;

    // Ids 4, 8 and 58..61 at -1, every other id at 0.
    ObjectFeatures();

    // Feature `id`: -1 for ids of 0 and below; an id above 61 is a programming error that prints
    // "featureID:%d exceeds the num of features:%d" and ends the process (model loading refuses such
    // ids, so no input reaches it).
    int32_t getFeature(int id) const;
    // Ignored for ids outside 1..61.
    void setFeature(int id, int32_t value);
    int getNumFeatures() const { return kNumFeatures; }

    // Fills id 9 and the orientation histogram of the object's newest box grown by 3 px and clipped
    // to the image. False (features untouched) when the object has no box, the gray image and mask
    // differ in size or are not one-channel, a moving object's grown box touches the border, the
    // grown box is under 8 px on a side, or the object is merged with others.
    // The box is read in place (no copy, nothing allocated): the patch is a view into the images.
    bool setFeatures(const kt_image& gray, const kt_image& mask, const Object& object, const kttl::ElapsedTime& age,
                     bool isStatic);
    // The orientation histogram of a gray patch over the non-zero bytes of an equally sized mask
    // patch (3x3 Sobel; the patch's border pixels have no gradient); ids 10..57 are cleared first.
    // 0 for a mask without data or of another size; 1 otherwise (a patch under 3x3 leaves the
    // histogram at zero).
    int generateFeatures(const kt_image& gray, const kt_image& mask);

    // Approximate atan(x / y) in radians for x, y >= 0 (0 when both are 0).
    static double fastAtan(double x, double y);

    bool operator==(const ObjectFeatures& o) const;
    bool operator!=(const ObjectFeatures& o) const { return !(*this == o); }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::ObjectFeatures; }
    kttl::String getTypeName() const override { return "objectFeatures"; }
    // Both throw "toXML() - not implemented" / "fromXML() - not implemented".
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override { return kBinLength; }
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

  private:
    // generateFeatures over the w x h region at `gray` / `mask` of images `stride` pixels wide.
    void histogram(const unsigned char* gray, const unsigned char* mask, uint32_t stride, uint32_t w, uint32_t h);
    // The orientation vote of a strong gradient: its 10-degree bin (0..9) and the share (0..10) the
    // next bin takes.
    static void vote(int32_t gx, int32_t gy, int& bin, int& share);
    // vote() of every gradient with both components below kAngleTableSide, one byte each
    // (bin * kVoteCodes + share, or kWeakCode for a weak gradient), built on first use: 256 kB,
    // shared by every object.
    static const uint8_t* angleTable();
    static constexpr int32_t kAngleTableSide = 512;
    static constexpr int kVoteCodes = 11;
    static constexpr int kWeakCode = 10 * kVoteCodes;

    int32_t m_values[kNumFeatures + 1];  // index = id; slot 0 unused
};
