// ktml::Polygon2D: a closed polygon (the last vertex joins the first) of the geometry templates:
// zones, exclusion and occlusion outlines. Valid only with three or more vertices.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <vector>

#include "ktml_BoundingBox.h"
#include "ktml_Line2d.h"
#include "ktml_Point2d.h"

namespace ktml {

template <typename T>
class Polygon2D : public ktsl::Serializable {
public:
    typedef Point2D<T> value_type;
    typedef typename std::vector<Point2D<T>>::iterator iterator;
    typedef typename std::vector<Point2D<T>>::const_iterator const_iterator;

    // The binary form records the vertex count in 16 bits: a longer polygon is written with its
    // first kMaxBinVertices vertices only, so the count and the vertices written always agree.
    static constexpr unsigned kMaxBinVertices = 65535;

    // Walks the vertices as a ring: stepping past the last vertex comes back to the first. Stepping
    // requires a valid polygon.
    class VertexIterator {
    public:
        VertexIterator(const Polygon2D* polygon, size_t index) : m_polygon(polygon), m_index(index) {}
        const Point2D<T>& operator*() const { return (*m_polygon)[m_index]; }
        const Point2D<T>* operator->() const { return &(*m_polygon)[m_index]; }
        VertexIterator& operator++() {
            if (!m_polygon->isValid())
                KT_THROW("ktml::Polygon2D", "operator++() - iterator pointing to an invalid polygon");
            m_index = (m_index + 1) % m_polygon->size();
            return *this;
        }
        size_t index() const { return m_index; }
        bool operator==(const VertexIterator& o) const { return m_polygon == o.m_polygon && m_index == o.m_index; }
        bool operator!=(const VertexIterator& o) const { return !(*this == o); }

    private:
        const Polygon2D* m_polygon;
        size_t m_index;
    };

    Polygon2D() = default;
    Polygon2D(std::initializer_list<Point2D<T>> vertices) : m_vertices(vertices) {}
    Polygon2D(const Polygon2D&) = default;
    Polygon2D(Polygon2D&&) = default;
    Polygon2D& operator=(const Polygon2D&) = default;
    Polygon2D& operator=(Polygon2D&&) = default;
    // From another coordinate type: every coordinate rounded half away from zero and saturated.
    template <typename U, typename = std::enable_if_t<!std::is_same_v<U, T>>>
    Polygon2D(const Polygon2D<U>& o) {
        m_vertices.reserve(o.size());
        for (const auto& p : o) m_vertices.push_back(Point2D<T>(p));
    }
    template <typename U, typename = std::enable_if_t<!std::is_same_v<U, T>>>
    Polygon2D& operator=(const Polygon2D<U>& o) {
        Polygon2D tmp(o);
        m_vertices.swap(tmp.m_vertices);
        return *this;
    }

    bool operator==(const Polygon2D& o) const { return m_vertices == o.m_vertices; }
    bool operator!=(const Polygon2D& o) const { return !(*this == o); }

    size_t size() const { return m_vertices.size(); }
    bool empty() const { return m_vertices.empty(); }
    bool isValid() const { return m_vertices.size() >= 3; }
    void clear() { m_vertices.clear(); }
    void reserve(size_t n) { m_vertices.reserve(n); }
    void push_back(const Point2D<T>& p) { m_vertices.push_back(p); }
    void addVertex(T x, T y) { m_vertices.push_back(Point2D<T>(x, y)); }
    Point2D<T>& operator[](size_t i) { return m_vertices[i]; }
    const Point2D<T>& operator[](size_t i) const { return m_vertices[i]; }
    iterator begin() { return m_vertices.begin(); }
    iterator end() { return m_vertices.end(); }
    const_iterator begin() const { return m_vertices.begin(); }
    const_iterator end() const { return m_vertices.end(); }
    const std::vector<Point2D<T>>& vertices() const { return m_vertices; }
    void swap(Polygon2D& o) { m_vertices.swap(o.m_vertices); }

    // A ring iterator on vertex `index` (the caller keeps index < size()).
    VertexIterator vertexIterator(size_t index = 0) const { return VertexIterator(this, index); }

    // Whether every vertex lies within 0..1 on both axes (an empty polygon is not normalized).
    bool isNormalized() const {
        if (m_vertices.empty()) return false;
        for (const auto& p : m_vertices)
            if (!p.isNormalized()) return false;
        return true;
    }

    // The polygon in pixels of a width x height frame, taken as a whole: when every vertex lies
    // within 0..1 each is scaled by the frame size, otherwise the coordinates already are pixels;
    // then rounded half away from zero into U. Throws when width or height is not positive.
    template <typename U>
    Polygon2D<U> denormalize(int width, int height) const {
        if (width <= 0 || height <= 0)
            KT_THROW("ktml::Polygon2D", "denormalize( .. ) - width and height must be positive");
        const bool scale = isNormalized();
        Polygon2D<U> out;
        out.reserve(m_vertices.size());
        for (const auto& p : m_vertices) {
            const double px = static_cast<double>(p.x), py = static_cast<double>(p.y);
            out.push_back(Point2D<U>(coordCast<U>(scale ? px * width : px), coordCast<U>(scale ? py * height : py)));
        }
        return out;
    }

    // Point in polygon by crossing count on a ray to the right, in double precision. An edge counts
    // when it spans py half-open (one end at or below, the other above), so a shared vertex counts
    // once and a horizontal edge never; a point exactly on a counting edge is inside at once.
    // Throws for an invalid polygon.
    bool contains(double px, double py) const {
        const size_t n = m_vertices.size();
        if (n < 3) KT_THROW("ktml::Polygon2D", "contains() - invalid polygon");
        bool odd = false;
        for (size_t i = 0; i < n; ++i) {
            const Point2D<T>& a = m_vertices[i];
            const Point2D<T>& b = m_vertices[i + 1 == n ? 0 : i + 1];
            const double xi = a.x, yi = a.y, xj = b.x, yj = b.y;
            if ((yi <= py && yj > py) || (yi > py && yj <= py)) {
                const double xc = xi + (xj - xi) * ((py - yi) / (yj - yi));
                if (px == xc) return true;
                if (px < xc) odd = !odd;
            }
        }
        return odd;
    }
    template <typename U>
    bool contains(const Point2D<U>& p) const {
        return contains(static_cast<double>(p.x), static_cast<double>(p.y));
    }

    // The enclosing box: the smallest x and y, width = largest x - smallest x, height likewise.
    BoundingBox<T> boundingbox() const {
        if (!isValid()) KT_THROW("ktml::Polygon2D", "boundingbox() - invalid polygon");
        T minX = m_vertices[0].x, maxX = minX, minY = m_vertices[0].y, maxY = minY;
        for (const auto& p : m_vertices) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
        return BoundingBox<T>(minX, minY, coordCast<T>(static_cast<double>(maxX) - minX),
                              coordCast<T>(static_cast<double>(maxY) - minY));
    }

    // The edges in vertex order, the closing edge from the last vertex to the first included.
    std::vector<LineSegment2D<T>> getSegments() const {
        if (!isValid()) KT_THROW("ktml::Polygon2D", "getSegments() - invalid polygon");
        std::vector<LineSegment2D<T>> out;
        out.reserve(m_vertices.size());
        for (size_t i = 0; i < m_vertices.size(); ++i)
            out.push_back(LineSegment2D<T>(m_vertices[i], m_vertices[(i + 1) % m_vertices.size()]));
        return out;
    }

    // ktsl::Serializable. Binary form: u16 sizeof(T), u16 vertex count, the vertices as points.
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Polygon2D; }
    kttl::String getTypeName() const override { return "ktml_Polygon"; }

    // <tag>, every vertex as a point under its type name, </tag>.
    kttl::String toXML(const char* tag) const override { return toXML(tag, "ktml_Point2D"); }
    // <tag>, every vertex as a point under vertexTag (the settings use "point", parameter blocks
    // "vertex"), </tag>. A null tag gives the empty string.
    kttl::String toXML(const char* tag, const char* vertexTag) const {
        if (!tag) return kttl::String();
        if (!vertexTag) vertexTag = "ktml_Point2D";
        std::string s = "<" + std::string(tag) + ">";
        for (const auto& p : m_vertices) s += p.toXML(vertexTag);
        s += "</" + std::string(tag) + ">";
        return s;
    }

    // Every child element, whatever its name, is read as a point. False, polygon unchanged, when the
    // document has no children or any child is not a point.
    bool fromXML(const char* xml) override {
        ktxml::DomIterator it;
        return it.parse(xml) && fromDom(it);
    }
    bool fromDom(const ktxml::DomIterator& it) {
        if (!it.hasChildren()) return false;
        std::vector<Point2D<T>> vertices;
        for (ktxml::DomIterator c = it.childrenBegin(); !c.atEnd(); c.nextSibling()) {
            Point2D<T> p;
            if (!p.fromDom(c)) return false;
            vertices.push_back(p);
        }
        m_vertices.swap(vertices);
        return true;
    }

    unsigned binVertexCount() const {
        return static_cast<unsigned>(std::min<size_t>(m_vertices.size(), kMaxBinVertices));
    }
    unsigned getBinLength() const override { return 4 + binVertexCount() * Point2D<T>::kBinLength; }
    unsigned toBin(unsigned char* out) const override {
        ktsl::BinWriter w(out);
        const unsigned n = binVertexCount();
        w.u16(static_cast<uint16_t>(sizeof(T)));
        w.u16(static_cast<uint16_t>(n));
        for (unsigned i = 0; i < n; ++i) w.value(m_vertices[i]);
        return w.written();
    }
    unsigned fromBin(const unsigned char* in, unsigned length) override {
        ktsl::BinReader r(in, length);
        if (r.u16() != sizeof(T))
            KT_THROW("ktml::Polygon2D", "fromBin( .. ) - size of value_type is incorrect");
        const unsigned n = r.u16();
        r.need(n * Point2D<T>::kBinLength);  // at most 65535 x 20 bytes: cannot wrap
        std::vector<Point2D<T>> vertices(n);
        for (auto& p : vertices) r.value(p);
        m_vertices.swap(vertices);
        return r.consumed();
    }

private:
    std::vector<Point2D<T>> m_vertices;
};

}  // namespace ktml
