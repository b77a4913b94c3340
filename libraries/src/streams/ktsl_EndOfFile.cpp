#include "ktsl_EndOfFile.h"

#include "ktxml_DomIterator.h"

namespace ktsl {

EndOfFile::~EndOfFile() = default;

kttl::String EndOfFile::getTypeName() const { return "ktsl_EndOfFile"; }

kttl::String EndOfFile::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    return kttl::String::format("<%s/>", tag);
}

bool EndOfFile::fromXML(const char* xml) {
    ktxml::DomIterator it;
    return it.parse(xml);
}

}  // namespace ktsl
