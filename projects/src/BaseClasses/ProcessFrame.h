// ProcessFrame: the working copy of a frame that travels down one camera's processing chain.
#pragma once

#include "Frame.h"
#include "ktsl_Set.h"
#include "kttl_SpareNodes.h"
#include "kttl_String.h"

// On top of a Frame it knows which images hold valid content in this frame (the set images): an
// image stored earlier but not set again for this frame is not visible through it. The untracked
// detections and the frame's events join it with the tracking and event code.
class ProcessFrame : public Frame {
public:
    ProcessFrame();
    ~ProcessFrame() override;

    // Adds the name to the set images, then stores the image as Frame::setImage does.
    void setImage(const kttl::String& name, const kt_image& image, unsigned types) override;
    // Stores a four-byte blue-green-red-luminance image under `name` with type mask 3: the colour
    // representation is the image, the gray one its fourth byte. Throws as setImage for an image that
    // is not four-channel or not consistent.
    void setBGRY(const kttl::String& name, const kt_image& image);
    // Removes the name from the set images; the content stays.
    void unsetImage(const kttl::String& name);
    // The representation `type` of a set image, or null.
    const kt_image* getSetImage(const kttl::String& name, unsigned type) const;

    // The entry's mask counts only while the name is among the set images.
    bool isImageSet(const kttl::String& name, unsigned types) const override;
    // Frame::clearImages, and no image is set any more.
    void clearImages() override;
    // Frame::clear.
    void clear() override;

    const ktsl::Set<kttl::String>& getSetImages() const { return m_setImages; }

private:
    using SetImages = std::set<kttl::String>;
    void markSet(const kttl::String& name);

    ktsl::Set<kttl::String> m_setImages;
    // Nodes of names cleared or unset, reused by the next frame's setImage.
    kttl::SpareNodes<SetImages> m_spareNames;
};
