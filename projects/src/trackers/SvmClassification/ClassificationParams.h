// ClassificationParams: the classifier's parameter block: model files, embedded models, required classes.
#pragma once

#include <map>

#include "ClassificationModel.h"
#include "ProcessParams.h"
#include "ktsl_Set.h"
#include "kttl_String.h"

// XML body: <ModelPaths> of <path>, <Models> of <model name=".." type="..">base64</model>,
// <RequiredClasses> of <class>. Binary payload: the path set, the model count and each model, the
// class set. An embedded entry without data stands for the file named by its name.
class ClassificationParams : public ProcessParams {
  public:
    static constexpr const char* kProcessType = "SvmClassification";

    ClassificationParams();
    ~ClassificationParams() override;

    ktsl::Set<kttl::String> modelPaths;
    std::map<kttl::String, ClassificationModel> models;
    ktsl::Set<kttl::String> requiredClasses;

    ktsl::MemIOStream binSerialize() const override;
    bool binUnserialize(const ktsl::MemIOStream& payload) override;
    kttl::String xmlSerialize() const override;
    bool xmlUnserialize(const kttl::String& body) override;
};
