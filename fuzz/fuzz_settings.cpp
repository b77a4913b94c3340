// The settings file through loadXML (read from a scratch home folder), the zones through
// parseZones, and the rest of a run cycle's settings; parseZones also reads the input directly.
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "Coordinator.h"
#include "RunCycle.h"
#include "ScratchFile.h"

namespace {

// Drops every line: the fuzzer's output stays readable.
class NullLogger : public kttl::Logger {
public:
    NullLogger() { start(); }
    ~NullLogger() override { stop(kttl::ElapsedTime(5000)); }
    bool output(const kttl::LogType&, const kttl::String&) override { return true; }
};

const std::string& settingsFile() {
    static const std::string home = [] {
        const std::string h = fuzz::scratchFile("settings");
        mkdir(h.c_str(), 0700);
        mkdir((h + "/html").c_str(), 0700);
        fuzz::cleanup().add(h + "/html");
        fuzz::cleanup().add(h + "/html/settings_xml.txt");
        setenv("CS_APP_HOME", h.c_str(), 1);
        return h;
    }();
    static const std::string file = home + "/html/settings_xml.txt";
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static NullLogger logger;
    const kttl::String text(reinterpret_cast<const char*>(data), size);
    ktsl::List<ktml::Polygon2D<float>> direct;
    Coordinator::parseZones(text, direct);

    if (!fuzz::writeFile(settingsFile(), data, size)) return 0;
    ktsl::StringMap<kttl::String> settings;
    if (!Coordinator::loadXML(logger, settings)) return 0;
    ktsl::List<ktml::Polygon2D<float>> zones;
    if (!Coordinator::parseZones(settingText(settings, "zones"), zones)) return 0;
    ktvl::Resolution resolution;
    resolution.fromString(settingText(settings, "video_resolution"));
    RunCycle cycle;
    buildRunCycle(settings, zones, ktsl::Set<kttl::String>(), nullptr, cycle);
    return 0;
}
