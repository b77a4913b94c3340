// ObjectInfo: what the classifier has accumulated about one tracked object.
#pragma once

#include <cstdint>
#include <map>

#include "kttl_ElapsedTime.h"
#include "kttl_String.h"

struct ObjectInfo {
    std::map<kttl::String, double> classHistogram;  // class name (as the model names it) -> sum
    double total = 0.0;
    int32_t frames = 0;       // frames that contributed
    bool reportable = false;  // set once the object has been scored
    kttl::ElapsedTime age;
};
