// Labelled feature vectors for classifier tests: classes as clusters in the orientation histogram.
#pragma once

#include <cstdint>
#include <list>
#include <random>
#include <vector>

#include "ObjectFeatures.h"
#include "TrainingData.h"

// One class: `count` vectors whose ids 10..21 sit around `centre` (one value per id) with a spread of
// +-`spread`, drawn from a fixed seed so every run sees the same data.
inline TrainingData makeClass(const char* name, const std::vector<int32_t>& centre, int count, int32_t spread,
                              uint32_t seed) {
    std::mt19937 rng(seed);
    TrainingData d;
    d.className = name;
    d.type = "SVM";
    for (int i = 0; i < count; ++i) {
        ObjectFeatures f;
        for (int id = 10; id <= 21; ++id)
            f.setFeature(id, centre[id - 10] + static_cast<int32_t>(rng() % (2 * spread + 1)) - spread);
        d.features.write(f);
    }
    return d;
}

// Features whose histogram is `level` everywhere.
inline ObjectFeatures flatFeatures(int32_t level) {
    ObjectFeatures f;
    for (int id = 10; id <= 21; ++id) f.setFeature(id, level);
    return f;
}

inline std::vector<int32_t> flat(int32_t level) { return std::vector<int32_t>(12, level); }
