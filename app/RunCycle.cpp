// RunCycle: what one run cycle derives from the settings, with the settings echo in the log.
#include "RunCycle.h"

#include <climits>
#include <cstdlib>

namespace {

// The C library's lenient readings, as settings have always been read: leading blanks skipped, the
// number taken as far as it goes, 0 when there is none.
double decimalNumber(const kttl::String& text) { return std::strtod(text.c_str(), nullptr); }

int32_t base10Integer(const kttl::String& text) {
    const long v = std::strtol(text.c_str(), nullptr, 10);
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

uint32_t unsignedDecimal(const kttl::String& text) {
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

void info(kttl::Logger* logger, const kttl::String& message) {
    if (logger != nullptr) logger->log(kttl::INFO, message);
}

}  // namespace

kttl::String settingText(const ktsl::StringMap<kttl::String>& settings, const char* name) {
    auto it = settings.find(name);
    return it == settings.end() ? kttl::String() : it->second;
}

void buildRunCycle(const ktsl::StringMap<kttl::String>& settings, const ktsl::List<ktml::Polygon2D<float>>& zones,
                   const ktsl::Set<kttl::String>& modelFiles, kttl::Logger* logger, RunCycle& cycle) {
    cycle = RunCycle();
    cycle.inclusion = settingText(settings, "zone_type").equalsNoCase("inclusion");

    // The spy logs its refusals (a max-width of 0 keeps the whole frame, a zone of two points is
    // dropped) through the same logger.
    const uint32_t minDistance = unsignedDecimal(settingText(settings, "min_distance"));
    const kttl::ElapsedTime minAge = kttl::ElapsedTime::fromValUnit(decimalNumber(settingText(settings, "min_age")),
                                                                    settingText(settings, "min_age_unit"));
    const double maxWidth = decimalNumber(settingText(settings, "max_width")) / 100.0;
    const double maxHeight = decimalNumber(settingText(settings, "max_height")) / 100.0;
    cycle.activity.reset(new Activity("", "", Activity::NewObject, 0, minDistance));
    Activity& activity = *cycle.activity;
    activity.setLogger(logger);
    activity.setMinAge(minAge);
    activity.setMaxHeight(maxHeight);
    activity.setMaxWidth(maxWidth);
    if (cycle.inclusion) {
        activity.setZones(zones);
        info(logger, kttl::String::format("Activity Zones           : %s", zones.toXML().c_str()));
    }

    cycle.gracePeriod = kttl::ElapsedTime::fromValUnit(decimalNumber(settingText(settings, "alarm_interval")),
                                                       settingText(settings, "alarm_interval_unit"));

    SimpleTracker::Params& p = cycle.params;
    p.sensitivity = 0.5f;
    p.sceneSensitivity = 0.5f;
    p.minConfidence = 0.5f;
    p.minWidth = 5;
    p.minHeight = 11;
    p.mode = 4;
    p.minWidth = base10Integer(settingText(settings, "min_width"));
    p.minHeight = base10Integer(settingText(settings, "min_height"));
    p.sensitivity = static_cast<float>(base10Integer(settingText(settings, "sensitivity"))) / 100.0f;
    p.sceneSensitivity = static_cast<float>(base10Integer(settingText(settings, "light_sensitivity"))) / 100.0f;
    if (!cycle.inclusion) p.exclusionZones = zones;

    activity.setLogger(nullptr);  // the copies the pipeline runs get the tracker's logger
    p.spies.push_back(EventSpyFactory(&activity));

    info(logger, kttl::String::format("Max Width                : %f", maxWidth));
    info(logger, kttl::String::format("Max Height               : %f", maxHeight));
    info(logger, kttl::String::format("Min Distance             : %d", static_cast<int>(minDistance)));
    info(logger, kttl::String::format("Min Object Age           : %s", minAge.toHumanString(false).c_str()));
    info(logger, kttl::String::format("Alarm Grace Period       : %s", cycle.gracePeriod.toHumanString(false).c_str()));
    info(logger, kttl::String::format("Min Width                : %d", p.minWidth));
    info(logger, kttl::String::format("Min Height               : %d", p.minHeight));
    info(logger, kttl::String::format("Sensitivity              : %f", p.sensitivity));
    info(logger, kttl::String::format("Exclusion Zones          : %s", p.exclusionZones.toXML().c_str()));
    info(logger, kttl::String::format("Scene Sensitivity        : %f", p.sceneSensitivity));

    cycle.classification = !modelFiles.empty() && settings.find("classification") != settings.end();
    if (!cycle.classification) {
        info(logger, "Classification           : Disabled");
    } else {
        p.minConfidence = static_cast<float>(base10Integer(settingText(settings, "min_classification"))) / 100.0f;
        info(logger, kttl::String::format("Min Class Confidence     : %f", p.minConfidence));
        p.models = modelFiles;
    }
}
