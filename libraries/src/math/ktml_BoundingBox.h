// ktml::BoundingBox: an axis-aligned box (top-left corner, width, height) of the geometry templates.
#pragma once

#include <algorithm>
#include <string>

#include "ktml_Point2d.h"

namespace ktml {

template <typename T>
class BoundingBox : public ktsl::Serializable {
public:
    typedef T value_type;

    T x{};
    T y{};
    T width{};
    T height{};

    BoundingBox() = default;
    BoundingBox(T px, T py, T w, T h) : x(px), y(py), width(w), height(h) {}
    BoundingBox(const BoundingBox&) = default;
    BoundingBox& operator=(const BoundingBox&) = default;
    // From another coordinate type: every field rounded half away from zero and saturated.
    template <typename U, typename = std::enable_if_t<!std::is_same_v<U, T>>>
    BoundingBox(const BoundingBox<U>& o)
        : x(coordCast<T>(o.x)), y(coordCast<T>(o.y)), width(coordCast<T>(o.width)), height(coordCast<T>(o.height)) {}
    template <typename U, typename = std::enable_if_t<!std::is_same_v<U, T>>>
    BoundingBox& operator=(const BoundingBox<U>& o) {
        return *this = BoundingBox(o);
    }

    bool operator==(const BoundingBox& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
    bool operator!=(const BoundingBox& o) const { return !(*this == o); }

    // Area width x height in double precision (never overflows); 0 for a box with a side not
    // positive.
    double area() const {
        const double w = static_cast<double>(width), h = static_cast<double>(height);
        return (w > 0 && h > 0) ? w * h : 0.0;
    }
    bool isEmpty() const { return !(static_cast<double>(width) > 0 && static_cast<double>(height) > 0); }

    // The overlapping box of two boxes (right and bottom edges exclusive), in double precision so
    // nothing wraps; a zero-sized box at the origin when they do not overlap.
    BoundingBox intersection(const BoundingBox& o) const {
        const double l = std::max<double>(x, o.x), t = std::max<double>(y, o.y);
        const double r = std::min<double>(static_cast<double>(x) + width, static_cast<double>(o.x) + o.width);
        const double b = std::min<double>(static_cast<double>(y) + height, static_cast<double>(o.y) + o.height);
        if (r <= l || b <= t) return BoundingBox();
        return BoundingBox(coordCast<T>(l), coordCast<T>(t), coordCast<T>(r - l), coordCast<T>(b - t));
    }
    double intersectionArea(const BoundingBox& o) const { return intersection(o).area(); }

    // Whether (px, py) lies in the box: x <= px < x + width, y <= py < y + height.
    bool contains(double px, double py) const {
        return px >= static_cast<double>(x) && px < static_cast<double>(x) + width &&
               py >= static_cast<double>(y) && py < static_cast<double>(y) + height;
    }

    // The box as fractions of a width x height frame: x and width divided by the frame width, y and
    // height by the frame height. Throws when either size is not positive.
    template <typename U>
    BoundingBox<U> normalize(int frameWidth, int frameHeight) const {
        if (frameWidth <= 0 || frameHeight <= 0)
            KT_THROW("ktml::BoundingBox", "normalize( .. ) - width and height must be positive");
        return BoundingBox<U>(coordCast<U>(static_cast<double>(x) / frameWidth),
                              coordCast<U>(static_cast<double>(y) / frameHeight),
                              coordCast<U>(static_cast<double>(width) / frameWidth),
                              coordCast<U>(static_cast<double>(height) / frameHeight));
    }

    // The inverse of normalize: every field times the frame size, rounded half away from zero.
    template <typename U>
    BoundingBox<U> denormalize(int frameWidth, int frameHeight) const {
        if (frameWidth <= 0 || frameHeight <= 0)
            KT_THROW("ktml::BoundingBox", "denormalize( .. ) - width and height must be positive");
        return BoundingBox<U>(coordCast<U>(static_cast<double>(x) * frameWidth),
                              coordCast<U>(static_cast<double>(y) * frameHeight),
                              coordCast<U>(static_cast<double>(width) * frameWidth),
                              coordCast<U>(static_cast<double>(height) * frameHeight));
    }

    // ktsl::Serializable. Binary form: u32 sizeof(T), x, y, width, height.
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::BoundingBox; }
    kttl::String getTypeName() const override { return "ktml_BoundingBox"; }

    // <tag><x>X</x><y>Y</y><width>W</width><height>H</height></tag>
    kttl::String toXML(const char* tag) const override {
        if (!tag) return kttl::String();
        const std::string t(tag);
        return "<" + t + "><x>" + coordText(x) + "</x><y>" + coordText(y) + "</y><width>" + coordText(width) +
               "</width><height>" + coordText(height) + "</height></" + t + ">";
    }

    // Reads the x, y, width and height children; all four must be present and numeric.
    bool fromXML(const char* xml) override {
        ktxml::DomIterator it;
        return it.parse(xml) && fromDom(it);
    }
    bool fromDom(const ktxml::DomIterator& it) {
        static const char* const kNames[4] = {"x", "y", "width", "height"};
        T v[4]{};
        bool have[4] = {false, false, false, false};
        for (ktxml::DomIterator c = it.childrenBegin(); !c.atEnd(); c.nextSibling()) {
            const std::string name = c.getName();
            for (int i = 0; i < 4; ++i) {
                if (!have[i] && name == kNames[i]) {
                    if (!parseCoord(c.getValue(), v[i])) return false;
                    have[i] = true;
                }
            }
        }
        if (!(have[0] && have[1] && have[2] && have[3])) return false;
        *this = BoundingBox(v[0], v[1], v[2], v[3]);
        return true;
    }

    static constexpr unsigned kBinLength = 4 + 4 * sizeof(T);
    unsigned getBinLength() const override { return kBinLength; }
    unsigned toBin(unsigned char* out) const override {
        const T v[4] = {x, y, width, height};
        return writeCoords(out, v);
    }
    unsigned fromBin(const unsigned char* in, unsigned length) override {
        T v[4];
        unsigned used = 0;
        if (!readCoords(in, length, v, used))
            KT_THROW("ktml::BoundingBox", "fromBin( .. ) - size of value_type is incorrect");
        *this = BoundingBox(v[0], v[1], v[2], v[3]);
        return used;
    }
};

}  // namespace ktml
