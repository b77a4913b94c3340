// SvmClassifier: per-class support-vector sub-classifiers and the per-object evidence.
#include "SvmClassifier.h"

#include <cmath>
#include <cstdio>

namespace {

const char* const kNativeImage = "Native Image";
const char* const kNativeScaled = "Native-Scaled";
const char* const kMovingMask = "Processed Image";
const char* const kStaticMask = "Stationary Object Processed";
const char* const kModelType = "SVM";
constexpr unsigned kGray = 2;
// Static objects are collected only once they have stood still this long.
constexpr int64_t kMinStaticAgeMs = 2000;
constexpr double kDegenerateRange = 1e-7;

void silent(const char*) {}

}  // namespace

SvmClassifier::SvmClassifier() { svm_set_print_string_function(&silent); }

bool SvmClassifier::setModel(const ClassificationModel& model) {
    if (model.getName() == kNoiseClass) return true;
    SvmModel svm;
    try {
        ktsl::MemIOStream data(model.getData());
        data.read(svm);
    } catch (const std::exception&) {
        return false;
    }
    if (!svm.isValid()) return false;
    svm.setName(model.getName());
    auto it = m_classes.find(model.getName());
    if (it == m_classes.end()) it = m_classes.emplace(model.getName(), SubClassifier(model.getName())).first;
    it->second.setModel(svm);
    return true;
}

ClassificationModel SvmClassifier::getModel(const kttl::String& name) const {
    ClassificationModel model(name, kModelType);
    auto it = m_classes.find(name);
    if (it != m_classes.end() && it->second.hasModel()) model.getData().write(it->second.getModel());
    return model;
}

ktsl::Set<kttl::String> SvmClassifier::getClassNames() const {
    ktsl::Set<kttl::String> names;
    for (const auto& entry : m_classes) names.insert(entry.first);
    return names;
}

void SvmClassifier::clearModels() { m_classes.clear(); }

bool SvmClassifier::hasModels() const {
    for (const auto& entry : m_classes)
        if (entry.second.hasModel()) return true;
    return false;
}

void SvmClassifier::classify(const ObjectFeatures& features) {
    for (auto& entry : m_classes) entry.second.setResults(features);
}

int SvmClassifier::getClassScore(const ObjectFeatures& features, std::map<kttl::String, double>& scores) {
    int made = 0;
    for (auto& entry : m_classes) {
        if (!entry.second.hasModel()) continue;
        scores[entry.first] = entry.second.getClassScore(features);
        made = 1;
    }
    return made;
}

const FeatureRange* SvmClassifier::findRange(int id) const {
    for (const FeatureRange& r : m_ranges)
        if (r.id == id) return &r;
    return nullptr;
}

double SvmClassifier::getScaledFeatureVal(int id, const ObjectFeatures& features) const {
    const FeatureRange* r = findRange(id);
    if (!r) return 0.0;
    const double span = static_cast<double>(r->max) - r->min;
    if (span <= kDegenerateRange) {
        std::printf(" max: %d    min:%d\n", r->max, r->min);
        return 0.0;
    }
    return 2.0 * (features.getFeature(id) - static_cast<double>(r->min)) / span - 1.0;
}

void SvmClassifier::updateClassHistogram(ObjectInfo& info) const {
    if (m_classes.empty()) return;
    bool positive = false;
    for (const auto& entry : m_classes) {
        if (entry.second.getLabel() <= 0) continue;
        const double p = entry.second.getPositiveConfidence();
        info.classHistogram[entry.first] += p;
        info.total += p;
        positive = true;
    }
    if (!positive) {
        double negative = 0.0;
        for (const auto& entry : m_classes) negative += entry.second.getNegativeConfidence();
        negative /= static_cast<double>(m_classes.size());
        info.classHistogram[kUnknownClass] += negative;
        info.total += negative;
    }
    ++info.frames;
}

kttl::String SvmClassifier::computeClassID(const ObjectInfo& info) {
    if (info.classHistogram.empty() || info.total < kMinTotal) return kNoClass;
    const kttl::String* best = nullptr;
    double largest = -1.0, second = -1.0;
    for (const auto& entry : info.classHistogram) {
        if (!best || entry.second > largest) {
            second = largest;
            largest = entry.second;
            best = &entry.first;
        } else if (entry.second > second) {
            second = entry.second;
        }
    }
    if (second < 0.0) second = 0.0;
    if (largest - second < kMinMargin) return kNoClass;
    return *best;
}

std::map<kttl::String, double> SvmClassifier::getNormalizedConfidences(const ObjectInfo& info) {
    std::map<kttl::String, double> out;
    if (!info.reportable || info.total < kMinTotal) return out;
    for (const auto& entry : info.classHistogram)
        out[entry.first] = info.frames > 0 ? std::sqrt(entry.second / info.frames) : 0.0;
    return out;
}

void SvmClassifier::labelObject(Object& object, const ObjectInfo& info) const {
    const kttl::String id = computeClassID(info);
    ktsl::Set<kttl::String>& labels = object.getClasses();
    ktsl::StringMap<kttl::Double>& confidences = object.getClassConfidences();
    // The classifier owns the labels and confidences of its own classes: an object whose class
    // changed carries only the new one. Edited in place so a settled object allocates nothing.
    for (auto it = labels.begin(); it != labels.end();) {
        bool ours = it->equalsNoCase(kUnknownClass);
        for (const auto& entry : m_classes) ours = ours || it->equalsNoCase(entry.first);
        it = ours && !it->equalsNoCase(id) ? labels.erase(it) : std::next(it);
    }
    if (id != kNoClass) object.addClass(id);
    const bool report = info.reportable && info.total >= kMinTotal;
    for (auto it = confidences.begin(); it != confidences.end();) {
        bool keep = false;
        for (const auto& entry : info.classHistogram) keep = keep || it->first.equalsNoCase(entry.first);
        it = keep && report ? std::next(it) : confidences.erase(it);
    }
    if (!report) return;
    for (const auto& entry : info.classHistogram) {
        const double c = info.frames > 0 ? std::sqrt(entry.second / info.frames) : 0.0;
        confidences[entry.first.toLower()] = kttl::Double(c);
    }
}

void SvmClassifier::createObjFeatureMap(ProcessFrame& frame, const kt_image& gray, bool collecting) {
    const kt_image* moving = frame.getSetImage(kMovingMask, kGray);
    const kt_image* still = frame.getSetImage(kStaticMask, kGray);
    for (auto& entry : frame.getObjects()) {
        Object& object = entry.second;
        const kttl::ElapsedTime age = object.age();
        if (collecting && (object.getMergeListSize() != 0 ||
                           (object.isStatic() && age.getMilliseconds() < kMinStaticAgeMs)))
            continue;
        const kt_image* mask = nullptr;
        if (object.isStatic() && still) mask = still;
        else if (object.getState() == Object::kMovingState && moving) mask = moving;
        if (!mask) continue;

        ObjectInfo& info = m_infos[object.getId()];
        info.age = age;
        bool settled = false;
        if (m_threshold != kNoThreshold && info.total >= kSettledTotal) {
            const kttl::String id = computeClassID(info);
            auto it = info.classHistogram.find(id);
            settled = it != info.classHistogram.end() && info.frames > 0 &&
                      std::sqrt(it->second / info.frames) >= m_threshold;
        }
        if (!settled && m_features.setFeatures(gray, *mask, object, age, object.isStatic())) {
            classify(m_features);
            updateClassHistogram(info);
            info.reportable = true;
        }
        labelObject(object, info);
    }
}

void SvmClassifier::cleanObjects(const ObjectMap& objects) {
    for (auto it = m_infos.begin(); it != m_infos.end();)
        it = objects.findObject(it->first) ? std::next(it) : m_infos.erase(it);
}

int SvmClassifier::process(ProcessFrame& frame, bool collecting) {
    const char* name = frame.getScale() == 1.0 ? kNativeImage : kNativeScaled;
    const kt_image* gray = frame.getSetImage(name, kGray);
    if (!gray) return 0;
    if (!frame.getObjects().empty()) createObjFeatureMap(frame, *gray, collecting);
    cleanObjects(frame.getObjects());
    return 1;
}
