// FrameRequest: what a viewer wants in its frames (type id 2, "FrameRequest").
#pragma once

#include <cstdint>

#include "kttl_String.h"
#include "ktsl_Serializable.h"
#include "ktsl_Set.h"
#include "ktvl_Resolution.h"

// Binary form, in the order of the registered keys "tracks", "image-types", "resolution", then the
// rest: tracks (1 byte, 0 or 1), image names (a set of strings), resolution, frame rate (u16),
// name (String). XML forms throw "toXML() - Not implemented" / "fromXML() - Not implemented".
class FrameRequest : public ktsl::Serializable {
public:
    FrameRequest() = default;

    const ktsl::Set<kttl::String>& getImages() const { return m_images; }
    ktsl::Set<kttl::String>& getImages() { return m_images; }
    uint16_t getFrameRate() const { return m_rate; }
    void setFrameRate(uint16_t rate) { m_rate = rate; }
    bool getTracks() const { return m_tracks; }
    void setTracks(bool tracks) { m_tracks = tracks; }
    const ktvl::Resolution& getResolution() const { return m_resolution; }
    void setResolution(const ktvl::Resolution& r) { m_resolution = r; }
    const kttl::String& getName() const { return m_name; }
    void setName(const kttl::String& name) { m_name = name; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::FrameRequest; }
    kttl::String getTypeName() const override { return "FrameRequest"; }
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // Untrusted input (image counts checked against the bytes present); unchanged on failure.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    ktsl::Set<kttl::String> m_images;
    uint16_t m_rate = 30;
    bool m_tracks = false;
    ktvl::Resolution m_resolution;
    kttl::String m_name;
};
