// Object: history bookkeeping, motion, colour palette, class confidences and the binary form.
#include "Object.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "ktml_CoordCast.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktsl_Record.h"
#include "kttl_Exception.h"

namespace {

constexpr const char* kClass = "Object";
constexpr const char* kPaletteAttribute = "Color Palette";
// Colours listed in the palette attribute.
constexpr size_t kPaletteColours = 5;
// A box starting closer than this to the left (top) border may be cut by it, so its left (top)
// edge does not follow the object: motion is then measured on the right (bottom) edges.
constexpr int kBorderMargin = 3;
// Share of a new displacement in the running velocity.
constexpr float kVelocityWeight = 0.1f;

int64_t centreOrFarEdge(int pos, int size, bool centre) {
    return centre ? int64_t(pos) + size / 2 : int64_t(pos) + size;
}

void scaleBox(ktml::BoundingBox<int>& b, double f) {
    b.x = ktml::coordCast<int>(b.x * f);
    b.y = ktml::coordCast<int>(b.y * f);
    b.width = ktml::coordCast<int>(b.width * f);
    b.height = ktml::coordCast<int>(b.height * f);
}

}  // namespace

bool Object::Node::operator==(const Node& o) const {
    if (box != o.box || mergedIds.size() != o.mergedIds.size()) return false;
    return std::equal(mergedIds.begin(), mergedIds.end(), o.mergedIds.begin(),
                      [](const kttl::Integer& a, const kttl::Integer& b) { return a.get() == b.get(); });
}

Object::Object() : Object(kMovingState, kttl::ElapsedTime(kDefaultWindowMs)) {}

Object::Object(const kttl::String& state, const kttl::ElapsedTime& window) : m_history(window), m_state(state) {}

Object::~Object() = default;

void Object::swap(Object& o) {
    std::swap(m_id, o.m_id);
    std::swap(m_history, o.m_history);
    std::swap(m_histogram, o.m_histogram);
    std::swap(m_state, o.m_state);
    std::swap(m_birth, o.m_birth);
    std::swap(m_estimated, o.m_estimated);
    std::swap(m_initialBox, o.m_initialBox);
    std::swap(m_vx, o.m_vx);
    std::swap(m_vy, o.m_vy);
    m_classes.swap(o.m_classes);
    m_confidences.swap(o.m_confidences);
    std::swap(m_fullTrack, o.m_fullTrack);
    std::swap(m_trackStatus, o.m_trackStatus);
    m_classRegions.swap(o.m_classRegions);
    getAttributeMap().swap(o.getAttributeMap());
}

float Object::getClassConfidence(const kttl::String& names) const {
    float product = 1.0f;
    bool any = false;
    for (const kttl::String& token : names.tokenize(",")) {
        auto it = m_confidences.find(token.trimmed().toLower());
        if (it == m_confidences.end()) continue;
        product *= ktml::coordCast<float>(it->second.get());
        any = true;
    }
    return any ? product : -1.0f;
}

ktml::BoundingBox<int> Object::getClassRegion(const kttl::String& name) const {
    auto it = m_classRegions.find(name);
    return it == m_classRegions.end() ? ktml::BoundingBox<int>() : it->second;
}

void Object::setHistogram(const ktml::ColorHistogram& h) {
    m_histogram = h;
    // The largest non-empty bins, largest first; bins are visited in index order and only a larger
    // count overtakes, so ties keep the lower bin first. Ranked in place: nothing is allocated.
    uint32_t top[kPaletteColours];
    size_t n = 0;
    for (uint32_t i = 0; i < h.binCount(); ++i) {
        const uint32_t v = h.getBinValue(i);
        if (!v) continue;
        size_t k = n < kPaletteColours ? n++ : kPaletteColours;
        for (; k > 0 && h.getBinValue(top[k - 1]) < v; --k)
            if (k < kPaletteColours) top[k] = top[k - 1];
        if (k < kPaletteColours) top[k] = i;
    }
    kttl::String palette;
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = 0;
        h.binToColor(top[i], c);
        if (i) palette += "|";
        palette.appendFormat("#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    }
    setAttribute(kPaletteAttribute, palette);
}

double Object::compareHistogram(const Object& other) const {
    if (m_histogram.binCount() != other.m_histogram.binCount()) return 0.0;
    return 1.0 - m_histogram.distanceTo(other.m_histogram, 0);
}

size_t Object::insert(const ktml::BoundingBox<int>& box, const ktsl::List<kttl::Integer>& mergedIds,
                      const kttl::TimeStamp& time) {
    return insert(box, ktsl::List<kttl::Integer>(mergedIds), time);
}

size_t Object::insert(const ktml::BoundingBox<int>& box, ktsl::List<kttl::Integer>&& mergedIds,
                      const kttl::TimeStamp& time) {
    if (m_birth.getSeconds() < 0 || m_birth.isZero()) m_birth = time;
    if (m_initialBox.width <= 0 || m_initialBox.height <= 0) m_initialBox = box;
    m_history.insert(Node(box, std::move(mergedIds)), time);
    return m_history.size();
}

void Object::update(const Object& other) {
    if (&other == this) return;
    // 1-2. The track: a newest-only object contributes its newest node once; a full track
    // replaces the history together with its window.
    m_fullTrack = other.m_fullTrack;
    if (!m_fullTrack) {
        Node node;
        kttl::TimeStamp time, mine;
        if (other.newest(node, time) && (!newestTime(mine) || mine != time)) m_history.insert(node, time);
    } else {
        m_history = other.m_history;
    }
    // 3. Everything else but the histogram.
    m_estimated = other.m_estimated;
    m_birth = other.m_birth;
    m_id = other.m_id;
    m_initialBox = other.m_initialBox;
    m_vx = other.m_vx;
    m_vy = other.m_vy;
    m_classes = other.m_classes;
    m_confidences = other.m_confidences;
    m_state = other.m_state;
    m_trackStatus = other.m_trackStatus;
    m_classRegions = other.m_classRegions;
    getAttributeMap() = other.getAttributeMap();
}

void Object::mergeTrack(const Object& other) {
    if (&other == this) {
        const Object copy(other);
        mergeTrack(copy);
        return;
    }
    for (const auto& entry : other.m_history) m_history.insert(entry.second, entry.first);
    // A never-inserted object has a zero birth time: it is not "earlier".
    const bool otherBorn = !other.m_birth.isZero() && other.m_birth.getSeconds() >= 0;
    const bool born = !m_birth.isZero() && m_birth.getSeconds() >= 0;
    if (otherBorn && (!born || other.m_birth < m_birth)) {
        m_birth = other.m_birth;
        m_initialBox = other.m_initialBox;
    }
    // Histograms of different shapes cannot be added bin by bin: an empty one takes the other's.
    if (m_histogram.binCount() == other.m_histogram.binCount()) m_histogram += other.m_histogram;
    else if (m_histogram.getTotal() == 0) m_histogram = other.m_histogram;
}

bool Object::newest(ktml::BoundingBox<int>& box) const {
    if (m_history.empty()) return false;
    box = m_history.newest().box;
    return true;
}

bool Object::newest(Node& node, kttl::TimeStamp& time) const {
    if (m_history.empty()) return false;
    node = m_history.newest();
    time = m_history.newestTime();
    return true;
}

bool Object::newestTime(kttl::TimeStamp& time) const {
    if (m_history.empty()) return false;
    time = m_history.newestTime();
    return true;
}

bool Object::newestPosition(kttl::ElapsedTime& position) const {
    if (m_history.empty()) return false;
    position = m_history.newestTime().toElapsedTime();
    return true;
}

bool Object::oldestPosition(kttl::ElapsedTime& position) const {
    if (m_history.empty()) return false;
    position = m_history.oldestTime().toElapsedTime();
    return true;
}

bool Object::updateNewest(const ktml::BoundingBox<int>& box) {
    if (m_history.empty()) return false;
    m_history.newest().box = box;
    return true;
}

size_t Object::getMergeListSize() const { return m_history.empty() ? 0 : m_history.newest().mergedIds.size(); }

void Object::clearTail() {
    while (m_history.size() > 1) m_history.pop_front();
}

kttl::ElapsedTime Object::age() const {
    if (m_history.empty()) return kttl::ElapsedTime(0);
    return m_history.newestTime() - m_birth;
}

void Object::setAverageVel(const ktml::BoundingBox<int>& box) {
    if (m_history.empty()) return;
    const ktml::BoundingBox<int>& n = m_history.newest().box;
    const bool cx = box.x >= kBorderMargin && n.x >= kBorderMargin;
    const bool cy = box.y >= kBorderMargin && n.y >= kBorderMargin;
    const float dx = float(centreOrFarEdge(box.x, box.width, cx) - centreOrFarEdge(n.x, n.width, cx));
    const float dy = float(centreOrFarEdge(box.y, box.height, cy) - centreOrFarEdge(n.y, n.height, cy));
    if (m_vx == 0.0f && m_vy == 0.0f) {
        m_vx = dx;
        m_vy = dy;
    } else {
        m_vx = (1.0f - kVelocityWeight) * m_vx + kVelocityWeight * dx;
        m_vy = (1.0f - kVelocityWeight) * m_vy + kVelocityWeight * dy;
    }
}

void Object::scale(double factor) {
    for (auto& entry : m_history) scaleBox(entry.second.box, factor);
    scaleBox(m_initialBox, factor);
    scaleBox(m_estimated, factor);
    for (auto& region : m_classRegions) scaleBox(region.second, factor);
}

bool Object::operator==(const Object& o) const {
    if (m_id != o.m_id || m_state != o.m_state || m_birth != o.m_birth || m_estimated != o.m_estimated ||
        m_initialBox != o.m_initialBox || m_vx != o.m_vx || m_vy != o.m_vy || m_fullTrack != o.m_fullTrack ||
        m_trackStatus != o.m_trackStatus || !(m_histogram == o.m_histogram) || m_classes != o.m_classes ||
        getAttributeMap() != o.getAttributeMap() || m_history.size() != o.m_history.size() ||
        m_history.getWindow() != o.m_history.getWindow() || m_confidences.size() != o.m_confidences.size() ||
        m_classRegions != o.m_classRegions)
        return false;
    auto a = m_history.begin();
    for (auto b = o.m_history.begin(); b != o.m_history.end(); ++a, ++b)
        if (a->first != b->first || a->second != b->second) return false;
    auto c = m_confidences.begin();
    for (auto d = o.m_confidences.begin(); d != o.m_confidences.end(); ++c, ++d)
        if (c->first != d->first || c->second.get() != d->second.get()) return false;
    return true;
}

kttl::String Object::toXML(const char*) const { KT_THROW(kClass, "Object::toXML( ) - not implemented"); }

bool Object::fromXML(const char*) { KT_THROW(kClass, "Object::fromXML( ) - not implemented"); }

// ---- binary form ------------------------------------------------------------------------------

namespace {

// Applies fn(time, node) to each node the track carries: all of them for a full track, else the
// newest; an empty history yields the zero-time placeholder.
template <class Fn>
void forTrackNodes(const Object::History& h, bool full, Fn fn) {
    if (h.empty()) {
        fn(kttl::TimeStamp(), Object::Node());
    } else if (full) {
        for (const auto& e : h) fn(e.first, e.second);
    } else {
        fn(h.newestTime(), h.newest());
    }
}

kttl::ElapsedTime trackDuration(const Object::History& h) {
    return h.empty() ? kttl::ElapsedTime(0) : h.newestTime() - h.oldestTime();
}

}  // namespace

unsigned Object::trackBinLength() const {
    using ktsl::record::kHeaderSize;
    uint64_t n = 4 + kHeaderSize + kttl::ElapsedTime().getBinLength();
    forTrackNodes(m_history, writesFullTrack(), [&](const kttl::TimeStamp& t, const Node& node) {
        n += 3 * kHeaderSize + uint64_t(t.getBinLength()) + node.box.getBinLength() + node.mergedIds.getBinLength();
    });
    if (n > UINT32_MAX) KT_THROW(kClass, "getBinLength() - track too long for its binary form");
    return static_cast<unsigned>(n);
}

void Object::serializeTrack(ktsl::MemIOStream& stream) const {
    stream.write(trackDuration(m_history));
    forTrackNodes(m_history, writesFullTrack(), [&](const kttl::TimeStamp& t, const Node& node) {
        stream.write(t);
        stream.write(node.box);
        stream.write(node.mergedIds);
    });
}

unsigned Object::getBinLength() const {
    uint64_t n = 4 + 1 + uint64_t(trackBinLength()) + m_birth.getBinLength() + m_state.getBinLength() +
                 m_estimated.getBinLength() + m_initialBox.getBinLength() + 8 + m_classes.getBinLength() +
                 m_confidences.getBinLength() + 4 + m_classRegions.getBinLength() + attributesBinLength() +
                 m_histogram.getBinLength();
    if (n > UINT32_MAX) KT_THROW(kClass, "getBinLength() - object too large for its binary form");
    return static_cast<unsigned>(n);
}

unsigned Object::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.u32(m_id);
    w.u8(m_fullTrack ? 1 : 0);
    // The track in the object-stream form: u32 byte count, then the records.
    w.u32(trackBinLength() - 4);
    ktsl::record::write(w, trackDuration(m_history));
    forTrackNodes(m_history, writesFullTrack(), [&](const kttl::TimeStamp& t, const Node& node) {
        ktsl::record::write(w, t);
        ktsl::record::write(w, node.box);
        ktsl::record::write(w, node.mergedIds);
    });
    w.value(m_birth);
    w.value(m_state);
    w.value(m_estimated);
    w.value(m_initialBox);
    w.f32(m_vx);
    w.f32(m_vy);
    w.value(m_classes);
    w.value(m_confidences);
    w.i32(m_trackStatus);
    w.value(m_classRegions);
    unsigned pos = w.written();
    pos += attributesToBin(out + pos);
    ktsl::BinWriter tail(out + pos);
    tail.value(m_histogram);
    return pos + tail.written();
}

unsigned Object::fromBin(const unsigned char* in, unsigned length) {
    // Everything is decoded into locals first and committed only when the whole form has been
    // read, so a refused input leaves no half-read object behind.
    ktsl::BinReader r(in, length);
    const uint32_t id = r.u32();
    const bool full = r.u8() != 0;

    const unsigned trackLength = r.u32();
    ktsl::BinReader track(r.bytes(trackLength), trackLength);
    kttl::ElapsedTime duration;
    ktsl::record::readInto(track, duration);
    std::vector<std::pair<kttl::TimeStamp, Node>> nodes;
    while (track.remaining() > 0) {
        kttl::TimeStamp time;
        Node node;
        ktsl::record::readInto(track, time);
        ktsl::record::readInto(track, node.box);
        ktsl::record::readInto(track, node.mergedIds);
        nodes.emplace_back(time, std::move(node));
    }
    // A writer with an empty history sends a single zero-time, empty node: it is not a position.
    if (nodes.size() == 1 && nodes[0].first.isZero() && nodes[0].second == Node()) nodes.clear();

    kttl::TimeStamp birth;
    kttl::String state;
    ktml::BoundingBox<int> estimated, initialBox;
    ktsl::Set<kttl::String> classes;
    ktsl::StringMap<kttl::Double> confidences;
    ktsl::StringMap<ktml::BoundingBox<int>> regions;
    kttl::Attributes attributes;
    ktml::ColorHistogram histogram;
    r.value(birth);
    r.value(state);
    r.value(estimated);
    r.value(initialBox);
    const float vx = r.f32();
    const float vy = r.f32();
    r.value(classes);
    r.value(confidences);
    const int32_t status = r.i32();
    r.value(regions);
    r.skip(attributes.attributesFromBin(r.current(), r.remaining()));
    r.value(histogram);

    // Commit.
    if (full) {
        m_history.clear();
        if (duration > m_history.getWindow()) m_history.setWindow(duration);
    }
    for (auto& n : nodes) m_history.insert(n.second, n.first);
    m_id = id;
    m_fullTrack = full;
    m_birth = birth;
    m_state.swap(state);
    m_estimated = estimated;
    m_initialBox = initialBox;
    m_vx = vx;
    m_vy = vy;
    m_classes.swap(classes);
    m_confidences.swap(confidences);
    m_trackStatus = status;
    m_classRegions.swap(regions);
    getAttributeMap().swap(attributes.getAttributeMap());
    m_histogram = std::move(histogram);
    return r.consumed();
}
