// ktsl::EndOfFile: the empty record (type id 1) that marks the end of an object stream.
#pragma once

#include "ktsl_Serializable.h"

namespace ktsl {

class EndOfFile : public Serializable {
public:
    ~EndOfFile() override;

    using Serializable::toXML;
    unsigned short getTypeId() const override { return TypeId::EndOfFile; }
    kttl::String getTypeName() const override;
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override { return 0; }
    unsigned toBin(unsigned char*) const override { return 0; }
    unsigned fromBin(const unsigned char*, unsigned) override { return 0; }
};

}  // namespace ktsl
