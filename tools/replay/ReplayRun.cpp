// ReplayRun: a settings file over recorded frames through the camera's own run cycle, pipeline and
// alarm decision, on the clip's clock instead of the wall clock.
#include "ReplayRun.h"

#include <atomic>
#include <cstring>
#include <fstream>

#include "EventOrigin.h"
#include "FrameDigest.h"
#include "kt_tick.h"
#include "ktil_ImageJPEG.h"
#include "ktvl_Resolution.h"
#include "yuv_convert.h"

namespace {

std::atomic<uint32_t> gClipTick{ReplayRun::kTickBase};
uint32_t clipTick() { return gClipTick.load(); }

// The alarm is handed to no camera: the replay only counts it.
int acceptEvent(const char*, int32_t, uint32_t) { return 0; }

const int kDefaultWidth = 352;  // CIF, the sample settings' size
const int kDefaultHeight = 288;
const int kSnapshotQuality = 90;

void setPixel(kt_image& image, int x, int y, const unsigned char bgr[3]) {
    if (x < 0 || y < 0 || x >= static_cast<int>(image.width) || y >= static_cast<int>(image.height)) return;
    unsigned char* p = image.data + (static_cast<size_t>(y) * image.width + x) * image.channels;
    std::memcpy(p, bgr, 3);
}

void drawLine(kt_image& image, int x0, int y0, int x1, int y1, const unsigned char bgr[3]) {
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    for (int err = dx + dy;;) {
        setPixel(image, x0, y0, bgr);
        if (x0 == x1 && y0 == y1) return;
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x0 += sx; }
        if (e2 <= dx) { err += dx; y0 += sy; }
    }
}

// Zones whose vertices all lie in 0..1 are fractions of the frame, as the spies read them.
void drawZones(kt_image& image, const ktsl::List<ktml::Polygon2D<float>>& zones, const unsigned char bgr[3]) {
    for (const auto& zone : zones) {
        bool fractions = true;
        for (size_t i = 0; i < zone.size(); ++i) {
            fractions = fractions && zone[i].x >= 0 && zone[i].x <= 1 && zone[i].y >= 0 && zone[i].y <= 1;
        }
        const float sx = fractions ? static_cast<float>(image.width - 1) : 1.0f;
        const float sy = fractions ? static_cast<float>(image.height - 1) : 1.0f;
        for (size_t i = 0; i < zone.size(); ++i) {
            const auto& a = zone[i];
            const auto& b = zone[(i + 1) % zone.size()];
            drawLine(image, static_cast<int>(a.x * sx), static_cast<int>(a.y * sy), static_cast<int>(b.x * sx),
                     static_cast<int>(b.y * sy), bgr);
        }
    }
}

}  // namespace

ReplayRun::ReplayRun(kttl::Logger& logger) : mLogger(logger) {
    gClipTick.store(kTickBase);
    kt_set_tick_source(&clipTick);
    mStartSeconds = kttl::TimeStamp::systemTime().getSeconds();
}

ReplayRun::~ReplayRun() {
    mCoordinator.reset();
    kt_free_image(&mColour);
    kt_free_image(&mPicture);
    kt_set_tick_source(nullptr);
}

bool ReplayRun::configure(const std::string& settingsText, int width, int height, std::string& error) {
    ktsl::StringMap<kttl::String> settings;
    if (!Coordinator::settingsFromText(mLogger, settingsText, settings)) {
        error = "the settings do not parse";
        return false;
    }
    ktsl::List<ktml::Polygon2D<float>> zones;
    if (!Coordinator::parseZones(settingText(settings, "zones"), zones)) {
        error = "the zones do not parse";
        return false;
    }
    if (width <= 0 || height <= 0) {
        ktvl::Resolution resolution;
        if (!resolution.fromString(settingText(settings, "video_resolution"))) {
            error = "the video resolution does not parse";
            return false;
        }
        width = resolution.getWidth() > 0 && resolution.getHeight() > 0 ? resolution.getWidth() : kDefaultWidth;
        height = resolution.getWidth() > 0 && resolution.getHeight() > 0 ? resolution.getHeight() : kDefaultHeight;
    }
    if (width % 2 != 0 || height % 2 != 0) {
        error = "the frame size must be even";
        return false;
    }
    mWidth = width;
    mHeight = height;
    // The models of the settings' own folder are not looked for: a replay judges detection and events.
    buildRunCycle(settings, zones, ktsl::Set<kttl::String>(), &mLogger, mCycle);
    mCoordinator.reset(new Coordinator(0, mLogger, kttl::String("replay")));
    mCoordinator->setEventSender(&acceptEvent);
    mCoordinator->setAlarmFile("");
    mCoordinator->setEventGracePeriod(mCycle.gracePeriod);
    mParametersSet = false;
    mRefused = false;
    return true;
}

bool ReplayRun::feed(const uint8_t* nv21, int64_t clipMs) {
    if (!mCoordinator || mRefused) return false;
    gClipTick.store(kTickBase + static_cast<uint32_t>(clipMs));
    if (!mParametersSet) {
        mParametersSet = true;
        if (!mCoordinator->setParameters(mCycle.params)) {
            mLogger.log(kttl::ERR, kttl::String::format("Unable to set parameters:  %s",
                                                        mCoordinator->getTracker().getLastError().c_str()));
            mRefused = true;
            return false;
        }
    }
    const int64_t ms = mStartSeconds * 1000 + clipMs;
    const bool colour = Coordinator::loadFrame(mFrame, nv21, static_cast<uint32_t>(mWidth), static_cast<uint32_t>(mHeight),
                                               !mNight, mColour, kttl::TimeStamp(ms / 1000, ms % 1000),
                                               kttl::ElapsedTime(clipMs));
    ++mFrames;
    const bool tracked = mCoordinator->track(mFrame, colour, mEventList);
    if (mDigest != nullptr)
        std::fprintf(mDigest, "%s%s\n", frameDigest(mFrames - 1, mFrame, mEventList).c_str(), tracked ? "" : " failed");
    if (!tracked) return false;
    for (const Event& event : mEventList) {
        ++mEventCount;
        if (mEvents != nullptr) std::fprintf(mEvents, "%s\n", event.toXML().c_str());
        const int32_t before = mCoordinator->getAlarmCount();
        mCoordinator->onEvent(event);
        if (mCoordinator->getAlarmCount() != before) recordAlarm(event, clipMs, nv21);
    }
    return true;
}

void ReplayRun::recordAlarm(const Event& event, int64_t clipMs, const uint8_t* nv21) {
    ReplayAlarm alarm;
    alarm.number = mCoordinator->getAlarmCount();
    alarm.clipMs = clipMs;
    alarm.confidence = event.getConfidence();
    alarm.uid = event.getUID();
    event.getObjectIDs(event.getOrigin(), alarm.ids);
    for (int id : alarm.ids) {
        const Object* object = mFrame.getObject(static_cast<unsigned>(id));
        ktml::BoundingBox<int> box;
        if (object != nullptr && object->newest(box)) alarm.boxes.push_back(box);
    }
    if (!mSnapshotDir.empty()) writeSnapshot(alarm, nv21);
    mAlarms.push_back(alarm);
}

void ReplayRun::writeSnapshot(const ReplayAlarm& alarm, const uint8_t* nv21) {
    if (kt_ensure_image(&mPicture, static_cast<uint32_t>(mWidth), static_cast<uint32_t>(mHeight), 4) != 1) return;
    convertYUV420_NV21toARGB8888(nv21, mPicture);
    const unsigned char inclusion[3] = {0, 230, 255};  // yellow
    const unsigned char exclusion[3] = {255, 120, 0};  // blue
    const unsigned char object[3] = {0, 0, 255};       // red
    drawZones(mPicture, mCycle.activity->getZones(), inclusion);
    drawZones(mPicture, mCycle.params.exclusionZones, exclusion);
    for (const auto& b : alarm.boxes) {
        // Two pixels wide, so the box shows on a busy picture.
        for (int grow = 0; grow < 2; ++grow) {
            const int x0 = b.x - grow, y0 = b.y - grow, x1 = b.x + b.width - 1 + grow, y1 = b.y + b.height - 1 + grow;
            drawLine(mPicture, x0, y0, x1, y0, object);
            drawLine(mPicture, x1, y0, x1, y1, object);
            drawLine(mPicture, x1, y1, x0, y1, object);
            drawLine(mPicture, x0, y1, x0, y0, object);
        }
    }
    ktil::ImageJPEG jpeg;
    if (!jpeg.encode(mPicture, kSnapshotQuality)) return;
    char name[64];
    std::snprintf(name, sizeof name, "/alarm_%04d.jpg", alarm.number);
    std::ofstream out(mSnapshotDir + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(jpeg.getData().data()), static_cast<std::streamsize>(jpeg.getLength()));
    if (!out) mLogger.log(kttl::ERR, kttl::String::format("Unable to write %s%s", mSnapshotDir.c_str(), name));
}
