// Classification: the plug-in interface of a process that gives tracked objects classes from models.
#pragma once

#include <map>

#include "ClassificationModel.h"
#include "ktpl_Plugin.h"
#include "ktsl_Set.h"
#include "kt_image.h"
#include "kttl_String.h"

class Classification : public ktpl::Plugin {
  public:
    virtual kttl::String getModelType() const = 0;
    // Installs a model under its name; false when its data cannot be used.
    virtual bool setModel(const ClassificationModel& model) = 0;
    // The named model, or an empty model of this type.
    virtual ClassificationModel getModel(const kttl::String& name) const = 0;
    virtual void clearModels() = 0;
    virtual ktsl::Set<kttl::String> getClassNames() const = 0;
    // Scores one gray image and mask outside tracking: class name -> positive probability.
    virtual bool testImage(const kt_image& gray, const kt_image& mask, std::map<kttl::String, double>& scores) = 0;
};
