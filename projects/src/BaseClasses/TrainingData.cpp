// TrainingData: the labelled feature vectors of one class that classifier training reads.
#include "TrainingData.h"

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"

namespace {
const char* const kClass = "TrainingData";
}

kttl::String TrainingData::toXML(const char*) const { KT_THROW(kClass, "toXML() - Not implemented"); }

bool TrainingData::fromXML(const char*) { KT_THROW(kClass, "fromXML() - Not implemented"); }

unsigned TrainingData::getBinLength() const {
    return className.getBinLength() + features.getBinLength() + image.getBinLength() + timeStamp.getBinLength() +
           type.getBinLength() + source.getBinLength();
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
