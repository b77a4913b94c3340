// ProcessFrame: the working copy of a frame that travels down one camera's processing chain.
#pragma once

#include <map>

#include "Event.h"
#include "Frame.h"
#include "kt_conncomp_vertex.h"
#include "ktml_BoundingBox.h"
#include "ktvl_Resolution.h"
#include "ktsl_Set.h"
#include "kttl_SpareNodes.h"
#include "kttl_String.h"

// On top of a Frame it knows which images hold valid content in this frame (the set images): an
// image stored earlier but not set again for this frame is not visible through it. The untracked
// detections and the frame's events join it with the tracking and event code.
class ProcessFrame : public Frame {
public:
    ProcessFrame();
    ProcessFrame(const ProcessFrame& other);
    ProcessFrame& operator=(const ProcessFrame& other);
    ~ProcessFrame() override;

    // Adds the name to the set images, then stores the image as Frame::setImage does.
    void setImage(const kttl::String& name, const kt_image& image, unsigned types) override;
    void setImage(const kttl::String& name, const ktil::ImageBase& image, unsigned types) override;
    // Stores a four-byte blue-green-red-luminance image under `name` with type mask 3: the colour
    // representation is the image, the gray one its fourth byte. Throws as setImage for an image that
    // is not four-channel or not consistent.
    void setBGRY(const kttl::String& name, const kt_image& image);
    // Removes the name from the set images; the content stays.
    void unsetImage(const kttl::String& name);
    // The representation `type` of a set image, or null.
    const kt_image* getSetImage(const kttl::String& name, unsigned type) const;
    // Exchanges pixel buffers with the caller's image instead of copying (the caller gets the
    // entry's old buffer back, for reuse); an image without buffer or width unsets the name instead.
    void swapImage(const kttl::String& name, kt_image& image, unsigned types);
    // The entry of a set image; throws "getMultiImage() - image type is not set: <name>" otherwise.
    ktil::MultiImage& getMultiImage(const kttl::String& name) override;
    const ktil::MultiImage& getMultiImage(const kttl::String& name) const override;
    // Derives the representations `types` for a set image; throws "addType() - that image type is
    // not set" for a name that is not set.
    void addType(const kttl::String& name, unsigned types);
    // Adds the JPEG representation to each named set image that lacks it (sizes are kept).
    void compressImages(const ktsl::Set<kttl::String>& names, const ktvl::Resolution& maximum);
    // Doubles the size of each named set image.
    void upscaleImages(const ktsl::Set<kttl::String>& names);
    // Images are not dropped by request: nothing to do.
    void clearUnrequested() {}

    // Device images of plug-ins working on a graphics accelerator: opaque handles owned by whoever
    // stores them. No process of this system stores one, so the map stays empty.
    static const unsigned kAcceleratorImage = 0x10000;
    void setAcceleratorImage(const kttl::String& name, void* handle) { m_accelerator[name] = handle; }

    // The entry's mask counts only while the name is among the set images; bit kAcceleratorImage is
    // added when a non-null accelerator image exists under the name. True when that mask is not 0
    // and holds every bit of `types`.
    bool isImageSet(const kttl::String& name, unsigned types) const override;
    // Frame::clearImages, and no image is set any more.
    void clearImages() override;
    // Frame::clear.
    void clear() override;

    const ktsl::Set<kttl::String>& getSetImages() const { return m_setImages; }

    // The size of the frame's images (set by whoever fills the frame; the pipeline sets it from its
    // input image).
    const ktvl::Resolution& getResolution() const { return m_resolution; }
    void setResolution(const ktvl::Resolution& resolution) { m_resolution = resolution; }

    // The events raised in this frame, by uid.
    void setEvents(const std::map<unsigned, Event>& events) { m_events = events; }
    void clearEvents() { m_events.clear(); }
    const std::map<unsigned, Event>& getEvents() const { return m_events; }

    // Untracked detections: per detector name a chain of kt_vertex records owned by this frame, its
    // length, a class name and a pending flag (set while no tracker has claimed the entry).
    // Prepends one record to the chain of `name` (a new entry is pending). Throws when memory runs out.
    void addUntracked(const ktml::BoundingBox<int>& box, const kttl::String& name, float confidence);
    // Moves the first `count` records of *list (all when the chain is shorter) to the front of the
    // chain of `name` and leaves *list at the first record not moved. Null, empty or count 0: nothing.
    void spliceUntracked(kt_vertex** list, const kttl::String& name, unsigned count);
    // The chain head and its length; null and 0 for an absent name.
    kt_vertex* getUntracked(const kttl::String& name, unsigned& count) const;
    // Sets the class name of the entry (creating an empty, non-pending entry when absent).
    void classifyUntracked(const kttl::String& name, const kttl::String& className);
    kttl::String getUntrackedClass(const kttl::String& name) const;
    // Clears the pending flag.
    void maskAsTracked(const kttl::String& name);
    // Names whose pending flag is set.
    ktsl::Set<kttl::String> nameUntracked() const;
    // Frees the chain of one entry and removes it; frees all.
    void clearUntracked(const kttl::String& name);
    void clearUntracked();

private:
    struct Untracked {
        kt_vertex* head = nullptr;
        uint32_t count = 0;
        kttl::String className;
        bool pending = false;
    };
    using UntrackedMap = std::map<kttl::String, Untracked>;
    Untracked& untrackedEntry(const kttl::String& name, bool pending);
    void copyUntrackedFrom(const ProcessFrame& other);

    using SetImages = std::set<kttl::String>;
    void markSet(const kttl::String& name);

    ktsl::Set<kttl::String> m_setImages;
    // Nodes of names cleared or unset, reused by the next frame's setImage.
    kttl::SpareNodes<SetImages> m_spareNames;
    ktvl::Resolution m_resolution;
    std::map<unsigned, Event> m_events;
    std::map<kttl::String, void*> m_accelerator;
    // Entries of cleared detectors are kept for reuse, so a frame reused per camera frame does not
    // allocate a map node for its "Moving" list every frame.
    UntrackedMap m_untracked;
    kttl::SpareNodes<UntrackedMap> m_spareUntracked;
};
