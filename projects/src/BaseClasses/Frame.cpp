// Frame: one video frame as the system sees it: time, position, tracked objects, named images and
// string attributes.
#include "Frame.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"

namespace {

// Digits after the point of the "processing-frame-rate" attribute.
const int kFpsDecimals = 6;
// Attribute names made once: the frame loop sets the rate every frame, and a name this long
// would cost a heap string per call.
const kttl::String kProcessFps("processing-frame-rate");
const kttl::String kOrigin("frame-origin");

// A number as the XML writers print it: the stream's default six significant digits.
std::string number(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

// A pixel coordinate or length as a fraction of `size`, clamped to [0, 1].
double fraction(int v, int size) {
    if (v <= 0) return 0.0;
    if (v >= size) return 1.0;
    return static_cast<double>(v) / size;
}

}  // namespace

Frame::Frame() = default;

Frame::~Frame() = default;

void Frame::setTimePosition(const kttl::TimeStamp& stamp, const kttl::ElapsedTime& position) {
    m_timeStamp = stamp;
    m_position = position;
}

bool Frame::getObject(unsigned id, Object& object) const {
    const Object* found = m_objects.findObject(id);
    if (found == nullptr) return false;
    object = *found;
    return true;
}

bool Frame::removeObject(unsigned id) { return m_objects.erase(kttl::Integer(static_cast<int32_t>(id))) != 0; }

bool Frame::getNativeResolution(ktvl::Resolution& resolution) const {
    kttl::String text;
    if (!getAttribute("native-resolution", text)) return false;
    return resolution.fromString(text);
}

bool Frame::setOrigin(const kttl::String& url) {
    if (url.empty()) return false;
    setAttribute(kOrigin, url);
    return true;
}

kttl::String Frame::getOrigin() const { return getAttribute(kOrigin); }

void Frame::setProcessFps(const double& fps) {
    double v = fps;
    if (v > FLT_MAX) v = FLT_MAX;
    if (v < -FLT_MAX) v = -FLT_MAX;
    char text[64];  // the float range printed with six decimals fits
    snprintf(text, sizeof text, "%.*f", kFpsDecimals, v);
    setAttribute(kProcessFps, kttl::String(text));
}

double Frame::getProcessFps() const {
    double fps = 0;
    const kttl::String text = getAttribute(kProcessFps);
    return !text.empty() && text.parseDouble(fps) && std::isfinite(fps) ? fps : -1.0;
}

const ktil::MultiImage* Frame::findImage(const kttl::String& name) const {
    auto it = m_images.find(name);
    return it == m_images.end() || it->second.isEmpty() ? nullptr : &it->second;
}

void Frame::setImage(const kttl::String& name, const kt_image& image, unsigned types) {
    // Checked before an entry is made, so a refused image leaves no empty entry behind.
    if ((types & ktil::MultiImage::kAllTypes) == 0) KT_THROW("Frame", "JPEG, Flat Gray or Flat RGB type not set");
    entry(name).assign(image, types);
}

void Frame::setImage(const kttl::String& name, const ktil::ImageBase& image, unsigned types) {
    if ((types & ktil::MultiImage::kAllTypes) == 0) KT_THROW("Frame", "JPEG, Flat Gray or Flat RGB type not set");
    entry(name).assign(image, types);
}

ktil::MultiImage& Frame::getMultiImage(const kttl::String& name) {
    return const_cast<ktil::MultiImage&>(static_cast<const Frame*>(this)->Frame::getMultiImage(name));
}

const ktil::MultiImage& Frame::getMultiImage(const kttl::String& name) const {
    const ktil::MultiImage* image = findImage(name);
    if (image == nullptr) KT_THROW("Frame", "getImage() - image type not set");
    return *image;
}

const kt_image* Frame::getImage(const kttl::String& name, unsigned type) const {
    const ktil::MultiImage* image = findImage(name);
    return image == nullptr ? nullptr : image->getFlat(type);
}

bool Frame::isImageSet(const kttl::String& name, unsigned types) const {
    const ktil::MultiImage* image = findImage(name);
    return image != nullptr && (image->getTypes() & types) == types;
}

void Frame::clearImage(const kttl::String& name) {
    auto it = m_images.find(name);
    if (it != m_images.end()) it->second.clear();
}

void Frame::clearImages() {
    for (auto& image : m_images) image.second.clear();
}

ktsl::Set<kttl::String> Frame::imageNames() const {
    ktsl::Set<kttl::String> names;
    for (const auto& image : m_images) {
        if (!image.second.isEmpty()) names.insert(image.first);
    }
    return names;
}

void Frame::setFrom(const Frame& other) {
    if (this == &other) return;
    m_flags = other.m_flags;
    m_scale = other.m_scale;
    m_timeStamp = other.m_timeStamp;
    m_position = other.m_position;
    getAttributeMap() = other.getAttributeMap();
    m_objects = other.m_objects;
    clearImages();
    for (const auto& image : other.m_images) {
        if (!image.second.isEmpty()) entry(image.first) = image.second;
    }
}

void Frame::clear() {
    m_timeStamp = kttl::TimeStamp();
    m_position = kttl::ElapsedTime();
    m_objects.recycle();  // the next frame's objects reuse these nodes
    clearImages();
    m_scale = 1.0;
    m_flags = 0;
    clearAttributes();
}

bool Frame::operator==(const Frame& other) const {
    return m_timeStamp == other.m_timeStamp && getAttribute("frame-origin") == other.getAttribute("frame-origin");
}

bool Frame::operator<(const Frame& other) const {
    if (!(m_timeStamp == other.m_timeStamp)) return m_timeStamp < other.m_timeStamp;
    return getAttribute("frame-origin") < other.getAttribute("frame-origin");
}

kttl::String Frame::toXML(const char*) const { KT_THROW("Frame", "toXML() - not implemented"); }

bool Frame::fromXML(const char*) { KT_THROW("Frame", "fromXML() - not implemented"); }

unsigned Frame::getBinLength() const {
    // Summed in 64 bits: a few large images can pass 4 GiB, and a wrapped length sizes the
    // caller's buffer short of what toBin() writes.
    uint64_t n = uint64_t(m_timeStamp.getBinLength()) + m_position.getBinLength() + 4 + attributesBinLength() + 1;
    if (m_objectsIncluded) n += m_objects.getBinLength();
    n += uint64_t(m_requested.getBinLength()) + 4;
    for (const auto& name : m_requested) {
        if (const ktil::MultiImage* image = findImage(name)) n += uint64_t(name.getBinLength()) + image->getBinLength();
    }
    if (n > UINT32_MAX) KT_THROW("Frame", "getBinLength() - frame too large for its binary form");
    return static_cast<unsigned>(n);
}

unsigned Frame::toBin(unsigned char* out) const {
    unsigned char* p = out;
    p += m_timeStamp.toBin(p);
    p += m_position.toBin(p);
    ktsl::BinWriter(p).u32(m_flags);
    p += 4;
    p += attributesToBin(p);
    *p++ = m_objectsIncluded ? 1 : 0;
    if (m_objectsIncluded) p += m_objects.toBin(p);
    p += m_requested.toBin(p);
    uint32_t count = 0;
    for (const auto& name : m_requested) count += findImage(name) != nullptr ? 1 : 0;
    ktsl::BinWriter(p).u32(count);
    p += 4;
    for (const auto& name : m_requested) {
        const ktil::MultiImage* image = findImage(name);
        if (image == nullptr) continue;
        p += name.toBin(p);
        p += image->toBin(p);
    }
    return static_cast<unsigned>(p - out);
}

unsigned Frame::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    kttl::TimeStamp stamp;
    r.value(stamp);
    kttl::ElapsedTime position;
    r.value(position);
    const uint32_t flags = r.u32();
    kttl::Attributes attributes;
    r.skip(attributes.attributesFromBin(r.current(), r.remaining()));
    const uint8_t included = r.u8();
    if (included > 1) ktsl::Serializable::fromBinFailed();
    ObjectMap objects;
    if (included != 0) r.value(objects);
    ktsl::Set<kttl::String> requested;
    r.value(requested);
    // Only requested images travel, each at most once: the count is bounded before the loop.
    const uint32_t count = r.u32();
    if (count > requested.size()) ktsl::Serializable::fromBinFailed();
    std::map<kttl::String, ktil::MultiImage> images;
    for (uint32_t i = 0; i < count; ++i) {
        kttl::String name;
        r.value(name);
        if (requested.count(name) == 0 || images.count(name) != 0) ktsl::Serializable::fromBinFailed();
        ktil::MultiImage image;
        r.skip(image.fromBin(r.current(), r.remaining()));
        if (image.isEmpty()) ktsl::Serializable::fromBinFailed();
        images[name].swap(image);
    }
    // Everything read: only now does the frame change.
    m_timeStamp = stamp;
    m_position = position;
    m_flags = flags;
    getAttributeMap().swap(attributes.getAttributeMap());
    m_objectsIncluded = included != 0;
    m_objects.swap(objects);
    m_requested.swap(requested);
    m_images.swap(images);
    return r.consumed();
}

kttl::String Frame::createEmptyMetadata() { return "<Frame UtcTimeMsec=\"0\"><Data></Data></Frame>"; }

void Frame::createFrameMetadata(const kttl::TimeStamp& stamp, const ObjectMap& objects, int width, int height,
                                kttl::String& out) {
    out.assignFormat("<Frame UtcTimeMsec=\"%lld%03u\"><Data>", static_cast<long long>(stamp.getSeconds()),
                     stamp.getMilliseconds());
    kttl::String box;
    for (const auto& entry : objects) {
        ktml::BoundingBox<int> newest;
        entry.second.newest(newest);  // an object without history shows an empty box
        createBBoxMetadata(newest, width, height, box);
        out.appendFormat("<Object ObjectId=\"%d\"><Appearance> <Shape>", entry.first.get());
        out += box;
        out += "</Shape> ";
        out += createClassXML(entry.second);
        out += "</Appearance> </Object> ";
    }
    out += "</Data></Frame>";
}

void Frame::createBBoxMetadata(const ktml::BoundingBox<int>& box, int width, int height, kttl::String& out) {
    std::string left, top, right, bottom, cx, cy;
    if (width > 0 && height > 0) {
        const double l = 2 * fraction(box.x, width) - 1, t = 2 * fraction(box.y, height) - 1;
        const double w = 2 * fraction(box.width, width), h = 2 * fraction(box.height, height);
        left = number(l);
        top = number(t);
        right = number(l + w);
        bottom = number(t + h);
        cx = number(l + 0.5 * w);
        cy = number(t + 0.5 * h);
    } else {
        // 64-bit sums so boxes near the int range cannot overflow.
        const long long x = box.x, y = box.y, w = box.width, h = box.height;
        left = std::to_string(x);
        top = std::to_string(y);
        right = std::to_string(x + w);
        bottom = std::to_string(y + h);
        cx = std::to_string(x + w / 2);
        cy = std::to_string(y + h / 2);
    }
    out = "<BoundingBox left=\"" + left + "\" top=\"" + top + "\" right=\"" + right + "\" bottom=\"" + bottom +
          "\"/> <CenterOfGravity x=\"" + cx + "\" y=\"" + cy + "\"/>";
}

kttl::String Frame::createClassXML(const Object& object) {
    static const char* const kKnown[] = {"Animal", "Face", "Human", "Vehicle"};
    const auto& confidences = object.getClassConfidences();
    if (confidences.empty()) return kttl::String();
    kttl::String out = "<Class>";
    std::string extension;
    for (const auto& entry : confidences) {
        const char* type = "Other";
        for (const char* known : kKnown) {
            if (entry.first.equalsNoCase(known)) type = known;
        }
        const std::string likelihood = number(entry.second.get());
        out += "<ClassCandidate> <Type>";
        out += type;
        out += "</Type> <Likelihood>" + likelihood + "</Likelihood> </ClassCandidate> ";
        if (type == std::string("Other")) {
            extension += "<OtherTypes><Type>" + entry.first.xmlEscaped() + "</Type><Likelihood>" + likelihood + "</Likelihood></OtherTypes>";
        }
    }
    if (!extension.empty()) out += "<Extension>" + extension + "</Extension>";
    out += "</Class>";
    return out;
}
