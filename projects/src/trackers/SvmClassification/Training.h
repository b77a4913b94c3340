// Training: the plug-in interface of a process that trains its models from labelled data.
#pragma once

#include <list>
#include <map>

#include "ClassificationModel.h"
#include "TrainingData.h"
#include "ktpl_Plugin.h"
#include "kttl_String.h"

// Receives training progress: a message, the progress 0..1 (-1 on failure) and the step of steps.
class TrainingListener {
  public:
    virtual ~TrainingListener() = default;
    virtual void onTrainingProgress(const kttl::String& message, double progress, int step, int steps) = 0;
};

class Training : public ktpl::Plugin {
  public:
    virtual kttl::String getTrainingType() const = 0;
    // Null for none; the listener must outlive the training call.
    virtual void setTrainingListener(TrainingListener* listener) = 0;
    // Trains one model per class of the data; false with the reason in the report to the listener.
    virtual bool train(const std::list<TrainingData>& data, std::list<ClassificationModel>& models) = 0;
};
