// ProcessParams: the parameter block every video process is configured with.
#pragma once

#include "ktsl_MemIOStream.h"
#include "ktsl_Serializable.h"
#include "kttl_String.h"

// Common fields plus two payloads that carry a derived parameter class's own settings: a binary
// stream and an XML body. A derived class fills and reads them through the four hooks; the base keeps
// the payloads it was given so that a block can travel through code that does not know its class.
//
// Binary form: enabled (1 byte), mode, element name, name (strings), the binary payload stream, the
// XML payload string. XML form: <elementName enabled="true" [mode=".."] [name=".."]>payload</..>.
class ProcessParams : public ktsl::Serializable {
  public:
    ProcessParams();
    ProcessParams(const ProcessParams& other);
    ProcessParams& operator=(const ProcessParams& other);
    ~ProcessParams() override;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    const kttl::String& getMode() const { return m_mode; }
    void setMode(const kttl::String& mode) { m_mode = mode; }
    const kttl::String& getElementName() const { return m_elementName; }
    void setElementName(const kttl::String& name) { m_elementName = name; }
    const kttl::String& getName() const { return m_name; }
    void setName(const kttl::String& name) { m_name = name; }
    // The payloads as last written or read.
    const ktsl::MemIOStream& getBinPayload() const { return m_binPayload; }
    const kttl::String& getXmlPayload() const { return m_xmlPayload; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::ProcessParams; }
    kttl::String getTypeName() const override { return "ProcessParams"; }
    // The tag is the element name; `tag` is used only when the element name is empty.
    kttl::String toXML(const char* tag) const override;
    // Reads one element; false (block unchanged) when it is not well-formed XML or the payload hook
    // refuses the body.
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // After the common fields, binUnserialize(payload) is tried, then xmlUnserialize(body); the read
    // fails (block unchanged) when neither accepts its payload.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

    // Payload hooks of derived classes. The base has no settings of its own: it writes an empty
    // stream and body, and accepts whatever it is given (keeping it).
    virtual ktsl::MemIOStream binSerialize() const;
    virtual bool binUnserialize(const ktsl::MemIOStream& payload);
    virtual kttl::String xmlSerialize() const;
    virtual bool xmlUnserialize(const kttl::String& body);

  private:
    bool m_enabled = true;
    kttl::String m_mode;
    kttl::String m_elementName;
    kttl::String m_name;
    ktsl::MemIOStream m_binPayload;
    kttl::String m_xmlPayload;
};
