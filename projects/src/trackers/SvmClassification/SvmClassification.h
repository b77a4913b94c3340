// SvmClassification: the video process that gives tracked objects classes with per-class SVM models.
#pragma once

#include <list>
#include <map>

#include "Classification.h"
#include "ClassificationParams.h"
#include "Collection.h"
#include "SvmClassifier.h"
#include "Training.h"
#include "VideoProcess.h"

// Models come from the parameters (embedded, or files named by path). The process keeps classifying
// with the models that loaded even when another could not be read: the failure is logged and
// reported by onSetParameters, and the owner decides whether to run with the rest.
class SvmClassification : public Classification, public Collection, public Training, public VideoProcess {
  public:
    static constexpr const char* kProcessType = "SvmClassification";
    static constexpr const char* kType = "SVM";

    SvmClassification();
    ~SvmClassification() override;

    // Classification, collection, training, training schemes and video process ids.
    bool supports(const char* iid, ktpl::Plugin** out) override;
    void release() override { delete this; }
    kttl::String getProcessType() const override { return kProcessType; }
    kttl::String getModelType() const override { return kType; }
    kttl::String getTrainingType() const override { return kType; }
    kttl::String getCollectionType() const override { return kType; }
    ProcessParams getDefaultParameters() const override { return ClassificationParams(); }
    void getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const override;
    void resetProcess() override { m_classifier.resetObjects(); }

    bool setModel(const ClassificationModel& model) override { return m_classifier.setModel(model); }
    ClassificationModel getModel(const kttl::String& name) const override { return m_classifier.getModel(name); }
    void clearModels() override { m_classifier.clearModels(); }
    ktsl::Set<kttl::String> getClassNames() const override { return m_classifier.getClassNames(); }
    bool testImage(const kt_image& gray, const kt_image& mask, std::map<kttl::String, double>& scores) override;

    void setCollecting(bool collecting) override { m_collecting = collecting; }
    bool isCollecting() const override { return m_collecting; }

    void setTrainingListener(TrainingListener* listener) override { m_listener = listener; }
    // Replaces every model by ones trained on the data (ids 10..21); the out list gets one model per
    // class. On failure the earlier models are gone and the listener hears "Error: <report>".
    bool train(const std::list<TrainingData>& data, std::list<ClassificationModel>& models) override;
    // The report text of the last training.
    const kttl::String& getTrainingReport() const { return m_report; }

    // The features the classifier uses: the orientation histogram ids 10..21.
    void initFeatures();
    SvmClassifier& getClassifier() { return m_classifier; }
    const SvmClassifier& getClassifier() const { return m_classifier; }
    void setThreshold(double threshold) { m_classifier.setThreshold(threshold); }

  protected:
    bool onProcessFrame(ProcessFrame& frame) override;
    // Loads every model of the parameters; see the class comment. False when the parameters cannot be
    // read or any model failed to install.
    bool onSetParameters(const ProcessParams& params) override;

  private:
    bool loadFile(const kttl::String& path);

    SvmClassifier m_classifier;
    bool m_collecting = false;
    TrainingListener* m_listener = nullptr;
    kttl::String m_report;
    ObjectFeatures m_testFeatures;
};
