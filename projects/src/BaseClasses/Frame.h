// Frame: one video frame as the system sees it: time, position, tracked objects, named images and
// string attributes.
#pragma once

#include <cstdint>
#include <map>

#include "ObjectMap.h"
#include "kt_image.h"
#include "ktil_ImageBase.h"
#include "ktil_MultiImage.h"
#include "ktml_BoundingBox.h"
#include "ktsl_Serializable.h"
#include "ktsl_Set.h"
#include "kttl_Attributes.h"
#include "kttl_ElapsedTime.h"
#include "kttl_String.h"
#include "kttl_TimeStamp.h"
#include "ktvl_Resolution.h"

class Frame : public ktsl::Serializable, public kttl::Attributes {
public:
    // Image type bits.
    static const unsigned kColour = ktil::MultiImage::kColour;
    static const unsigned kGray = ktil::MultiImage::kGray;
    static const unsigned kJpeg = ktil::MultiImage::kJpeg;
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
    // The object under `id`, or null.
    const Object* getObject(unsigned id) const { return m_objects.findObject(id); }
    Object* getObject(unsigned id) { return m_objects.findObject(id); }
    // Copies the object under `id` into `object`; false (object untouched) when absent.
    bool getObject(unsigned id, Object& object) const;
    // False when there was no such object.
    bool removeObject(unsigned id);

    // The "native-resolution" attribute read as a resolution; false when it is missing.
    bool getNativeResolution(ktvl::Resolution& resolution) const;
    // "frame-origin": the URL of the frame's source in its string form. An empty URL does nothing
    // and gives false. getOrigin is empty when unset.
    bool setOrigin(const kttl::String& url);
    kttl::String getOrigin() const;
    // "processing-frame-rate": the rate clamped to the float range, printed with six decimals.
    // getProcessFps gives -1.0 when the attribute is missing, empty or not a number.
    void setProcessFps(const double& fps);
    double getProcessFps() const;

    // Stores `image` under `name` with type mask `types` (the entry's mask becomes `types`): see
    // ktil::MultiImage::assign for how the representations asked for are derived. Throws
    // "JPEG, Flat Gray or Flat RGB type not set" for a mask without 1, 2 or 4, and for an image
    // without pixels or whose size does not match its shape. A refused image leaves no entry set.
    virtual void setImage(const kttl::String& name, const kt_image& image, unsigned types);
    virtual void setImage(const kttl::String& name, const ktil::ImageBase& image, unsigned types);
    // The named entry; throws "getImage() - image type not set" when there is none.
    virtual ktil::MultiImage& getMultiImage(const kttl::String& name);
    virtual const ktil::MultiImage& getMultiImage(const kttl::String& name) const;
    // The flat representation `type` (1 colour, 2 gray) of the named image, or null when absent.
    const kt_image* getImage(const kttl::String& name, unsigned type) const;
    // True when the entry exists, is not empty and holds every bit of `types`.
    virtual bool isImageSet(const kttl::String& name, unsigned types) const;
    // Empties one image's content; removes all images. Buffers are kept for the next frame.
    void clearImage(const kttl::String& name);
    virtual void clearImages();
    // Names of the images present.
    ktsl::Set<kttl::String> imageNames() const;

    // Names of the images that travel in the binary form, and whether the object map does.
    const ktsl::Set<kttl::String>& getRequestedImages() const { return m_requested; }
    ktsl::Set<kttl::String>& getRequestedImages() { return m_requested; }
    void setRequestedImages(const ktsl::Set<kttl::String>& names) { m_requested = names; }
    bool getObjectsIncluded() const { return m_objectsIncluded; }
    void setObjectsIncluded(bool included) { m_objectsIncluded = included; }

    // Copies flags, scale, time stamp, position, attributes, objects and images of `other` (not the
    // requested images nor the objects-included flag).
    void setFrom(const Frame& other);

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
    // Binary form: time stamp, position, u32 flags, attributes, one byte objects-included, the
    // object map when included, the requested-image set, a u32 count and per requested image that
    // is present its name and ktil::MultiImage form. fromBin reads untrusted bytes: every count and
    // length is checked against what remains before anything is allocated; on a refusal it throws
    // the plain fromBin failure with the frame unchanged.
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

    // Metadata XML of a frame for the camera's event consumers.
    static kttl::String createEmptyMetadata();
    static void createFrameMetadata(const kttl::TimeStamp& stamp, const ObjectMap& objects, int width, int height,
                                    kttl::String& out);
    // Box text: normalised to [-1, 1] when width and height are positive, else integer pixels.
    static void createBBoxMetadata(const ktml::BoundingBox<int>& box, int width, int height, kttl::String& out);
    // Class text of the object's class confidences; empty when it has none.
    static kttl::String createClassXML(const Object& object);

protected:
    ktil::MultiImage& entry(const kttl::String& name) { return m_images[name]; }
    // The entry when present and not empty, else null.
    const ktil::MultiImage* findImage(const kttl::String& name) const;

private:
    uint32_t m_flags = 0;
    kttl::TimeStamp m_timeStamp;
    kttl::ElapsedTime m_position;
    ObjectMap m_objects;
    // Entries are never erased, only emptied (types 0): a frame reused per camera frame keeps its
    // buffers. An entry with types 0 counts as absent everywhere.
    std::map<kttl::String, ktil::MultiImage> m_images;
    ktsl::Set<kttl::String> m_requested;
    bool m_objectsIncluded = false;
    double m_scale = 1.0;
};
