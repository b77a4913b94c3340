// RunCycle: what one run cycle derives from the settings: the activity spy, the detection parameters
// and the alarm grace period, with the settings echo in the log.
#pragma once

#include <cstdint>
#include <memory>

#include "Activity.h"
#include "SimpleTracker.h"
#include "ktml_Polygon2d.h"
#include "ktsl_List.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"
#include "kttl_ElapsedTime.h"
#include "kttl_Logger.h"
#include "kttl_String.h"

struct RunCycle {
    // The activity spy as the settings make it; params.spies holds one factory with a copy of it.
    std::unique_ptr<Activity> activity;
    kttl::ElapsedTime gracePeriod;                  // at most one alarm per period
    SimpleTracker::Params params;
    bool inclusion = false;                         // zones are inclusion (spy) rather than exclusion zones
    bool classification = false;                    // models found and the setting present
};

// Fills `cycle` anew from `settings` (a missing setting reads as the empty text: 0, an empty list or
// an unknown unit), the parsed `zones` and the model files found, and logs, in order, the activity
// zones (inclusion only), the settings echo and the classification lines. `logger` may be null.
void buildRunCycle(const ktsl::StringMap<kttl::String>& settings, const ktsl::List<ktml::Polygon2D<float>>& zones,
                   const ktsl::Set<kttl::String>& modelFiles, kttl::Logger* logger, RunCycle& cycle);

// The setting's text, "" when absent.
kttl::String settingText(const ktsl::StringMap<kttl::String>& settings, const char* name);
