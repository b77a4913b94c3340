// Reading the settings: files and fallbacks, the flat map, zones, model files and the run cycle.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "AppFiles.h"
#include "Coordinator.h"
#include "RunCycle.h"
#include "capture_logger.h"

namespace {

class Home {
public:
    Home() {
        char dir[] = "/tmp/veltrano_home_XXXXXX";
        path_ = mkdtemp(dir);
        mkdir((path_ + "/html").c_str(), 0755);
        setenv("CS_APP_HOME", path_.c_str(), 1);
    }
    ~Home() {
        unsetenv("CS_APP_HOME");
        std::system(("rm -rf " + path_).c_str());
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(path_ + "/html/" + name, std::ios::binary) << text;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

using Zones = ktsl::List<ktml::Polygon2D<float>>;

}  // namespace

TEST(Settings, CustomFileWinsAndEmptyOneFallsBack) {
    Home home;
    CaptureLogger logger;
    ktsl::StringMap<kttl::String> settings;
    EXPECT_FALSE(Coordinator::loadXML(logger, settings));
    EXPECT_EQ(logger.lines(), (std::vector<std::string>{"INFO No custom settings, loading default xml.",
                                                        "ERR  No default settings available."}));

    home.write("default_settings_xml.txt", "<s><video_resolution>CIF</video_resolution></s>");
    home.write("settings_xml.txt", "");
    logger.clearLines();
    ASSERT_TRUE(Coordinator::loadXML(logger, settings));
    EXPECT_EQ(logger.lines(), (std::vector<std::string>{"INFO No custom settings, loading default xml."}));
    EXPECT_EQ(settingText(settings, "video_resolution"), "CIF");

    home.write("settings_xml.txt", "<s><video_resolution>QCIF</video_resolution></s>");
    logger.clearLines();
    settings.clear();
    ASSERT_TRUE(Coordinator::loadXML(logger, settings));
    EXPECT_TRUE(logger.lines().empty());
    EXPECT_EQ(settingText(settings, "video_resolution"), "QCIF");

    // A custom file that does not parse does not fall back: it fails.
    for (const std::string& bad : {std::string("<?xml version=\"1.0\"?><s><a>1</a></s>"), std::string("<s><a>1</s>"),
                                   std::string(AppFiles::kMaxSettingsBytes + 1, ' ')}) {
        home.write("settings_xml.txt", bad);
        logger.clearLines();
        EXPECT_FALSE(Coordinator::loadXML(logger, settings));
        EXPECT_EQ(logger.lines(), (std::vector<std::string>{"ERR  Failed to parse xml into a tree."}));
    }
    // The size limit itself is still read.
    home.write("settings_xml.txt", "<s><a>1</a></s>" + std::string(AppFiles::kMaxSettingsBytes - 15, ' '));
    EXPECT_TRUE(Coordinator::loadXML(logger, settings));
}

TEST(Settings, FlatMapFromTheDocument) {
    Home home;
    CaptureLogger logger;
    home.write("settings_xml.txt",
               "<settings>\n <blank>  \n\t </blank>\n <spaced> 50 </spaced>\n <dup>1</dup><dup>2</dup>\n"
               " <zones>\n  <polygon><point><x>0.1</x><y>0.2</y></point></polygon>\n </zones>\n"
               " <nested><a>1</a></nested>\n</settings>\n<after>ignored</after>");
    ktsl::StringMap<kttl::String> settings;
    ASSERT_TRUE(Coordinator::loadXML(logger, settings));
    EXPECT_EQ(settingText(settings, "blank"), "");
    EXPECT_EQ(settingText(settings, "spaced"), " 50 ");
    EXPECT_EQ(settingText(settings, "dup"), "2");
    EXPECT_EQ(settingText(settings, "zones"), "\n  <polygon><point><x>0.1</x><y>0.2</y></point></polygon>\n ");
    EXPECT_EQ(settingText(settings, "nested"), "<a>1</a>");
    EXPECT_EQ(settings.count("after"), 0u);
    EXPECT_EQ(settings.size(), 5u);
}

TEST(Settings, Zones) {
    const std::string triangle = "<polygon><point><x>0.1</x><y>0.2</y></point><point><x>0.5</x><y>0.2</y></point>"
                                 "<point><x>0.3</x><y>0.9</y></point></polygon>";
    struct Case {
        const char* what;
        std::string text;
        bool ok;
        size_t polygons;
    };
    const Case cases[] = {
        {"empty text", "", true, 0},
        {"blank text", " \n ", true, 0},
        {"two triangles", triangle + "\n" + triangle, true, 2},
        {"polygon without points", "<polygon></polygon>", true, 1},
        {"pixel coordinates", "<polygon><point><x>12</x><y> 240 </y></point></polygon>", true, 1},
        {"y before x", "<polygon><point><y>0.1</y><x>0.2</x></point></polygon>", false, 0},
        {"missing y", "<polygon><point><x>0.1</x></point></polygon>", false, 0},
        {"third child", "<polygon><point><x>1</x><y>2</y><z>3</z></point></polygon>", false, 0},
        {"not a point", "<polygon><pt><x>1</x><y>2</y></pt></polygon>", false, 0},
        {"not a polygon", "<line><point><x>1</x><y>2</y></point></line>", false, 0},
        {"not a number", "<polygon><point><x>left</x><y>2</y></point></polygon>", false, 0},
        {"not finite", "<polygon><point><x>nan</x><y>2</y></point></polygon>", false, 0},
        {"x with children", "<polygon><point><x><v>1</v></x><y>2</y></point></polygon>", false, 0},
        {"malformed", "<polygon><point>", false, 0},
        {"closing the wrapper early", "</zones><polygon/>", true, 0},
    };
    for (const Case& c : cases) {
        Zones zones;
        zones.push_back(ktml::Polygon2D<float>{{9, 9}, {9, 8}, {8, 8}});  // kept: results are appended
        EXPECT_EQ(Coordinator::parseZones(c.text, zones), c.ok) << c.what;
        EXPECT_EQ(zones.size(), 1 + c.polygons) << c.what;
    }
    Zones zones;
    ASSERT_TRUE(Coordinator::parseZones(triangle, zones));
    ASSERT_EQ(zones.front().size(), 3u);
    EXPECT_FLOAT_EQ(zones.front()[2].x, 0.3f);
    EXPECT_FLOAT_EQ(zones.front()[2].y, 0.9f);
}

TEST(Settings, RunCycleFromTheTable) {
    ktsl::StringMap<kttl::String> settings;
    settings["zone_type"] = "Inclusion";
    settings["min_distance"] = "25";
    settings["min_age"] = "1.5";
    settings["min_age_unit"] = "minutes";
    settings["max_width"] = "40";
    settings["max_height"] = "75.5";
    settings["alarm_interval"] = "90";
    settings["alarm_interval_unit"] = "Seconds";
    settings["min_width"] = " 50 ";
    settings["min_height"] = "12";
    settings["sensitivity"] = "70";
    settings["light_sensitivity"] = "30";
    settings["classification"] = "false";
    settings["min_classification"] = "65";
    Zones zones;
    zones.push_back(ktml::Polygon2D<float>{{0, 0}, {1, 0}, {1, 1}});
    ktsl::Set<kttl::String> models;
    models.insert("/home/html/human.bin");

    CaptureLogger logger;
    RunCycle cycle;
    buildRunCycle(settings, zones, models, &logger, cycle);
    EXPECT_TRUE(cycle.inclusion);
    EXPECT_EQ(cycle.activity.zones.size(), 1u);
    EXPECT_TRUE(cycle.params.exclusionZones.empty());
    EXPECT_EQ(cycle.activity.minDistance, 25u);
    EXPECT_EQ(cycle.activity.minAge.getMilliseconds(), 90000);
    EXPECT_DOUBLE_EQ(cycle.activity.maxWidth, 0.40);
    EXPECT_DOUBLE_EQ(cycle.activity.maxHeight, 0.755);
    EXPECT_EQ(cycle.gracePeriod.getMilliseconds(), 90000);
    EXPECT_EQ(cycle.params.minWidth, 50);
    EXPECT_EQ(cycle.params.minHeight, 12);
    EXPECT_FLOAT_EQ(cycle.params.sensitivity, 0.70f);
    EXPECT_FLOAT_EQ(cycle.params.sceneSensitivity, 0.30f);
    EXPECT_EQ(cycle.params.mode, 4);
    EXPECT_TRUE(cycle.classification);
    EXPECT_FLOAT_EQ(cycle.params.minConfidence, 0.65f);
    EXPECT_EQ(cycle.params.models, models);
    const std::vector<std::string> expected = {
        "INFO Activity Zones           : " + std::string(zones.toXML()),
        "INFO Max Width                : 0.400000",
        "INFO Max Height               : 0.755000",
        "INFO Min Distance             : 25",
        "INFO Min Object Age           : 90 seconds",
        "INFO Alarm Grace Period       : 90 seconds",
        "INFO Min Width                : 50",
        "INFO Min Height               : 12",
        "INFO Sensitivity              : 0.700000",
        "INFO Exclusion Zones          : " + std::string(Zones().toXML()),
        "INFO Scene Sensitivity        : 0.300000",
        "INFO Min Class Confidence     : 0.650000",
    };
    EXPECT_EQ(logger.lines(), expected);

    // Exclusion zones, no models, and absent settings reading as 0.
    ktsl::StringMap<kttl::String> sparse;
    sparse["zone_type"] = "exclusion";
    sparse["classification"] = "";
    logger.clearLines();
    buildRunCycle(sparse, zones, ktsl::Set<kttl::String>(), &logger, cycle);
    EXPECT_FALSE(cycle.inclusion);
    EXPECT_TRUE(cycle.activity.zones.empty());
    EXPECT_EQ(cycle.params.exclusionZones.size(), 1u);
    EXPECT_FALSE(cycle.classification);
    EXPECT_TRUE(cycle.params.models.empty());
    EXPECT_FLOAT_EQ(cycle.params.minConfidence, 0.5f);
    EXPECT_EQ(cycle.params.minWidth, 0);
    EXPECT_FLOAT_EQ(cycle.params.sensitivity, 0.0f);
    EXPECT_EQ(cycle.gracePeriod.getMilliseconds(), 0);
    const std::vector<std::string> lines = logger.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "INFO Max Width                : 0.000000");
    EXPECT_EQ(lines.back(), "INFO Classification           : Disabled");
}

TEST(Settings, ModelFiles) {
    Home home;
    home.write("human.bin", "x");
    home.write("svm_binary_model", "x");
    home.write("model.dat", "x");
    home.write("settings_xml.txt", "x");
    mkdir((home.path() + "/html/bin_folder").c_str(), 0755);
    const ktsl::Set<kttl::String> models = AppFiles::listModelFiles(AppFiles::htmlDirectory());
    ktsl::Set<kttl::String> expected;
    expected.insert(home.path() + "/html/human.bin");
    expected.insert(home.path() + "/html/svm_binary_model");
    EXPECT_EQ(models, expected);
    EXPECT_TRUE(AppFiles::listModelFiles("/nonexistent/html/").empty());
    EXPECT_EQ(AppFiles::settingsPath(), home.path() + "/html/settings_xml.txt");
    unsetenv("CS_APP_HOME");
    EXPECT_EQ(AppFiles::defaultSettingsPath(), "/html/default_settings_xml.txt");
}
