// SvmClassification: the video process that gives tracked objects classes with per-class SVM models.
#include "SvmClassification.h"

#include "ktpl_InterfaceIds.h"

namespace {

constexpr int kFirstFeature = ObjectFeatures::kFirstOrientation;
constexpr int kLastFeature = ObjectFeatures::kLastOrientation;

}  // namespace

SvmClassification::SvmClassification() { initFeatures(); }

SvmClassification::~SvmClassification() = default;

void SvmClassification::initFeatures() {
    std::vector<int> ids;
    for (int id = kFirstFeature; id <= kLastFeature; ++id) ids.push_back(id);
    m_classifier.setEnabledFeatures(ids);
}

bool SvmClassification::supports(const char* iid, ktpl::Plugin** out) {
    ktpl::Plugin* part = nullptr;
    if (ktpl::isInterface(iid, ktpl::iid::Classification))
        part = static_cast<Classification*>(this);
    else if (ktpl::isInterface(iid, ktpl::iid::Collection))
        part = static_cast<Collection*>(this);
    else if (ktpl::isInterface(iid, ktpl::iid::Training) || ktpl::isInterface(iid, ktpl::iid::Schemes))
        part = static_cast<Training*>(this);
    else if (ktpl::isInterface(iid, ktpl::iid::VideoProcess))
        part = static_cast<VideoProcess*>(this);
    if (part == nullptr) return false;
    if (out != nullptr) *out = part;
    return true;
}

void SvmClassification::getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const {
    types["Native-Scaled"] = kttl::Integer(1);
    types["Processed Image"] = kttl::Integer(2);
    types["Stationary Object Processed"] = kttl::Integer(2);
}

bool SvmClassification::onProcessFrame(ProcessFrame& frame) { return m_classifier.process(frame, m_collecting) != 0; }

bool SvmClassification::loadFile(const kttl::String& path) {
    log(kttl::LogType::INFO, "Loading model:  %s", path.c_str());
    ClassificationModel model;
    if (model.fromFile(path.c_str()) && m_classifier.setModel(model)) return true;
    log(kttl::LogType::ERR, "Unable to load classification model:  %s", path.c_str());
    return false;
}

bool SvmClassification::onSetParameters(const ProcessParams& params) {
    ClassificationParams read;
    if (const auto* typed = dynamic_cast<const ClassificationParams*>(&params)) {
        read = *typed;
    } else if (!(params.getBinPayload().isEmpty() ? read.xmlUnserialize(params.getXmlPayload())
                                                  : read.binUnserialize(params.getBinPayload()))) {
        return false;
    }
    m_classifier.clearModels();
    m_classifier.resetObjects();
    // A model that cannot be used is skipped, not fatal to the others: the ones that load still
    // classify, and the result tells the owner that something was refused.
    bool ok = true;
    for (const auto& entry : read.models) {
        if (entry.second.hasData()) {
            if (!m_classifier.setModel(entry.second)) {
                log(kttl::LogType::ERR, "Unable to set classification model:  %s", entry.first.c_str());
                ok = false;
            }
        } else if (!read.modelPaths.count(entry.first)) {
            ok = loadFile(entry.first) && ok;
        }
    }
    for (const kttl::String& path : read.modelPaths) ok = loadFile(path) && ok;
    return ok;
}

bool SvmClassification::testImage(const kt_image& gray, const kt_image& mask, std::map<kttl::String, double>& scores) {
    if (!m_testFeatures.generateFeatures(gray, mask)) return false;
    return m_classifier.getClassScore(m_testFeatures, scores) != 0;
}

bool SvmClassification::train(const std::list<TrainingData>& data, std::list<ClassificationModel>& models) {
    m_report.clear();
    auto progress = [this](const kttl::String& message, double value, int step) {
        if (m_listener) m_listener->onTrainingProgress(message, value, step, 2);
    };
    progress("Setting global features...", 0.0, 1);
    bool ok = m_classifier.setSVMStruct(data, m_classifier.getEnabledFeatures(), m_report);
    if (ok) {
        progress("Training Models...", 0.0, 2);
        ok = m_classifier.trainSVM(m_listener, m_report);
    }
    log(kttl::LogType::INFO, m_report);
    if (!ok) {
        progress(kttl::String::format("Error: %s", m_report.c_str()), -1.0, 2);
        return false;
    }
    for (const kttl::String& name : m_classifier.getClassNames()) models.push_back(m_classifier.getModel(name));
    progress("Models successfuly trained.", 1.0, 2);
    return true;
}
