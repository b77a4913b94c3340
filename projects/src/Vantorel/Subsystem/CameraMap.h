// CameraMap: the machines of a site and the cameras each offers (type id 10, "CameraMap").
#pragma once

#include <map>

#include "kttl_String.h"
#include "ktsl_List.h"
#include "ktsl_Serializable.h"

// Only what a viewer needs to find this camera: machine host name -> camera names. Binary form:
// Integer machine count, then per machine in name order its host name (String), an Integer camera
// count and the camera names (String each). No XML form.
class CameraMap : public ktsl::Serializable {
public:
    using Machines = std::map<kttl::String, ktsl::List<kttl::String>>;

    void addCamera(const kttl::String& host, const kttl::String& camera) { m_machines[host].push_back(camera); }
    const Machines& getMachines() const { return m_machines; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::CameraMap; }
    kttl::String getTypeName() const override { return "CameraMap"; }
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // Untrusted input (counts checked against the bytes present); unchanged on failure.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    Machines m_machines;
};
