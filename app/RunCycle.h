// RunCycle: what one run cycle derives from the settings: detection parameters, activity-spy values
// and the alarm grace period, with the settings echo in the log.
#pragma once

#include <cstdint>

#include "SimpleTracker.h"
#include "ktml_Polygon2d.h"
#include "ktsl_List.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"
#include "kttl_ElapsedTime.h"
#include "kttl_Logger.h"
#include "kttl_String.h"

// The activity spy's settings. The spy itself is built from them once the event detection exists.
struct ActivitySettings {
    uint32_t minDistance = 0;                       // pixels an object must travel
    kttl::ElapsedTime minAge;                       // age an object must reach
    double maxWidth = 0.0;                          // largest object, fraction of the frame width
    double maxHeight = 0.0;                         // ... and height
    ktsl::List<ktml::Polygon2D<float>> zones;       // inclusion zones (empty: everywhere)
};

struct RunCycle {
    ActivitySettings activity;
    kttl::ElapsedTime gracePeriod;                  // at most one alarm per period
    SimpleTracker::Params params;
    bool inclusion = false;                         // zones are inclusion (spy) rather than exclusion zones
    bool classification = false;                    // models found and the setting present
};

// Fills `cycle` from `settings` (a missing setting reads as the empty text: 0, an empty list or an
// unknown unit), the parsed `zones` and the model files found, and logs, in order, the activity
// zones (inclusion only), the settings echo and the classification lines. `logger` may be null.
void buildRunCycle(const ktsl::StringMap<kttl::String>& settings, const ktsl::List<ktml::Polygon2D<float>>& zones,
                   const ktsl::Set<kttl::String>& modelFiles, kttl::Logger* logger, RunCycle& cycle);

// The setting's text, "" when absent.
kttl::String settingText(const ktsl::StringMap<kttl::String>& settings, const char* name);
