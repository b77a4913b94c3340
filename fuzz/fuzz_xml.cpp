// The XML reader and the XML form of every value type: byte 0 picks the type, the rest is the
// document. A value that reads must write an XML form (or refuse with the library exception), and
// the DOM walk of the document must stay within it.
#include <string>

#include "FuzzValues.h"
#include "ktxml_DomIterator.h"

namespace {

// Visits every element of the tree below `it` and its attributes' values.
void walk(ktxml::DomIterator it, int depth) {
    if (depth > 64) return;
    for (; !it.atEnd(); it.nextSibling()) {
        (void)it.getName();
        (void)it.getValue();
        (void)it.getAttribute("format");
        if (it.hasChildren()) walk(it.childrenBegin(), depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string xml(reinterpret_cast<const char*>(data) + 1, size - 1);
    ktxml::DomIterator root;
    if (root.parse(xml.c_str())) {
        (void)root.toXML();
        if (root.hasChildren()) walk(root.childrenBegin(), 0);
    }
    std::unique_ptr<ktsl::Serializable> v = fuzz::byIndex(data[0]);
    try {
        if (!v->fromXML(xml.c_str())) return 0;
        const kttl::String out = v->toXML("v");
        std::unique_ptr<ktsl::Serializable> again = fuzz::byIndex(data[0]);
        again->fromXML(out.c_str());
    } catch (const kttl::Exception&) {
        // types without an XML form refuse with the library exception
    }
    return 0;
}
