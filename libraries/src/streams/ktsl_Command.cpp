// ktsl::Command: validation and the binary form of requests.
#include "ktsl_Command.h"

#include "kttl_Exception.h"

namespace ktsl {

Command::Command() : m_id(kttl::UUID::generate()), m_args(new MemIOStream) {}

Command::Command(const kttl::String& url, int32_t type, int32_t subtype) : Command() {
    m_url = url;
    m_type = type;
    m_subtype = subtype;
}

// Deep copy: a copied command must not share (and later append to) the original's arguments.
Command::Command(const Command& other)
    : Serializable(other),
      m_id(other.m_id),
      m_url(other.m_url),
      m_type(other.m_type),
      m_subtype(other.m_subtype),
      m_args(other.m_args ? new MemIOStream(*other.m_args) : nullptr),
      m_timeout(other.m_timeout),
      m_audit(other.m_audit),
      m_attributes(other.m_attributes) {}

Command& Command::operator=(const Command& other) {
    if (this != &other) {
        Command copy(other);
        m_id = copy.m_id;
        m_url = copy.m_url;
        m_type = copy.m_type;
        m_subtype = copy.m_subtype;
        m_args = copy.m_args;
        m_timeout = copy.m_timeout;
        m_audit = copy.m_audit;
        m_attributes = copy.m_attributes;
    }
    return *this;
}

Command::~Command() = default;

void Command::addArgument(const Serializable& value) {
    if (!m_args) m_args.reset(new MemIOStream);
    m_args->write(value);
}

void Command::validate() const {
    if (!m_id.isValid()) KT_THROW("ktsl::Command", "Invalid Command ID");
    if (m_url.empty()) KT_THROW("ktsl::Command", "Invalid URL");
    if (m_type.get() < 0) KT_THROW("ktsl::Command", "Invalid Command Type");
    if (m_subtype.get() < 0) KT_THROW("ktsl::Command", "Invalid Command SubType");
    if (!m_args) KT_THROW("ktsl::Command", "Object stream cannot be NULL.");
}

unsigned Command::getBinLength() const {
    const MemIOStream empty;
    return m_id.getBinLength() + m_url.getBinLength() + 8 + (m_args ? *m_args : empty).getBinLength() +
           m_timeout.getBinLength();
}

unsigned Command::writeBin(BinWriter& w) const {
    const unsigned start = w.written();
    const MemIOStream empty;
    w.value(m_id);
    w.value(m_url);
    w.value(m_type);
    w.value(m_subtype);
    w.value(m_args ? *m_args : empty);
    w.value(m_timeout);
    return w.written() - start;
}

unsigned Command::toBin(unsigned char* out) const {
    validate();
    BinWriter w(out);
    return writeBin(w);
}

unsigned Command::readBin(BinReader& r) {
    const unsigned start = r.consumed();
    kttl::UUID id;
    kttl::String url;
    kttl::Integer type, subtype;
    kttl::SmartPtr<MemIOStream> args(new MemIOStream);
    kttl::ElapsedTime timeout;
    r.value(id);
    r.value(url);
    r.value(type);
    r.value(subtype);
    r.value(*args);
    r.value(timeout);
    m_id = id;
    m_url.swap(url);
    m_type = type;
    m_subtype = subtype;
    m_args = args;
    m_timeout = timeout;
    return r.consumed() - start;
}

unsigned Command::fromBin(const unsigned char* in, unsigned length) {
    BinReader r(in, length);
    return readBin(r);
}

kttl::String Command::toXML(const char*) const { KT_THROW("ktsl::Command", "toXML() - Not implemented"); }

bool Command::fromXML(const char*) { KT_THROW("ktsl::Command", "fromXML() - Not implemented"); }

}  // namespace ktsl
