// Frame: one video frame as the system sees it: time, position, tracked objects, named images and
// string attributes.
#pragma once

#include <cstdint>
#include <map>

#include "ObjectMap.h"
#include "kt_image.h"
#include "ktsl_Serializable.h"
#include "ktsl_Set.h"
#include "kttl_Attributes.h"
#include "kttl_ElapsedTime.h"
#include "kttl_String.h"
#include "kttl_TimeStamp.h"
#include "ktvl_Resolution.h"

// One named picture in up to two flat representations (the type mask says which are present):
// 1 colour (three or four bytes per pixel, blue-green-red first), 2 gray (one byte per pixel).
// Buffers are kept when the picture is cleared, so a frame reused for every camera frame of one size
// allocates no pixels after the first.
struct FrameImage {
    unsigned types = 0;
    kt_image colour{};
    kt_image gray{};

    FrameImage() = default;
    FrameImage(const FrameImage& other);
    FrameImage& operator=(const FrameImage& other);
    ~FrameImage();
    // The representation of `type` (1 or 2) when present, else null.
    const kt_image* get(unsigned type) const;
};

class Frame : public ktsl::Serializable, public kttl::Attributes {
public:
    // Image type bits.
    static const unsigned kColour = 1;
    static const unsigned kGray = 2;
    static const unsigned kJpeg = 4;
    // Frame flag asking the object tracker to reset itself before this frame.
    static const uint32_t kResetTracker = 0x100;

    Frame();
    Frame(const Frame&) = default;
    Frame& operator=(const Frame&) = default;
    ~Frame() override;

    void setTimePosition(const kttl::TimeStamp& stamp, const kttl::ElapsedTime& position);
    // Both return the time stamp.
    virtual const kttl::TimeStamp& getTimeStamp() const { return m_timeStamp; }
    virtual const kttl::TimeStamp& getTimePosition() const { return m_timeStamp; }
    const kttl::ElapsedTime& getPosition() const { return m_position; }

    uint32_t getFrameFlags() const { return m_flags; }
    void setFrameFlags(uint32_t flags) { m_flags = flags; }
    // Callers pass positive scales.
    void setScale(double scale) { m_scale = scale; }
    double getScale() const { return m_scale; }

    const ObjectMap& getObjects() const { return m_objects; }
    ObjectMap& getObjects() { return m_objects; }
    void setObjects(const ObjectMap& objects) { m_objects = objects; }

    // The "native-resolution" attribute read as a resolution; false when it is missing.
    bool getNativeResolution(ktvl::Resolution& resolution) const;

    // Stores a copy of `image` under `name` with type mask `types` (1, 2 or both): a one-channel image
    // becomes the gray representation; a three- or four-channel one the colour representation, and,
    // when 2 is asked for too, its gray form (a four-channel image's fourth byte, else the integer
    // luminance (30 b + 59 g + 11 r) / 100). Throws for a mask without 1 or 2 ("JPEG, Flat Gray or
    // Flat RGB type not set"; the JPEG form is not available), for an image without pixels or whose
    // size does not match its shape, and when the buffer cannot be had.
    virtual void setImage(const kttl::String& name, const kt_image& image, unsigned types);
    // The representation `type` (1 colour, 2 gray) of the named image, or null when absent.
    const kt_image* getImage(const kttl::String& name, unsigned type) const;
    // The entry's type mask when the image exists (0 otherwise); true when it holds every bit of
    // `types` and is not empty.
    virtual bool isImageSet(const kttl::String& name, unsigned types) const;
    // Empties one image's content; removes all images.
    void clearImage(const kttl::String& name);
    virtual void clearImages();
    // Names of the images present.
    ktsl::Set<kttl::String> imageNames() const;

    // Time stamp to default, position 0, objects and images and attributes emptied, scale 1, flags 0.
    virtual void clear();

    // Orders by time stamp, then by "frame-origin"; equal when both match.
    bool operator==(const Frame& other) const;
    bool operator<(const Frame& other) const;

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Frame; }
    kttl::String getTypeName() const override { return "Frame"; }
    // Frames have no XML form.
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    // The binary form (images included) comes with the image classes and the remote frame server;
    // until then these throw "binary form not available".
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

protected:
    FrameImage& entry(const kttl::String& name);

private:
    uint32_t m_flags = 0;
    kttl::TimeStamp m_timeStamp;
    kttl::ElapsedTime m_position;
    ObjectMap m_objects;
    // Entries are never erased, only emptied (types 0): a frame reused per camera frame keeps its
    // buffers. An entry with types 0 counts as absent everywhere.
    std::map<kttl::String, FrameImage> m_images;
    double m_scale = 1.0;
};
