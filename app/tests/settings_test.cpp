// Reading the settings: files and fallbacks, the flat map, zones, model files and the run cycle.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "AppFiles.h"
#include "Coordinator.h"
#include "RunCycle.h"
#include "capture_logger.h"
#include "temp_home.h"

using Zones = ktsl::List<ktml::Polygon2D<float>>;
using Lines = std::vector<std::string>;

TEST(Settings, FilesFallbacksAndTheFlatMap) {
    TempHome home;
    setenv("CS_APP_HOME", home.path().c_str(), 1);
    CaptureLogger logger;
    ktsl::StringMap<kttl::String> settings;
    const std::string noCustom = "INFO No custom settings, loading default xml.";
    EXPECT_TRUE(!Coordinator::loadXML(logger, settings) &&
                logger.lines() == (Lines{noCustom, "ERR  No default settings available."}));

    home.write("default_settings_xml.txt", "<s><video_resolution>CIF</video_resolution></s>");
    home.write("settings_xml.txt", "");
    logger.clearLines();
    ASSERT_TRUE(Coordinator::loadXML(logger, settings));
    EXPECT_TRUE(logger.lines() == Lines{noCustom} && settingText(settings, "video_resolution") == "CIF");

    // The custom file wins; leaves give their text, elements with children their inner text.
    home.write("settings_xml.txt",
               "<settings>\n <blank>  \n\t </blank>\n <spaced> 50 </spaced>\n <dup>1</dup><dup>2</dup>\n"
               " <zones>\n  <polygon><point><x>0.1</x><y>0.2</y></point></polygon>\n </zones>\n"
               " <nested><a>1</a></nested> <e x=\"1\" />\n</settings>\n<after>ignored</after>");
    logger.clearLines(), settings.clear();
    ASSERT_TRUE(Coordinator::loadXML(logger, settings));
    EXPECT_TRUE(logger.lines().empty() && settings.count("e") == 1u && settings.size() == 6u);
    for (const auto& [key, text] : std::vector<std::pair<const char*, const char*>>{
             {"blank", ""}, {"spaced", " 50 "}, {"dup", "2"}, {"nested", "<a>1</a>"},
             {"zones", "\n  <polygon><point><x>0.1</x><y>0.2</y></point></polygon>\n "}})
        EXPECT_EQ(settingText(settings, key), text) << key;

    // A custom file that does not parse does not fall back: it fails. The size limit itself is read.
    home.write("settings_xml.txt", std::string(AppFiles::kMaxSettingsBytes + 1, ' '));
    logger.clearLines();
    EXPECT_TRUE(!Coordinator::loadXML(logger, settings) &&
                logger.lines() == Lines{"ERR  Failed to parse xml into a tree."});
    home.write("settings_xml.txt", "<s><a>1</a></s>" + std::string(AppFiles::kMaxSettingsBytes - 15, ' '));
    EXPECT_TRUE(Coordinator::loadXML(logger, settings));
    unsetenv("CS_APP_HOME");
}

TEST(Settings, Zones) {
    const std::string triangle = "<polygon><point><x>0.1</x><y>0.2</y></point><point><x>0.5</x><y>0.2</y></point>"
                                 "<point><x>0.3</x><y>0.9</y></point></polygon>";
    auto poly = [](const std::string& points) { return "<polygon>" + points + "</polygon>"; };
    const std::pair<std::string, int> cases[] = {  // text, polygons added (-1: refused)
        {"", 0}, {" \n ", 0}, {triangle + "\n" + triangle, 2}, {poly(""), 1},
        {poly("<point><x>12</x><y> 240 </y></point>"), 1}, {poly("<point><y>0.1</y><x>0.2</x></point>"), -1},
        {poly("<point><x>0.1</x></point>"), -1}, {poly("<pt><x>1</x><y>2</y></pt>"), -1},
        {poly("<point><x>1</x><y>2</y><z>3</z></point>"), -1}, {"<line><point><x>1</x><y>2</y></point></line>", -1},
        {"<polygon><point>", -1}, {poly("<point><x>left</x><y>2</y></point>"), -1},
        {poly("<point><x>nan</x><y>2</y></point>"), -1}, {poly("<point><x><v>1</v></x><y>2</y></point>"), -1},
        {"</zones><polygon/>", 0}};  // the last closes the wrapper early
    for (const auto& c : cases) {
        Zones zones;
        zones.push_back(ktml::Polygon2D<float>{{9, 9}, {9, 8}, {8, 8}});  // kept: results are appended
        EXPECT_TRUE(Coordinator::parseZones(c.first, zones) == (c.second >= 0) &&
                    zones.size() == 1u + std::max(c.second, 0)) << c.first;
    }
    Zones zones;
    ASSERT_TRUE(Coordinator::parseZones(triangle, zones) && zones.front().size() == 3u);
    EXPECT_TRUE(zones.front()[2].x == 0.3f && zones.front()[2].y == 0.9f);
}

TEST(Settings, RunCycleFromTheTable) {
    ktsl::StringMap<kttl::String> settings;
    for (const auto& s : std::vector<std::pair<const char*, const char*>>{
             {"zone_type", "Inclusion"}, {"min_distance", "25"}, {"min_age", "1.5"}, {"min_age_unit", "minutes"},
             {"max_width", "40"}, {"max_height", "75.5"}, {"alarm_interval", "90"}, {"min_width", " 50 "},
             {"alarm_interval_unit", "Seconds"}, {"min_height", "12"}, {"sensitivity", "70"},
             {"light_sensitivity", "30"}, {"classification", "false"}, {"min_classification", "65"}})
        settings[s.first] = s.second;
    Zones zones;
    zones.push_back(ktml::Polygon2D<float>{{0, 0}, {1, 0}, {1, 1}});
    const ktsl::Set<kttl::String> models{"/home/html/human.bin"};
    CaptureLogger logger;
    RunCycle cycle;
    buildRunCycle(settings, zones, models, &logger, cycle);
    ASSERT_TRUE(cycle.activity);
    const Activity& a = *cycle.activity;
    EXPECT_TRUE(a.getZones().size() == 1u && a.getType() == Activity::NewObject && a.getMaxActivity() == 0 &&
                a.getMinDistance() == 25u && a.getMinAge().getMilliseconds() == 90000);
    EXPECT_TRUE(std::abs(a.getMaxWidth() - 0.4f) < 1e-6f && std::abs(a.getMaxHeight() - 0.755f) < 1e-6f);
    // The pipeline gets one spy, a copy of the cycle's.
    ASSERT_EQ(cycle.params.spies.size(), 1u);
    const auto* spy = dynamic_cast<const Activity*>(cycle.params.spies.front().getSpy());
    ASSERT_TRUE(spy != nullptr && spy->toXML() == a.toXML());
    const auto& params = cycle.params;
    EXPECT_TRUE(cycle.gracePeriod.getMilliseconds() == 90000 && params.mode == 4 && params.models == models);
    EXPECT_EQ(logger.lines(),
              (Lines{"INFO Activity Zones           : " + std::string(zones.toXML()),
                     "INFO Max Width                : 0.400000", "INFO Max Height               : 0.755000",
                     "INFO Min Distance             : 25", "INFO Min Object Age           : 90 seconds",
                     "INFO Alarm Grace Period       : 90 seconds", "INFO Min Width                : 50",
                     "INFO Min Height               : 12", "INFO Sensitivity              : 0.700000",
                     "INFO Exclusion Zones          : " + std::string(Zones().toXML()),
                     "INFO Scene Sensitivity        : 0.300000", "INFO Min Class Confidence     : 0.650000"}));

    // Exclusion zones, no models, absent settings reading as 0 (a max-width of 0 is refused); a fresh cycle.
    ktsl::StringMap<kttl::String> sparse;
    sparse["zone_type"] = "exclusion", sparse["classification"] = "";
    logger.clearLines();
    buildRunCycle(sparse, zones, ktsl::Set<kttl::String>(), &logger, cycle);
    EXPECT_TRUE(cycle.activity->getZones().empty() && cycle.activity->getMaxWidth() == 1.0f &&
                params.spies.size() == 1u && params.exclusionZones.size() == 1u && params.models.empty() &&
                params.minConfidence == 0.5f && cycle.gracePeriod.getMilliseconds() == 0);
    const Lines lines = logger.lines();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_TRUE(lines[0].rfind("WARN : max-height 0 refused", 0) == 0 &&
                lines[1].rfind("WARN : max-width 0 refused", 0) == 0) << lines[0] << lines[1];
    EXPECT_EQ(lines[2], "INFO Max Width                : 0.000000");
    EXPECT_EQ(lines[10], "INFO Exclusion Zones          : " + std::string(zones.toXML()));
    EXPECT_EQ(lines[12], "INFO Classification           : Disabled");
}

TEST(Settings, ModelFiles) {
    TempHome home;
    setenv("CS_APP_HOME", home.path().c_str(), 1);
    for (const char* name : {"human.bin", "svm_binary_model", "model.dat", "settings_xml.txt"}) home.write(name, "x");
    mkdir((home.path() + "/html/bin_folder").c_str(), 0755);
    EXPECT_EQ(AppFiles::listModelFiles(AppFiles::htmlDirectory()),
              (ktsl::Set<kttl::String>{home.path() + "/html/human.bin", home.path() + "/html/svm_binary_model"}));
    EXPECT_TRUE(AppFiles::listModelFiles("/nonexistent/html/").empty());
    unsetenv("CS_APP_HOME");
    EXPECT_EQ(AppFiles::defaultSettingsPath(), "/html/default_settings_xml.txt");
}
