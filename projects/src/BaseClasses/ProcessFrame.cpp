// ProcessFrame: the working copy of a frame that travels down one camera's processing chain.
#include "ProcessFrame.h"

#include <utility>

#include "kttl_Exception.h"

ProcessFrame::ProcessFrame() = default;

ProcessFrame::~ProcessFrame() = default;

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

void ProcessFrame::setBGRY(const kttl::String& name, const kt_image& image) {
    if (image.channels != 4) KT_THROW("ProcessFrame", "setBGRY() - image is not four-channel");
    setImage(name, image, kColour | kGray);
}

void ProcessFrame::unsetImage(const kttl::String& name) {
    auto it = m_setImages.find(name);
    if (it != m_setImages.end()) m_spareNames.take(m_setImages, it);
}

const kt_image* ProcessFrame::getSetImage(const kttl::String& name, unsigned type) const {
    return m_setImages.count(name) != 0 ? getImage(name, type) : nullptr;
}

bool ProcessFrame::isImageSet(const kttl::String& name, unsigned types) const {
    return m_setImages.count(name) != 0 && Frame::isImageSet(name, types);
}

void ProcessFrame::clearImages() {
    Frame::clearImages();
    m_spareNames.takeAll(m_setImages);
}

void ProcessFrame::clear() { Frame::clear(); }
