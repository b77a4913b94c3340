// ObjectTrackerParams: the object tracker's parameter block.
#include "ObjectTrackerParams.h"

#include <cmath>
#include <limits>
#include <string>

#include "kttl_Double.h"
#include "kttl_Exception.h"
#include "kttl_Integer.h"
#include "ktxml_DomIterator.h"

namespace {

const char* const kResurrectionWindow = "resurrection-window";
const char* const kResurrectionDistance = "resurrection-distance";
const char* const kResurrectionConfidence = "resurrection-confidence";
const char* const kRemoveFalseObjects = "remove-false-objects";
const char* const kAdvancedHistograms = "advanced-histograms";
const char* const kAdvancedObjectFeatures = "advanced-object-features";
const char* const kInvalidWindow = "invalid-window";
const char* const kDeferTime = "defer-time";
const char* const kAlwaysUpdateHistograms = "always-update-histograms";
const char* const kMinTrackLength = "min-track-length";
const char* const kMaxTrackMerges = "max-track-merges";
const char* const kOcclusionZones = "occlusion-zones";
const char* const kZoneTag = "zone";
const char* const kVertexTag = "vertex";

kttl::String flagElement(const char* name) { return kttl::String("<") + name + "/>\n"; }

// Rounded half away from zero and saturated to int32; NaN gives 0.
int32_t pixel(double v) {
    if (std::isnan(v)) return 0;
    const double r = v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5);
    if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(r);
}

}  // namespace

ObjectTrackerParams::ObjectTrackerParams() {
    setEnabled(true);
    setElementName(kProcessType);
    setName(kProcessType);
}

ObjectTrackerParams::~ObjectTrackerParams() = default;

ktsl::MemIOStream ObjectTrackerParams::binSerialize() const {
    ktsl::MemIOStream stream;
    stream.write(resurrectionWindow);
    stream.write(kttl::Integer(resurrectionDistance));
    stream.write(kttl::Double(resurrectionConfidence));
    stream.write(kttl::Integer(removeFalseObjects ? 1 : 0));
    stream.write(kttl::Integer(advancedHistograms ? 1 : 0));
    stream.write(invalidWindow);
    stream.write(deferTime);
    stream.write(occlusionZones);
    stream.write(kttl::Integer(advancedObjectFeatures ? 1 : 0));
    stream.write(kttl::Integer(alwaysUpdateHistograms ? 1 : 0));
    stream.write(kttl::Integer(minTrackLength));
    stream.write(kttl::Integer(maxTrackMerges));
    return stream;
}

bool ObjectTrackerParams::binUnserialize(const ktsl::MemIOStream& payload) {
    if (payload.isEmpty()) return false;
    ktsl::MemIOStream stream(payload);
    kttl::ElapsedTime window, invalid, defer;
    kttl::Integer distance, removeFalse, histograms, features, always, maturity, merges;
    kttl::Double confidence;
    ktsl::List<ktml::Polygon2D<float>> zones;
    try {
        stream.read(window);
        stream.read(distance);
        stream.read(confidence);
        stream.read(removeFalse);
        stream.read(histograms);
        stream.read(invalid);
        stream.read(defer);
        stream.read(zones);
        stream.read(features);
        stream.read(always);
        stream.read(maturity);
        stream.read(merges);
    } catch (const std::exception&) {
        return false;
    }
    resurrectionWindow = window;
    resurrectionDistance = distance;
    resurrectionConfidence = confidence.get();
    removeFalseObjects = removeFalse != 0;
    advancedHistograms = histograms != 0;
    invalidWindow = invalid;
    deferTime = defer;
    occlusionZones.swap(zones);
    advancedObjectFeatures = features != 0;
    alwaysUpdateHistograms = always != 0;
    minTrackLength = maturity;
    maxTrackMerges = merges;
    return true;
}

kttl::String ObjectTrackerParams::xmlSerialize() const {
    kttl::String out;
    out += resurrectionWindow.toXML(kResurrectionWindow) + "\n";
    out += kttl::Integer(resurrectionDistance).toXML(kResurrectionDistance) + "\n";
    out += kttl::Double(resurrectionConfidence).toXML(kResurrectionConfidence) + "\n";
    if (removeFalseObjects) out += flagElement(kRemoveFalseObjects);
    if (advancedHistograms) out += flagElement(kAdvancedHistograms);
    if (advancedObjectFeatures) out += flagElement(kAdvancedObjectFeatures);
    out += invalidWindow.toXML(kInvalidWindow) + "\n";
    out += deferTime.toXML(kDeferTime) + "\n";
    if (alwaysUpdateHistograms) out += flagElement(kAlwaysUpdateHistograms);
    out += kttl::Integer(minTrackLength).toXML(kMinTrackLength) + "\n";
    out += kttl::Integer(maxTrackMerges).toXML(kMaxTrackMerges) + "\n";
    if (occlusionZones.empty()) {
        out += flagElement(kOcclusionZones);
    } else {
        out += kttl::String("<") + kOcclusionZones + ">\n";
        for (const auto& zone : occlusionZones) out += zone.toXML(kZoneTag, kVertexTag) + "\n";
        out += kttl::String("</") + kOcclusionZones + ">\n";
    }
    return out;
}

bool ObjectTrackerParams::xmlUnserialize(const kttl::String& body) {
    ktxml::DomIterator root;
    if (!root.parse("<TempTag>" + body + "</TempTag>")) return false;
    ktxml::DomIterator it = root.childrenBegin();
    if (it.atEnd()) return false;
    bool zonesSeen = false;
    // Everything is read into a copy first, so a refused element changes nothing.
    // Values whose element is absent stay as they are; flags are read by presence.
    ObjectTrackerParams read(*this);
    read.occlusionZones.clear();
    read.removeFalseObjects = read.advancedHistograms = read.advancedObjectFeatures = false;
    read.alwaysUpdateHistograms = false;
    for (; !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        const std::string xml = it.toXML();
        bool ok = true;
        if (name == kResurrectionWindow) {
            ok = read.resurrectionWindow.fromXML(xml.c_str());
        } else if (name == kResurrectionDistance || name == kMinTrackLength || name == kMaxTrackMerges) {
            kttl::Integer value;
            ok = value.fromXML(xml.c_str());
            (name == kResurrectionDistance ? read.resurrectionDistance
             : name == kMinTrackLength    ? read.minTrackLength
                                          : read.maxTrackMerges) = value;
        } else if (name == kResurrectionConfidence) {
            kttl::Double value(read.resurrectionConfidence);
            ok = value.fromXML(xml.c_str());
            read.resurrectionConfidence = value.get();
        } else if (name == kRemoveFalseObjects) {
            read.removeFalseObjects = true;
        } else if (name == kAdvancedHistograms) {
            read.advancedHistograms = true;
        } else if (name == kAdvancedObjectFeatures) {
            read.advancedObjectFeatures = true;
        } else if (name == kAlwaysUpdateHistograms) {
            read.alwaysUpdateHistograms = true;
        } else if (name == kInvalidWindow) {
            ok = read.invalidWindow.fromXML(xml.c_str());
        } else if (name == kDeferTime) {
            ok = read.deferTime.fromXML(xml.c_str());
        } else if (name == kOcclusionZones) {
            zonesSeen = true;
            for (ktxml::DomIterator zone = it.childrenBegin(); ok && !zone.atEnd(); zone.nextSibling()) {
                ktml::Polygon2D<float> polygon;
                ok = polygon.fromXML(zone.toXML().c_str());
                if (ok) read.occlusionZones.push_back(polygon);
            }
        }
        if (!ok) return false;
    }
    resurrectionWindow = read.resurrectionWindow;
    resurrectionDistance = read.resurrectionDistance;
    resurrectionConfidence = read.resurrectionConfidence;
    removeFalseObjects = read.removeFalseObjects;
    advancedHistograms = read.advancedHistograms;
    advancedObjectFeatures = read.advancedObjectFeatures;
    invalidWindow = read.invalidWindow;
    deferTime = read.deferTime;
    alwaysUpdateHistograms = read.alwaysUpdateHistograms;
    minTrackLength = read.minTrackLength;
    maxTrackMerges = read.maxTrackMerges;
    if (zonesSeen) occlusionZones.swap(read.occlusionZones);
    return true;
}

bool ObjectTrackerParams::generateOcclusions(unsigned width, unsigned height, double scale,
                                             const ktsl::List<ktml::Polygon2D<float>>& zones,
                                             std::vector<kt_segment>& segments) {
    segments.clear();
    if (width == 0 || height == 0) return false;
    const double w = static_cast<double>(width) * scale, h = static_cast<double>(height) * scale;
    for (const auto& zone : zones) {
        const size_t n = zone.size();
        // Two vertices make an occluding line (both of its "edges"); fewer make nothing.
        if (n < 2) continue;
        const bool normalised = zone.isNormalized();
        for (size_t i = 0; i < n; ++i) {
            const auto& a = zone[i];
            const auto& b = zone[(i + 1) % n];
            const double fx = normalised ? w : 1.0, fy = normalised ? h : 1.0;
            kt_segment s;
            kt_set_segment(&s, pixel(a.x * fx), pixel(a.y * fy), pixel(b.x * fx), pixel(b.y * fy));
            segments.push_back(s);
        }
    }
    return true;
}
