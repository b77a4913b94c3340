// ClassificationParams: the classifier's parameter block: model files, embedded models, required classes.
#include "ClassificationParams.h"

#include "kttl_Integer.h"
#include "ktxml_DomIterator.h"

ClassificationParams::ClassificationParams() {
    setEnabled(true);
    setElementName(kProcessType);
    setName(kProcessType);
}

ClassificationParams::~ClassificationParams() = default;

ktsl::MemIOStream ClassificationParams::binSerialize() const {
    ktsl::MemIOStream stream;
    stream.write(modelPaths);
    stream.write(kttl::Integer(static_cast<int32_t>(models.size())));
    for (const auto& entry : models) stream.write(entry.second);
    stream.write(requiredClasses);
    return stream;
}

bool ClassificationParams::binUnserialize(const ktsl::MemIOStream& payload) {
    if (payload.isEmpty()) return false;
    ktsl::MemIOStream stream(payload);
    ktsl::Set<kttl::String> paths, classes;
    std::map<kttl::String, ClassificationModel> read;
    try {
        stream.read(paths);
        kttl::Integer count;
        stream.read(count);
        // Each model is a record of at least a header: a count beyond the bytes is refused by the
        // reads themselves, one record at a time, so nothing is allocated from the count.
        for (int32_t i = 0; i < count; ++i) {
            ClassificationModel model;
            stream.read(model);
            read[model.getName()] = std::move(model);
        }
        stream.read(classes);
    } catch (const std::exception&) {
        return false;
    }
    modelPaths.swap(paths);
    models.swap(read);
    requiredClasses.swap(classes);
    return true;
}

kttl::String ClassificationParams::xmlSerialize() const {
    kttl::String out;
    if (modelPaths.empty()) {
        out += "<ModelPaths/>\n";
    } else {
        out += "<ModelPaths>\n";
        for (const kttl::String& path : modelPaths) out += path.toXML("path") + "\n";
        out += "</ModelPaths>\n";
    }
    out += "<Models>\n";
    for (const auto& entry : models) out += entry.second.toXML("model") + "\n";
    out += "</Models>\n";
    out += "<RequiredClasses>\n";
    for (const kttl::String& cls : requiredClasses) out += cls.toXML("class") + "\n";
    out += "</RequiredClasses>\n";
    return out;
}

bool ClassificationParams::xmlUnserialize(const kttl::String& body) {
    ktxml::DomIterator root;
    if (!root.parse("<TempTag>" + body + "</TempTag>")) return false;
    ktsl::Set<kttl::String> paths, classes;
    std::map<kttl::String, ClassificationModel> read;
    bool seen = false;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        const std::string name = it.getName();
        for (ktxml::DomIterator child = it.childrenBegin(); !child.atEnd(); child.nextSibling()) {
            if (name == "ModelPaths" && child.getName() == "path") {
                paths.insert(child.getValue());
            } else if (name == "Models" && child.getName() == "model") {
                ClassificationModel model;
                if (!model.fromXML(child.toXML().c_str())) return false;
                read[model.getName()] = std::move(model);
            } else if (name == "RequiredClasses" && child.getName() == "class") {
                classes.insert(child.getValue());
            }
        }
        seen = seen || name == "ModelPaths" || name == "Models" || name == "RequiredClasses";
    }
    if (!seen) return false;
    modelPaths.swap(paths);
    models.swap(read);
    requiredClasses.swap(classes);
    return true;
}
