// ProcessFrame: the working copy of a frame that travels down one camera's processing chain.
#include "ProcessFrame.h"

#include "kttl_Exception.h"

ProcessFrame::ProcessFrame() = default;

ProcessFrame::~ProcessFrame() = default;

void ProcessFrame::setImage(const kttl::String& name, const kt_image& image, unsigned types) {
    Frame::setImage(name, image, types);  // throws before anything is marked for a refused image
    m_setImages.insert(name);
}

void ProcessFrame::setBGRY(const kttl::String& name, const kt_image& image) {
    if (image.channels != 4) KT_THROW("ProcessFrame", "setBGRY() - image is not four-channel");
    setImage(name, image, kColour | kGray);
}

void ProcessFrame::unsetImage(const kttl::String& name) { m_setImages.erase(name); }

const kt_image* ProcessFrame::getSetImage(const kttl::String& name, unsigned type) const {
    return m_setImages.count(name) != 0 ? getImage(name, type) : nullptr;
}

bool ProcessFrame::isImageSet(const kttl::String& name, unsigned types) const {
    return m_setImages.count(name) != 0 && Frame::isImageSet(name, types);
}

void ProcessFrame::clearImages() {
    Frame::clearImages();
    m_setImages.clear();
}

void ProcessFrame::clear() { Frame::clear(); }
