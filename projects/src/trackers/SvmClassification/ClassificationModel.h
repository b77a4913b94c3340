// ClassificationModel: a named, typed classifier model as stored in model files and parameters.
#pragma once

#include "ktsl_MemIOStream.h"
#include "ktsl_Serializable.h"
#include "kttl_String.h"

// The model data is a memory stream holding one record of the model's own type (an SvmModel for
// type "SVM"). Binary form: name, type, the data stream, a flag byte (1 when data is present).
// XML form: <tag name=".." type="..">base64 of the stream's bytes</tag>.
class ClassificationModel : public ktsl::Serializable {
  public:
    // Files larger than this are refused before anything is read: a thousand-vector model is a few
    // hundred kilobytes.
    static constexpr unsigned long long kMaxFileBytes = 16ull << 20;

    ClassificationModel() = default;
    ClassificationModel(const kttl::String& name, const kttl::String& type) : m_name(name), m_type(type) {}

    const kttl::String& getName() const { return m_name; }
    void setName(const kttl::String& name) { m_name = name; }
    const kttl::String& getType() const { return m_type; }
    void setType(const kttl::String& type) { m_type = type; }
    const ktsl::MemIOStream& getData() const { return m_data; }
    ktsl::MemIOStream& getData() { return m_data; }
    bool hasData() const { return !m_data.isEmpty(); }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::ClassificationModel; }
    kttl::String getTypeName() const override { return "ClassificationModel"; }
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;
    // Serializable::fromFile, refusing files above kMaxFileBytes unread.
    bool fromFile(const char* path) override;

  private:
    kttl::String m_name;
    kttl::String m_type;
    ktsl::MemIOStream m_data;
};
