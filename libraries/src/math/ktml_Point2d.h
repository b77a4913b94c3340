// ktml::Point2D: a point of the geometry templates (zones, lines, trails), with its conversions
// between fractions of the frame and pixels.
#pragma once

#include <sstream>
#include <string>

#include "ktml_CoordCast.h"
#include "ktsl_Serializable.h"
#include "kttl_Exception.h"
#include "ktxml_DomIterator.h"

namespace ktml {

// Numbers in XML: the stream's default notation (six significant digits for floating types).
template <typename T>
std::string coordText(T v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

// Strict parse of one XML number into a coordinate; false when the text is not a number.
template <typename T>
bool parseCoord(const std::string& text, T& out) {
    double d;
    if (!kttl::String(text).parseDouble(d)) return false;
    out = coordCast<T>(d);
    return true;
}

template <typename T>
class Point2D : public ktsl::Serializable {
public:
    typedef T value_type;

    T x{};
    T y{};

    Point2D() = default;
    Point2D(T px, T py) : x(px), y(py) {}
    Point2D(const Point2D&) = default;
    Point2D& operator=(const Point2D&) = default;
    // From another coordinate type: rounded half away from zero and saturated (see coordCast).
    template <typename U, typename = std::enable_if_t<!std::is_same_v<U, T>>>
    Point2D(const Point2D<U>& o) : x(coordCast<T>(o.x)), y(coordCast<T>(o.y)) {}
    template <typename U, typename = std::enable_if_t<!std::is_same_v<U, T>>>
    Point2D& operator=(const Point2D<U>& o) {
        x = coordCast<T>(o.x);
        y = coordCast<T>(o.y);
        return *this;
    }

    bool operator==(const Point2D& o) const { return x == o.x && y == o.y; }
    bool operator!=(const Point2D& o) const { return !(*this == o); }

    // Whether the point is given as fractions of the frame: 0 <= x <= 1 and 0 <= y <= 1.
    bool isNormalized() const {
        const double dx = static_cast<double>(x), dy = static_cast<double>(y);
        return dx >= 0.0 && dx <= 1.0 && dy >= 0.0 && dy <= 1.0;
    }

    // The point in pixels of a width x height frame. A point with x <= 1 and y <= 1 is taken as
    // fractions and scaled; any other point is already in pixels and only rounded. Only the upper
    // bound is tested: (-0.5, 0.5) is scaled. Throws when width or height is not positive.
    template <typename U>
    Point2D<U> denormalize(int width, int height) const {
        if (width <= 0 || height <= 0)
            KT_THROW("ktml::Point2D", "denormalize( .. ) - width and height must be positive");
        const double dx = static_cast<double>(x), dy = static_cast<double>(y);
        if (dx <= 1.0 && dy <= 1.0) return Point2D<U>(coordCast<U>(dx * width), coordCast<U>(dy * height));
        return Point2D<U>(coordCast<U>(dx), coordCast<U>(dy));
    }

    // The inverse for a pixel point: x / width, y / height. Throws when either is not positive.
    template <typename U>
    Point2D<U> normalize(int width, int height) const {
        if (width <= 0 || height <= 0)
            KT_THROW("ktml::Point2D", "normalize( .. ) - width and height must be positive");
        return Point2D<U>(coordCast<U>(static_cast<double>(x) / width),
                          coordCast<U>(static_cast<double>(y) / height));
    }

    // ktsl::Serializable. Binary form: u32 sizeof(T), x, y.
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Point2D; }
    kttl::String getTypeName() const override { return "ktml_Point2D"; }

    // <tag x="X" y="Y" />
    kttl::String toXML(const char* tag) const override {
        if (!tag) return kttl::String();
        return "<" + std::string(tag) + " x=\"" + coordText(x) + "\" y=\"" + coordText(y) + "\" />";
    }

    // Reads the x and y attributes, or, when either is missing, the x and y child elements.
    bool fromXML(const char* xml) override {
        ktxml::DomIterator it;
        return it.parse(xml) && fromDom(it);
    }
    bool fromDom(const ktxml::DomIterator& it) {
        if (it.atEnd()) return false;
        std::string tx, ty;
        bool haveX = false, haveY = false;
        if (it.hasAttribute("x") && it.hasAttribute("y")) {
            tx = it.getAttribute("x");
            ty = it.getAttribute("y");
            haveX = haveY = true;
        } else {
            for (ktxml::DomIterator c = it.childrenBegin(); !c.atEnd(); c.nextSibling()) {
                if (!haveX && c.getName() == "x") {
                    tx = c.getValue();
                    haveX = true;
                } else if (!haveY && c.getName() == "y") {
                    ty = c.getValue();
                    haveY = true;
                }
            }
        }
        T px, py;
        if (!haveX || !haveY || !parseCoord(tx, px) || !parseCoord(ty, py)) return false;
        x = px;
        y = py;
        return true;
    }

    static constexpr unsigned kBinLength = 4 + 2 * sizeof(T);
    unsigned getBinLength() const override { return kBinLength; }
    unsigned toBin(unsigned char* out) const override {
        const T v[2] = {x, y};
        return writeCoords(out, v);
    }
    unsigned fromBin(const unsigned char* in, unsigned length) override {
        T v[2];
        unsigned used = 0;
        if (!readCoords(in, length, v, used))
            KT_THROW("ktml::Point2D", "fromBin( .. ) - size of value_type is incorrect");
        x = v[0];
        y = v[1];
        return used;
    }
};

}  // namespace ktml
