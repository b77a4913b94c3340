// ClassificationModel: a named, typed classifier model as stored in model files and parameters.
#include "ClassificationModel.h"

#include <sys/stat.h>

#include <vector>

#include "Base64.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

kttl::String ClassificationModel::toXML(const char* tag) const {
    if (!tag) return kttl::String();
    kttl::String xml = kttl::String::format("<%s name=\"", tag);
    xml += m_name.xmlEscaped() + "\" type=\"" + m_type.xmlEscaped() + "\">";
    xml += base64Encode(m_data.unreadData(), m_data.getUnreadLength());
    xml += kttl::String::format("</%s>", tag);
    return xml;
}

bool ClassificationModel::fromXML(const char* xml) {
    ktxml::DomIterator it;
    if (!it.parse(xml)) return false;
    std::vector<unsigned char> bytes;
    if (!base64Decode(it.getValue(), bytes)) return false;
    ktsl::MemIOStream data;
    if (!bytes.empty()) data.writeBytes(bytes.data(), static_cast<unsigned>(bytes.size()));
    m_name = it.getAttribute("name");
    m_type = it.getAttribute("type");
    m_data = std::move(data);
    return true;
}

unsigned ClassificationModel::getBinLength() const {
    return m_name.getBinLength() + m_type.getBinLength() + m_data.getBinLength() + 1;
}

unsigned ClassificationModel::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.value(m_name);
    w.value(m_type);
    w.value(m_data);
    w.u8(hasData() ? 1 : 0);
    return w.written();
}

unsigned ClassificationModel::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    kttl::String name, type;
    ktsl::MemIOStream data;
    r.value(name);
    r.value(type);
    r.value(data);
    r.u8();
    m_name.swap(name);
    m_type.swap(type);
    m_data = std::move(data);
    return r.consumed();
}

bool ClassificationModel::fromFile(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (static_cast<unsigned long long>(st.st_size) > kMaxFileBytes) return false;
    return ktsl::Serializable::fromFile(path);
}
