// Classifier models as files and parameters bring them: byte 0 picks the form (0 an SvmModel's binary
// form, 1 a model file, 2 a model's base64 XML, 3 a parameter XML body), the rest is the input.
// Whatever is accepted must predict with finite probabilities that sum to 1 and write back whole.
#include <cmath>
#include <string>

#include "ClassificationParams.h"
#include "FuzzValues.h"
#include "ScratchFile.h"
#include "SvmClassification.h"

namespace {

void predict(SvmClassifier& classifier) {
    for (int32_t level : {-5, 0, 30, 1000000}) {
        ObjectFeatures f;
        for (int id = 10; id <= 21; ++id) f.setFeature(id, level + id);
        classifier.classify(f);
        for (const auto& entry : classifier.getSubClassifiers()) {
            const SubClassifier& sub = entry.second;
            if (!sub.hasModel()) continue;
            const double p = sub.getPositiveConfidence(), n = sub.getNegativeConfidence();
            fuzz::check(std::isfinite(p) && std::isfinite(n) && std::fabs(p + n - 1.0) < 1e-6);
        }
    }
}

void install(const ClassificationModel& model) {
    SvmClassifier classifier;
    if (!classifier.setModel(model)) return;
    predict(classifier);
    fuzz::binaryForm(classifier.getModel(model.getName()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const unsigned char form = data[0] % 4;
    ++data;
    --size;
    try {
        if (form == 0) {
            SvmModel model;
            model.fromBin(data, static_cast<unsigned>(size));
            ClassificationModel wrapped("fuzz", "SVM");
            wrapped.getData().write(model);
            install(wrapped);
        } else if (form == 1) {
            static const std::string path = fuzz::scratchFile("svm");
            ClassificationModel model;
            if (fuzz::writeFile(path, data, size) && model.fromFile(path.c_str())) install(model);
        } else {
            const std::string text(reinterpret_cast<const char*>(data), size);
            if (form == 2) {
                ClassificationModel model;
                if (model.fromXML(text.c_str())) install(model);
            } else {
                ClassificationParams params;
                if (params.xmlUnserialize(text))
                    for (const auto& entry : params.models) install(entry.second);
            }
        }
    } catch (const kttl::Exception&) {
        // refused
    }
    return 0;
}
