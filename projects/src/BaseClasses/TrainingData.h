// TrainingData: the labelled feature vectors of one class that classifier training reads.
#pragma once

#include "ktsl_MemIOStream.h"
#include "ktsl_Serializable.h"
#include "kttl_Buffer.h"
#include "kttl_String.h"
#include "kttl_TimeStamp.h"

// Members in binary order:
//  1. the class name ("kt-noise" for vectors that serve only as negatives);
//  2. the vectors: a memory stream of one feature record per vector (kept serialized, so this
//     library needs no knowledge of the feature layout);
//  3. an image: raw pixels of a montage of the samples' patches, empty when none were kept;
//  4. the time stamp: when the newest vector was collected (the frame time of the sample);
//  5. the type of the classifier the data is for ("SVM");
//  6. the source: free text naming where the samples came from (a clip, a synthetic seed), so that
//     a data set can be traced and training and evaluation runs kept apart.
// No XML form.
class TrainingData : public ktsl::Serializable {
  public:
    kttl::String className;
    ktsl::MemIOStream features;
    kttl::Buffer image;
    kttl::TimeStamp timeStamp;
    kttl::String type;
    kttl::String source;

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::TrainingData; }
    kttl::String getTypeName() const override { return "TrainingData"; }
    // Both throw "toXML() - Not implemented" / "fromXML() - Not implemented".
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // All members or none: refused input leaves the record unchanged.
    unsigned fromBin(const unsigned char* in, unsigned length) override;
};
