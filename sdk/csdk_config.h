// csdk_config: reading the stand-in SDK's environment settings (sources, resolutions, schedules).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "csdk.h"

namespace csdk_standin {

struct Size {
    int32_t width = 0;
    int32_t height = 0;
};

// The resolutions a typical camera offers when CSDK_RESOLUTIONS is not set.
extern const char* const kDefaultResolutions;

// "WxH,WxH,...": every entry positive and even in both directions (NV21 needs 2x2 blocks) and at most
// 8192 on a side. On failure `error` says which entry is wrong and `out` is unchanged.
bool parseResolutions(const char* text, std::vector<Size>& out, std::string& error);

// One step of a day/night schedule: from `atMs` after csdk_init the camera reports `mode`.
struct DayNightStep {
    uint32_t atMs = 0;
    csdk_daynight mode = CSDK_DAYNIGHT_DAY;
};

// "day", "night" or "day,night@5s,day@20s": an entry without "@" starts at 0; times are "<n>s",
// "<n>ms", "<n>m" or a bare number of seconds (fractions allowed) and must not decrease.
bool parseDayNight(const char* text, std::vector<DayNightStep>& out, std::string& error);

// A duration text as above; false when it is not one (or exceeds about 49 days).
bool parseDurationMs(const std::string& text, uint32_t& ms);

enum class AtEnd { Loop, Stop, Fail };
bool parseAtEnd(const char* text, AtEnd& out, std::string& error);

// What CSDK_SOURCE names: the built-in scene (with its options) or a file path / URL.
struct SourceSpec {
    bool synthetic = true;
    bool night = false;
    bool lightchange = false;
    bool empty = false;  // the street without movers
    uint64_t frames = 0;  // synthetic scene length; 0 = endless
    uint32_t seed = 0;    // synthetic movers drawn from this seed; 0 = the fixed six
    std::string location; // file path or URL when not synthetic
};
// Unset, empty or "synthetic[:option[:option...]]" (options night, lightchange, empty, frames=N, seed=N; ',' also
// separates) selects the scene; anything else is a location.
bool parseSource(const char* text, SourceSpec& out, std::string& error);

// A decimal integer within [min, max]; the whole text must be used.
bool parseInteger(const char* text, long long min, long long max, long long& out);
// A non-negative frame rate ("25", "12.5", "0"); at most 1000.
bool parseFps(const char* text, double& out);

// Infrared answers: CSDK_IRCUT = unsupported | on | off | auto (on by day), CSDK_IRLED = unsupported |
// disabled | on | off | auto (on by night).
enum class IrMode { Unsupported, Disabled, On, Off, Auto };
bool parseIrMode(const char* text, bool led, IrMode& out, std::string& error);

}  // namespace csdk_standin
