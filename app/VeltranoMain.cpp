// VeltranoMain: the program's run cycles, from the log's opening to the exit status.
#include "VeltranoMain.h"

#include <cstdlib>
#include <memory>

#include "AppFiles.h"
#include "CommandLineArgs.h"
#include "Coordinator.h"
#include "RunCycle.h"
#include "kttl_FileLogger.h"
#include "ktvl_Resolution.h"

const char* const kVeltranoLogPath = "/var/log/Veltrano.log";

const char* const kVeltranoAlarmPayload =
    "      <CameraAppEventPayload>\n      <vendorName>Orvandi</vendorName>\n      <eventName>Veltrano</eventName>\n"
    "      <eventState>1</eventState>\n      <severity>info</severity>\n      <description>Orvandi Veltrano "
    "App</description>\n      </CameraAppEventPayload>      ";

namespace {

int startupFailure(kttl::Logger& logger, const char* message) {
    logger.log(kttl::ERR, kttl::String(message));
    logger.flush(kttl::Logger::FLUSH_TIMEOUT_MS);
    return 1;
}

}  // namespace

int veltranoMain(int argc, char** argv) {
    const CommandLineArgs args(argc, argv);
    kttl::FileLogger logger(kVeltranoLogPath, kVeltranoLogMaxBytes);
    if (!logger.isRunning()) logger.start();

    unsigned port = 0;
    for (;;) {
        ktsl::StringMap<kttl::String> settings;
        if (!Coordinator::loadXML(logger, settings)) return startupFailure(logger, "Unable to load settings, stopping.");
        ktsl::List<ktml::Polygon2D<float>> zones;
        if (!Coordinator::parseZones(settingText(settings, "zones"), zones)) {
            return startupFailure(logger, "Unable to error parsing zone xml, stopping.");
        }
        const kttl::String payload(kVeltranoAlarmPayload);
        Coordinator::fillSdkSettings();
        if (args.has("port")) port = static_cast<unsigned>(std::strtoul(args.value("port").c_str(), nullptr, 10));

        ktvl::Resolution resolution;
        if (!resolution.fromString(settingText(settings, "video_resolution"))) {
            return startupFailure(logger, "Unable to parse resolution, exiting ...");
        }
        std::unique_ptr<Coordinator> coordinator(new Coordinator(port, logger, payload));
        if (!coordinator->initialize(resolution)) {
            return startupFailure(logger, "Unable to initialize coordinator, exiting ...");
        }

        RunCycle cycle;
        buildRunCycle(settings, zones, AppFiles::listModelFiles(AppFiles::htmlDirectory()), &logger, cycle);
        coordinator->setEventGracePeriod(cycle.gracePeriod);
        const int result = coordinator->process(cycle.params);
        coordinator.reset();
        if (result != Coordinator::kConfigChanged) return 0;
    }
}
