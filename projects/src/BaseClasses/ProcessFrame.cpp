// ProcessFrame: the working copy of a frame that travels down one camera's processing chain.
#include "ProcessFrame.h"

#include <utility>

#include "kttl_Exception.h"

ProcessFrame::ProcessFrame() = default;

ProcessFrame::~ProcessFrame() { clearUntracked(); }

// Untracked chains are owned records: a copy gets its own.
ProcessFrame::ProcessFrame(const ProcessFrame& other)
    : Frame(other), m_setImages(other.m_setImages), m_resolution(other.m_resolution), m_events(other.m_events) {
    copyUntrackedFrom(other);
}

ProcessFrame& ProcessFrame::operator=(const ProcessFrame& other) {
    if (this == &other) return *this;
    Frame::operator=(other);
    m_setImages = other.m_setImages;
    m_resolution = other.m_resolution;
    m_events = other.m_events;
    clearUntracked();
    copyUntrackedFrom(other);
    return *this;
}

void ProcessFrame::copyUntrackedFrom(const ProcessFrame& other) {
    for (const auto& entry : other.m_untracked) {
        Untracked& mine = untrackedEntry(entry.first, entry.second.pending);
        mine.className = entry.second.className;
        kt_vertex** tail = &mine.head;
        for (const kt_vertex* v = entry.second.head; v != nullptr; v = v->next) {
            kt_vertex* copy = kt_new_vertex(v->x, v->y, v->width, v->height, v->confidence);
            if (copy == nullptr) KT_THROW("ProcessFrame", "copy - unable to allocate untracked detections");
            *tail = copy;
            tail = &copy->next;
            ++mine.count;
        }
    }
}

ProcessFrame::Untracked& ProcessFrame::untrackedEntry(const kttl::String& name, bool pending) {
    auto it = m_untracked.lower_bound(name);
    if (it != m_untracked.end() && !(name < it->first)) return it->second;
    UntrackedMap::node_type node = m_spareUntracked.pop(name);
    if (node.empty()) {
        it = m_untracked.emplace_hint(it, name, Untracked());
    } else {
        node.key() = name;
        node.mapped() = Untracked();
        it = m_untracked.insert(it, std::move(node));
    }
    it->second.pending = pending;
    return it->second;
}

void ProcessFrame::addUntracked(const ktml::BoundingBox<int>& box, const kttl::String& name, float confidence) {
    auto clampField = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v); };
    kt_vertex* v = kt_new_vertex(clampField(box.x), clampField(box.y), clampField(box.width),
                                 clampField(box.height), confidence);
    if (v == nullptr) KT_THROW("ProcessFrame", "addUntracked() - unable to allocate memory");
    Untracked& entry = untrackedEntry(name, true);
    v->next = entry.head;
    entry.head = v;
    ++entry.count;
}

void ProcessFrame::spliceUntracked(kt_vertex** list, const kttl::String& name, unsigned count) {
    if (list == nullptr || *list == nullptr || count == 0) return;
    kt_vertex* first = *list;
    kt_vertex* last = first;
    unsigned moved = 1;
    while (moved < count && last->next != nullptr) {
        last = last->next;
        ++moved;
    }
    Untracked& entry = untrackedEntry(name, true);
    *list = last->next;
    last->next = entry.head;
    entry.head = first;
    entry.count += moved;
}

kt_vertex* ProcessFrame::getUntracked(const kttl::String& name, unsigned& count) const {
    auto it = m_untracked.find(name);
    if (it == m_untracked.end()) {
        count = 0;
        return nullptr;
    }
    count = it->second.count;
    return it->second.head;
}

void ProcessFrame::classifyUntracked(const kttl::String& name, const kttl::String& className) {
    const bool existed = m_untracked.count(name) != 0;
    Untracked& entry = untrackedEntry(name, false);
    if (!existed) entry.pending = false;
    entry.className = className;
}

kttl::String ProcessFrame::getUntrackedClass(const kttl::String& name) const {
    auto it = m_untracked.find(name);
    return it == m_untracked.end() ? kttl::String() : it->second.className;
}

void ProcessFrame::maskAsTracked(const kttl::String& name) {
    auto it = m_untracked.find(name);
    if (it != m_untracked.end()) it->second.pending = false;
}

ktsl::Set<kttl::String> ProcessFrame::nameUntracked() const {
    ktsl::Set<kttl::String> names;
    for (const auto& entry : m_untracked) {
        if (entry.second.pending) names.insert(entry.first);
    }
    return names;
}

void ProcessFrame::clearUntracked(const kttl::String& name) {
    auto it = m_untracked.find(name);
    if (it == m_untracked.end()) return;
    kt_free_vertices(&it->second.head);
    m_spareUntracked.take(m_untracked, it);
}

void ProcessFrame::clearUntracked() {
    for (auto& entry : m_untracked) kt_free_vertices(&entry.second.head);
    m_spareUntracked.takeAll(m_untracked);
}

void ProcessFrame::setImage(const kttl::String& name, const kt_image& image, unsigned types) {
    Frame::setImage(name, image, types);  // throws before anything is marked for a refused image
    markSet(name);
}

void ProcessFrame::markSet(const kttl::String& name) {
    auto it = m_setImages.lower_bound(name);
    if (it != m_setImages.end() && !(name < *it)) return;
    SetImages::node_type node = m_spareNames.pop(name);
    if (node.empty()) {
        m_setImages.emplace_hint(it, name);
        return;
    }
    node.value() = name;
    m_setImages.insert(it, std::move(node));
}

void ProcessFrame::setImage(const kttl::String& name, const ktil::ImageBase& image, unsigned types) {
    Frame::setImage(name, image, types);
    markSet(name);
}

void ProcessFrame::setBGRY(const kttl::String& name, const kt_image& image) {
    if (image.channels != 4) KT_THROW("ProcessFrame", "setBGRY() - image is not four-channel");
    entry(name).assignBGRY(image);
    markSet(name);
}

void ProcessFrame::swapImage(const kttl::String& name, kt_image& image, unsigned types) {
    if (image.data == nullptr || image.width == 0) {
        unsetImage(name);
        return;
    }
    if ((types & ktil::MultiImage::kAllTypes) == 0) KT_THROW("ProcessFrame", "JPEG, Flat Gray or Flat RGB type not set");
    entry(name).swapIn(image, types);
    markSet(name);
}

const ktil::MultiImage& ProcessFrame::getMultiImage(const kttl::String& name) const {
    if (m_setImages.count(name) == 0) KT_THROW("ProcessFrame", "getMultiImage() - image type is not set: " + name);
    return Frame::getMultiImage(name);
}

ktil::MultiImage& ProcessFrame::getMultiImage(const kttl::String& name) {
    return const_cast<ktil::MultiImage&>(static_cast<const ProcessFrame*>(this)->getMultiImage(name));
}

void ProcessFrame::addType(const kttl::String& name, unsigned types) {
    if (m_setImages.count(name) == 0 || findImage(name) == nullptr) {
        KT_THROW("ProcessFrame", "addType() - that image type is not set");
    }
    entry(name).addTypes(types);
}

void ProcessFrame::compressImages(const ktsl::Set<kttl::String>& names, const ktvl::Resolution&) {
    for (const auto& name : names) {
        if (isImageSet(name, kColour) || isImageSet(name, kGray)) addType(name, kJpeg);
    }
}

void ProcessFrame::upscaleImages(const ktsl::Set<kttl::String>& names) {
    for (const auto& name : names) {
        if (m_setImages.count(name) != 0 && findImage(name) != nullptr) entry(name).grow();
    }
}

void ProcessFrame::unsetImage(const kttl::String& name) {
    auto it = m_setImages.find(name);
    if (it != m_setImages.end()) m_spareNames.take(m_setImages, it);
}

const kt_image* ProcessFrame::getSetImage(const kttl::String& name, unsigned type) const {
    return m_setImages.count(name) != 0 ? getImage(name, type) : nullptr;
}

bool ProcessFrame::isImageSet(const kttl::String& name, unsigned types) const {
    unsigned mask = 0;
    if (m_setImages.count(name) != 0) {
        const ktil::MultiImage* image = findImage(name);
        mask = image != nullptr ? image->getTypes() : 0;
    }
    auto device = m_accelerator.find(name);
    if (device != m_accelerator.end() && device->second != nullptr) mask |= kAcceleratorImage;
    return mask != 0 && (mask & types) == types;
}

void ProcessFrame::clearImages() {
    Frame::clearImages();
    m_spareNames.takeAll(m_setImages);
    m_accelerator.clear();
}

void ProcessFrame::clear() {
    Frame::clear();
    clearEvents();
    clearUntracked();
}
