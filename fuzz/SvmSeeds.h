// Seeds of the svm fuzz target: a small trained model in each form the target reads.
#pragma once

#include <cstdint>
#include <fstream>
#include <list>
#include <string>
#include <vector>

#include "ClassificationModel.h"
#include "ClassificationParams.h"
#include "SvmClassification.h"

namespace fuzz {

inline void svmSeeds(const std::string& dir) {
    std::list<TrainingData> data;
    uint32_t state = 12345;
    for (const char* name : {"Human", "Vehicle"}) {
        TrainingData d;
        d.className = name;
        const int32_t centre = name[0] == 'H' ? 20 : 60;
        for (int i = 0; i < 20; ++i) {
            ObjectFeatures f;
            for (int id = 10; id <= 21; ++id) {
                state = state * 1103515245u + 12345u;
                f.setFeature(id, centre + static_cast<int32_t>((state >> 16) % 9) - 4);
            }
            d.features.write(f);
        }
        data.push_back(d);
    }
    SvmClassification process;
    std::list<ClassificationModel> models;
    if (!process.train(data, models) || models.empty()) return;
    const ClassificationModel& model = models.front();
    int n = 0;
    auto put = [&](unsigned char form, const std::vector<unsigned char>& bytes) {
        std::ofstream out(dir + "/seed_" + std::to_string(n++), std::ios::binary);
        out.put(static_cast<char>(form));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    ktsl::MemIOStream stream(model.getData());
    SvmModel svm;
    stream.read(svm);
    std::vector<unsigned char> bin(svm.getBinLength());
    svm.toBin(bin.data());
    put(0, bin);
    const std::string file = dir + "/.model";
    if (model.toFile(file.c_str())) {
        std::ifstream in(file, std::ios::binary);
        put(1, std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
        std::remove(file.c_str());
    }
    const kttl::String xml = model.toXML("model");
    put(2, std::vector<unsigned char>(xml.begin(), xml.end()));
    ClassificationParams params;
    for (const ClassificationModel& m : models) params.models[m.getName()] = m;
    const kttl::String body = params.xmlSerialize();
    put(3, std::vector<unsigned char>(body.begin(), body.end()));
}

}  // namespace fuzz
