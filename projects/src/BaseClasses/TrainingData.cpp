// TrainingData: the labelled feature vectors of one class that classifier training reads.
#include "TrainingData.h"

#include <cstdint>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"

namespace {
const char* const kClass = "TrainingData";
}

kttl::String TrainingData::toXML(const char*) const { KT_THROW(kClass, "toXML() - Not implemented"); }

bool TrainingData::fromXML(const char*) { KT_THROW(kClass, "fromXML() - Not implemented"); }

unsigned TrainingData::getBinLength() const {
    // Summed in 64 bits: features and image each fit a 32-bit length, together they need not.
    const uint64_t n = uint64_t(className.getBinLength()) + features.getBinLength() + image.getBinLength() +
                       timeStamp.getBinLength() + type.getBinLength() + source.getBinLength();
    if (n > UINT32_MAX) KT_THROW(kClass, "getBinLength() - sample too large for its binary form");
    return static_cast<unsigned>(n);
}

unsigned TrainingData::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.value(className);
    w.value(features);
    w.value(image);
    w.value(timeStamp);
    w.value(type);
    w.value(source);
    return w.written();
}

unsigned TrainingData::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    TrainingData read;
    r.value(read.className);
    r.value(read.features);
    r.value(read.image);
    r.value(read.timeStamp);
    r.value(read.type);
    r.value(read.source);
    *this = std::move(read);
    return r.consumed();
}
