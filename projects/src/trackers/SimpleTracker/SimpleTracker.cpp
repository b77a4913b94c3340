// SimpleTracker: the per-frame pipeline object of the camera application.
#include "SimpleTracker.h"

#include "SvmClassification.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "MovingObjectParams.h"
#include "kt_background.h"
#include "kt_conncomp.h"
#include "kt_image_count.h"
#include "kt_morphology.h"
#include "kt_process.h"
#include "kt_threshold.h"
#include "kt_tick.h"

namespace {

// Detection record at construction and for small minimum sizes: 5 x 5 connected-components kernel;
// minimum sizes above kSmallKernelLimit switch to an 11 x 11 kernel (and another morphology order).
const uint32_t kSmallKernel = 5;
const uint32_t kLargeKernel = 11;
const int32_t kSmallKernelLimit = 11;
const uint32_t kImageQueueLength = 4;  // motion images in the frame-differencing queue
const uint32_t kSkipLength = 1;        // frame n is compared with frame n - 2
const float kDetectorSensitivity = 0.5f;

// Learning rates of the background model: normal, and slowed during a lighting change.
const float kLearningRate = 0.1f;
const float kLightingChangeRate = 0.01f;
// A lighting change ends this long after the last frame with too much foreground.
const uint32_t kLightingChangeMs = 5000;
// The background model is not compared before this stream position (it is still learning the scene).
const int64_t kCompareAfterMs = 5000;
// Outside lighting changes the background learns at most once per this much stream time, and on every
// frame of the first kLearnEveryFrameMs of the stream.
const int64_t kLearnIntervalMs = 500;
const int64_t kLearnEveryFrameMs = 4999;
// A frame-differencing foreground needs more than this many pixels to make blobs.
const uint32_t kMinForegroundPixels = 9;
// Blob confidence from the peripheral (motion) image: more than kMinMovingPixels moving pixels that
// cover more than kMinMovingFraction of the box.
const uint32_t kMinMovingPixels = 9;
const float kMinMovingFraction = 0.15f;
// Frame-rate log period and the frame-rate window.
const uint32_t kFpsLogMs = 10000;
const unsigned kFpsWindowSeconds = 10;
// Confirmed moving objects are kept out of learning with this margin around their boxes.
const int kActivityMargin = 5;
// Largest input the pipeline accepts: the background model needs 32 bytes per pixel and channel.
const uint32_t kMaxSide = 8192;
const uint64_t kMaxPixels = 4096ull * 4096ull;

// Object tracker configuration: unconfirmed objects are kept this long, objects mature after this
// many updates and at most this many may share one blob.
const int64_t kTrackerInvalidWindowMs = 15000;
const int32_t kTrackerMinTrackLength = 2;
const int32_t kTrackerMaxTrackMerges = 5;
// Pruning: objects older than this that are stable (both size confidences above kStableConfidence)
// or touch the edge are removed.
const int64_t kPruneAgeMs = 15000;
const float kStableConfidence = 0.95f;

// Frame keys as strings made once: a key longer than the short-string buffer would otherwise be
// allocated on every frame.
const kttl::String kNativeImage("Native Image");
const kttl::String kMovingList("Moving");
const kttl::String kSceneChange("scene-change");
const kttl::String kForegroundPixels("foreground-pixels");
const kttl::String kProcessedImage("Processed Image");

}  // namespace

SimpleTracker::SimpleTracker(kttl::Logger* logger, unsigned port, bool logFps)
    : m_lightCountdown(kLightingChangeMs),
      m_fps(kFpsWindowSeconds),
      m_fpsLog(logFps ? kFpsLogMs : kttl::Countdown::kInfinite),
      m_proxy(port, logger),
      m_classifier(new SvmClassification()) {
    std::memset(m_thresholds, 0, sizeof m_thresholds);
    kt_detection_init(kDetectorSensitivity, kSmallKernel, kSmallKernel, 0, kImageQueueLength, &m_detection);
    kt_set_skip_imageq_len(kSkipLength, &m_detection);
    // Every timer exists from the start, so the first frame that reaches a stage allocates nothing.
    for (const char* stage : {"kt_process", "maskImage", "kt_background_compare", "kt_threshold_gray", "CloseImage",
                              "kt_conncomp_process", "updateMask", "kt_background_update",
                              "kt_background_set_weight"}) {
        m_stages.emplace(stage, kttl::StatTracker());
    }
    // The object tracker runs first on every frame, the event detector last.
    addProcess(m_objectTracker);
    addProcess(*m_classifier);
    addProcess(m_eventDetector);
    setLogger(logger);
}

SimpleTracker::~SimpleTracker() {
    dumpStats();
    kt_detection_deinit(&m_detection);
    kt_background_deinit(&m_background);
}

void SimpleTracker::setLogger(kttl::Logger* logger) {
    LogInterface::setLogger(logger);
    m_proxy.setLogger(logger);
    for (Step& step : m_processes) step.process->setLogger(logger);
}

void SimpleTracker::setError(const char* message, int place) {
    m_lastError = kttl::String::format("%s: SimpleTracker (%d)", message, place);
}

void SimpleTracker::startStage(const char* name) {
    auto it = m_stages.find(name);
    if (it == m_stages.end())
        it = m_stages.emplace(name, kttl::StatTracker()).first;
    it->second.setStartTick(kt_tickcount());
}

void SimpleTracker::endStage(const char* name) {
    auto it = m_stages.find(name);
    if (it != m_stages.end())
        it->second.stop();
}

const char* SimpleTracker::morphologyOrder() const {
    if (m_mode == kFrameDifferencing)
        return "ed";
    return (m_minWidth > kSmallKernelLimit || m_minHeight > kSmallKernelLimit) ? "edde" : "deed";
}

bool SimpleTracker::setParameters(const Params& p) {
    // Written so that NaN is refused too.
    if (!(p.sensitivity >= 0.0f && p.sensitivity <= 1.0f)) {
        setError("Invalid Sensitivity", 474);
        return false;
    }
    if (!(p.sceneSensitivity >= 0.0f && p.sceneSensitivity <= 1.0f)) {
        setError("Invalid Scene Detection Sensitivity", 480);
        return false;
    }
    const float threshold = MovingObjectParams::getBackgroundThreshold(p.sensitivity);
    log(kttl::LogType::INFO, kttl::String::format("Initializing: sensitivity = %.2f, minSize=%dx%d",
                                                  threshold, p.minWidth, p.minHeight));
    if (p.minWidth > kSmallKernelLimit || p.minHeight > kSmallKernelLimit) {
        kt_detection_init(kDetectorSensitivity, kLargeKernel, kLargeKernel, 0, kImageQueueLength,
                          &m_detection);
    }
    m_detection.sensitivity = p.sensitivity;
    m_mode = p.mode;
    m_minWidth = p.minWidth;
    m_minHeight = p.minHeight;
    m_minEventConfidence = static_cast<uint16_t>(100.0f * p.minConfidence);

    const float s = p.sceneSensitivity;
    m_maxForeground = s <= 0.5f ? 1.0f - (2.0f * s) * 0.25f : 1.0f - (0.5f * s + 0.25f);

    if (m_mode > kFrameDifferencing) {
        kt_background_init(&m_background, 100, 100, KT_BG_MODE_BGR);
        kt_background_set_weight(&m_background, kLearningRate);
        // Rounded half up; at least 1 so that an exact match never counts as foreground.
        long t = static_cast<long>(std::floor(255.0 * (1.0 - static_cast<double>(threshold)) + 0.5));
        if (t < 1)
            t = 1;
        if (t > 255)
            t = 255;
        kt_threshold_inittable(m_thresholds, sizeof m_thresholds, static_cast<uint32_t>(t));
    }

    m_zones = p.exclusionZones;
    m_lightCountdown.restartAt(kt_tickcount() - kLightingChangeMs);
    m_lightChange = false;
    m_exclusion.free();

    // Classifier. A model file that cannot be read is logged and skipped by the classifier: the
    // pipeline classifies with the models that loaded and runs unclassified when none did, rather
    // than refusing to start over one stray file.
    m_classifying = false;
    m_classifier->enable(false);
    m_classifier->clearModels();
    m_classNames.clear();
    if (!p.models.empty()) {
        ClassificationParams classification;
        for (const kttl::String& model : p.models) {
            log(kttl::LogType::INFO, kttl::String::format("Setting model %s", model.c_str()));
            classification.modelPaths.insert(model);
        }
        if (!m_classifier->setParameters(classification) && m_classifier->getClassNames().empty()) {
            log(kttl::LogType::WARN, kttl::String("No classification model could be loaded: classification disabled"));
        } else {
            m_classifying = true;
            m_classifier->enable(true);
            m_classifier->setThreshold(p.minConfidence);
            for (const kttl::String& name : m_classifier->getClassNames()) m_classNames.push_back(name);
        }
    }

    // Object tracker: nothing coasts unmatched, objects mature after two updates and may stay
    // unconfirmed for 15 s; the exclusion zones are its occluding outlines.
    ObjectTrackerParams trackerParams;
    trackerParams.advancedObjectFeatures = false;
    trackerParams.invalidWindow = kttl::ElapsedTime(kTrackerInvalidWindowMs);
    trackerParams.deferTime = kttl::ElapsedTime(0);
    trackerParams.occlusionZones = p.exclusionZones;
    trackerParams.alwaysUpdateHistograms = true;
    trackerParams.minTrackLength = kTrackerMinTrackLength;
    trackerParams.maxTrackMerges = kTrackerMaxTrackMerges;
    if (!m_objectTracker.setParameters(trackerParams)) {
        setError("Unable to load tracker parameters", 579);
        return false;
    }

    // Event detector: the spies run on every frame; unnamed ones are numbered in order.
    EventDetectorParams detectorParams{kttl::ElapsedTime(0)};
    int unnamed = 0;
    for (const EventSpyFactory& factory : p.spies) {
        detectorParams.getSpies().push_back(factory);
        auto* spy = dynamic_cast<FrameEventSpy*>(detectorParams.getSpies().back().getSpy());
        if (spy == nullptr) continue;
        spy->setClasses(m_classNames);
        if (spy->getName().empty()) spy->setName(kttl::String::format("Spy %d", unnamed++));
    }
    if (!m_eventDetector.setParameters(detectorParams)) {
        setError("Unable to load event detector parameters", 613);
        return false;
    }
    return true;
}

void SimpleTracker::addProcess(VideoProcess& process) {
    m_processes.push_back(Step{&process, process.getProcessType() + "::processFrame"});
    m_stages.emplace(m_processes.back().stage, kttl::StatTracker());
}

void SimpleTracker::filterEvents(ktsl::List<Event>& events) const {
    if (!m_classifying) return;
    events.remove_if([this](const Event& e) { return e.getConfidence() < m_minEventConfidence; });
}

void SimpleTracker::reset() {
    kt_background_deinit(&m_background);
    m_lightCountdown.restartAt(kt_tickcount() - kLightingChangeMs);
    m_lightChange = false;
    for (Step& step : m_processes) step.process->resetProcess();
}

bool SimpleTracker::process(ProcessFrame& frame, bool colour, ktsl::List<Event>& events) {
    // 1. The input image.
    const kt_image* input = frame.getSetImage(kNativeImage, colour ? Frame::kColour : Frame::kGray);
    if (!frame.isImageSet(kNativeImage, colour ? Frame::kColour : Frame::kGray) || input == nullptr ||
        kt_image_valid(input) != 1 || input->channels != (colour ? 4u : 1u)) {
        setError("Invalid Input Image", 120);
        return false;
    }
    const uint32_t width = input->width;
    const uint32_t height = input->height;
    // Morphology and the background model need at least 4 x 4; the model's memory bounds the top.
    if (width < 4 || height < 4 || width > kMaxSide || height > kMaxSide ||
        static_cast<uint64_t>(width) * height > kMaxPixels) {
        setError("Invalid Input Image", 138);
        return false;
    }
    frame.setResolution(ktvl::Resolution(static_cast<int32_t>(width), static_cast<int32_t>(height)));
    ++m_framesSeen;
    if (colour)
        ++m_colourFrames;
    const int64_t position = frame.getPosition().getMilliseconds();

    // 2. Lighting change: ends once the countdown has run out.
    const uint32_t now = kt_tickcount();
    if (m_lightChange && m_lightCountdown.isExpiredAt(now)) {
        log(kttl::LogType::INFO, kttl::String("Lighting change finished ... "));
        startStage("kt_background_set_weight");
        kt_background_set_weight(&m_background, kLearningRate);
        endStage("kt_background_set_weight");
    }
    m_lightChange = !m_lightCountdown.isExpiredAt(now);
    frame.setAttribute(kSceneChange, m_lightChange ? "true" : "false");

    // 3. Work images at the input size; the exclusion mask follows the size.
    kt_image* const planes[] = {&m_processed.image(), &m_work.image(), &m_peripheral.image(),
                                &m_activity.image(), &m_foreground.image()};
    for (int i = 0; i < 5; ++i) {
        if (kt_ensure_image(planes[i], width, height, 1) != 1 || planes[i]->data == nullptr) {
            setError("Invalid Input Image", 157 + i);
            return false;
        }
    }
    const bool zones = !m_zones.empty();
    if (m_exclusion.image().width != width || m_exclusion.image().height != height ||
        m_exclusion.image().data == nullptr) {
        drawExclusionMask(width, height);
        if (m_exclusion.image().data == nullptr) {
            setError("Invalid Input Image", 161);
            return false;
        }
    }

    uint32_t foreground = 0;
    // 4. Frame differencing.
    if (m_mode == kFrameDifferencing || m_mode == kBoth) {
        const kt_image* source = input;
        if (zones) {
            startStage("maskImage");
            const bool masked =
                colour ? maskInput(*input, m_colourMasked.image()) : maskInput(*input, m_work.image());
            endStage("maskImage");
            if (!masked) {
                setError("Peripheral Detection Failed", 193);
                return false;
            }
            source = colour ? &m_colourMasked.image() : &m_work.image();
        }
        startStage("kt_process");
        // The processed mask is the detector's scratch; it then starts as the motion mask, which the
        // background comparison replaces once the model is trusted.
        const int ok = kt_process(source, &m_processed.image(), &m_peripheral.image(), &m_detection);
        endStage("kt_process");
        if (ok != 1) {
            setError("Peripheral Detection Failed", 193);
            return false;
        }
        std::memcpy(m_processed.image().data, m_peripheral.image().data, m_processed.image().size);
        foreground = 10;  // frame differencing has no count of its own
    }

    // 5. Background model.
    if (m_mode == kBackgroundModel || m_mode == kBoth) {
        const int32_t wantMode = colour ? KT_BG_MODE_BGR : KT_BG_MODE_GRAY;
        if (m_background.width != width || m_background.height != height || m_background.mode != wantMode ||
            !kt_background_ready(&m_background)) {
            log(kttl::LogType::INFO,
                kttl::String::format("Now processing in %s mode", colour ? "color" : "grayscale"));
            kt_background_init(&m_background, width, height, wantMode);
            kt_background_set_weight(&m_background, kLearningRate);
            log(kttl::LogType::INFO, kttl::String("Initialization done ..."));
        }
        if (position > kCompareAfterMs) {
            startStage("kt_background_compare");
            const int ok = kt_background_compare(&m_background, input, zones ? &m_exclusion.image() : nullptr,
                                                 0, &m_foreground.image(), &foreground);
            endStage("kt_background_compare");
            if (ok != 1) {
                setError("Background Comparision Failed", 219);
                return false;
            }
            startStage("kt_threshold_gray");
            const int thresholded = kt_threshold_gray(m_thresholds, sizeof m_thresholds,
                                                      &m_foreground.image(), &m_processed.image());
            endStage("kt_threshold_gray");
            if (thresholded != 1) {
                setError("Threshold Image Failed", 223);
                return false;
            }
        } else if (m_mode == kBackgroundModel) {
            // Nothing is known to move until the model is compared.
            std::memset(m_processed.image().data, 0, m_processed.image().size);
        }
    }

    // 6. Foreground fraction and lighting changes.
    const double fraction = static_cast<double>(foreground) / (static_cast<double>(width) * height);
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", fraction);
    frame.setAttribute(kForegroundPixels, text);
    if (fraction > m_maxForeground) {
        if (!m_lightChange) {
            kt_background_set_weight(&m_background, kLightingChangeRate);
            log(kttl::LogType::INFO, kttl::String("Max foreground pixel count exceeded ..."));
        }
        m_lightCountdown.restartAt(now);
        m_lightChange = true;
    }

    // 7-8. Blobs as untracked "Moving" detections.
    if (!m_lightChange && foreground > kMinForegroundPixels) {
        if (!detectBlobs(frame, *input, foreground))
            return false;
    }

    // 9-10. The video processes, then the events they raised.
    runProcesses(frame);
    m_eventDetector.getEvents(events);
    filterEvents(events);

    // 11. Stuck objects.
    if (m_mode == kBackgroundModel)
        pruneObjects(frame.getObjects());  // the tracker's objects, as it published them

    // 12. Background learning, kept away from confirmed moving objects.
    if (m_mode == kBackgroundModel || m_mode == kBoth) {
        if (!learnBackground(frame, *input, colour))
            return false;
    }

    // 13. Frame rate and remote viewers.
    frame.setProcessFps(m_fps.calcFps());
    m_fps.update(kttl::TimeStamp::systemTime());
    updateProxy(frame);
    if (m_fpsLog.isExpiredAt(kt_tickcount())) {
        log(kttl::LogType::INFO, kttl::String::format("Fps = %f", m_fps.calcFps()));
        m_fpsLog.restart();
    }
    return true;
}

bool SimpleTracker::runMorphology() {
    const char* order = morphologyOrder();
    for (const char* op = order; *op != '\0'; ++op) {
        const int place = static_cast<int>(256 + (op - order));
        const int ok = *op == 'e'
                           ? kt_erode_image(&m_processed.image(), &m_processed.image(), &m_work.image())
                           : kt_dilate_image(&m_processed.image(), &m_processed.image(), &m_work.image());
        if (ok != 1) {
            setError("Peripheral Detection Failed",
                     m_mode == kFrameDifferencing ? 273 + static_cast<int>(op - order) : place);
            return false;
        }
    }
    return true;
}

bool SimpleTracker::detectBlobs(ProcessFrame& frame, const kt_image&, uint32_t) {
    startStage("CloseImage");
    const bool closed = runMorphology();
    endStage("CloseImage");
    if (!closed)
        return false;
    frame.setImage(kProcessedImage, m_processed.image(), Frame::kGray);

    kt_vertex* blobs = nullptr;
    uint32_t count = 0;
    startStage("kt_conncomp_process");
    const int ok = kt_conncomp_process(&m_processed.image(), 255, &m_detection.conncomp, &m_detection.kernel,
                                       &blobs, &count);
    endStage("kt_conncomp_process");
    if (ok != 1) {
        kt_free_vertices(&blobs);
        setError("Connected Components Failed", 281);
        return false;
    }

    // Keep blobs of the minimum size, rated by how much of their box really moved.
    kt_vertex* kept = nullptr;
    kt_vertex** tail = &kept;
    unsigned keptCount = 0;
    while (blobs != nullptr) {
        kt_vertex* blob = blobs;
        blobs = blob->next;
        blob->next = nullptr;
        if (static_cast<int64_t>(blob->width) < m_minWidth ||
            static_cast<int64_t>(blob->height) < m_minHeight) {
            kt_free_vertices(&blob);
            continue;
        }
        if (m_mode == kBackgroundModel) {
            blob->confidence = 1.0f;
        } else {
            blob->confidence = rateBlob(*blob, m_peripheral.image());
        }
        *tail = blob;
        tail = &blob->next;
        ++keptCount;
    }
    frame.spliceUntracked(&kept, kMovingList, keptCount);
    kt_free_vertices(&kept);  // nothing is left unless the frame refused them
    return true;
}

float SimpleTracker::rateBlob(const kt_vertex& blob, const kt_image& peripheral) {
    // The blob covers columns x .. x + width inclusive.
    const kt_bbox box{blob.x, blob.y, blob.width + 1, blob.height + 1};
    uint32_t moving = 0;
    const float share = kt_image_count(&box, &peripheral, 1, &moving);
    return (moving > kMinMovingPixels && share > kMinMovingFraction) ? 1.0f : 0.0f;
}

void SimpleTracker::pruneObjects(const ObjectMap& objects) {
    std::vector<unsigned> removed;
    for (const auto& entry : objects) {
        const Object& object = entry.second;
        kttl::String widthText, heightText, edgeText;
        if (!object.getAttribute("Width Confidence", widthText) || !object.getAttribute("Height Confidence", heightText) ||
            !object.getAttribute("Near Edge", edgeText))
            continue;
        const float width = std::strtof(widthText.c_str(), nullptr);
        const float height = std::strtof(heightText.c_str(), nullptr);
        const bool stable = width > kStableConfidence && height > kStableConfidence;
        const bool edge = edgeText == "true";
        if (object.age().getMilliseconds() <= kPruneAgeMs || !(stable || edge))
            continue;
        ktml::BoundingBox<int> box;
        if (object.newest(box)) {
            const kt_bbox region{static_cast<uint32_t>(std::max(box.x, 0)), static_cast<uint32_t>(std::max(box.y, 0)),
                                 static_cast<uint32_t>(std::max(box.width, 0)),
                                 static_cast<uint32_t>(std::max(box.height, 0))};
            kt_background_reset_region(&m_background, &region);
        }
        log(kttl::LogType::INFO,
            kttl::String::format("Removing object %d:  %.2f, %.2f, %s, %s", static_cast<int>(object.getId()),
                                 static_cast<double>(width), static_cast<double>(height),
                                 stable ? "stable" : "unstable", edge ? "touching edge" : "not touching edge"));
        removed.push_back(object.getId());
    }
    for (unsigned id : removed) m_objectTracker.removeObject(id);
}

void SimpleTracker::runProcesses(ProcessFrame& frame) {
    for (Step& step : m_processes) {
        if (!step.process->isEnabled()) continue;  // a disabled classifier costs nothing
        startStage(step.stage.c_str());
        step.process->processFrame(frame);
        endStage(step.stage.c_str());
    }
}

bool SimpleTracker::learnBackground(ProcessFrame& frame, const kt_image& input, bool colour) {
    const int64_t position = frame.getPosition().getMilliseconds();
    const bool due = m_lightChange || !m_learnedOnce ||
                     static_cast<int64_t>(m_lastUpdate) <= kLearnEveryFrameMs ||
                     position - static_cast<int64_t>(m_lastUpdate) > kLearnIntervalMs ||
                     position < static_cast<int64_t>(m_lastUpdate);  // the stream started again
    if (!due)
        return true;
    startStage("updateMask");
    m_tracked.recycle();  // the taken copies reuse last time's nodes
    m_objectTracker.getObjects(m_tracked);
    updateMask(m_tracked, m_activity.image());
    endStage("updateMask");
    startStage("kt_background_update");
    const int ok = kt_background_update(&m_background, colour ? nullptr : &input, colour ? &input : nullptr,
                                        &m_activity.image());
    endStage("kt_background_update");
    if (ok != 1) {
        setError("Background Update Failed", colour ? 344 : 348);
        return false;
    }
    m_lastUpdate = static_cast<uint32_t>(position < 0 ? 0 : position);
    m_learnedOnce = true;
    return true;
}

void SimpleTracker::updateMask(const ObjectMap& objects, kt_image& mask) {
    if (mask.data == nullptr)
        return;
    std::memset(mask.data, 255, mask.size);
    const int64_t w = mask.width;
    const int64_t h = mask.height;
    for (const auto& entry : objects) {
        const Object& object = entry.second;
        const int32_t status = object.getTrackStatus();
        if (object.getState() != "Moving" || !(status == 1 || status >= 3))
            continue;
        ktml::BoundingBox<int> box;
        if (!object.newest(box))
            continue;
        int64_t x0 = static_cast<int64_t>(box.x) - kActivityMargin;
        int64_t y0 = static_cast<int64_t>(box.y) - kActivityMargin;
        int64_t x1 = x0 + static_cast<int64_t>(box.width) + 2 * kActivityMargin;
        int64_t y1 = y0 + static_cast<int64_t>(box.height) + 2 * kActivityMargin;
        if (x0 < 0)
            x0 = 0;
        if (y0 < 0)
            y0 = 0;
        if (x1 > w)
            x1 = w;
        if (y1 > h)
            y1 = h;
        for (int64_t y = y0; y < y1; ++y) {
            if (x1 > x0)
                std::memset(mask.data + y * w + x0, 0, static_cast<size_t>(x1 - x0));
        }
    }
}

bool SimpleTracker::maskInput(const kt_image& input, kt_image& output) {
    return m_exclusion.apply(input, output);
}

void SimpleTracker::drawExclusionMask(uint32_t width, uint32_t height) {
    if (!m_exclusion.draw(m_zones, width, height))
        m_exclusion.free();
}

const kt_image* SimpleTracker::renderBackground() {
    if (!kt_background_ready(&m_background))
        return nullptr;
    const uint32_t pixels = m_background.width * m_background.height;
    auto level = [](int32_t mean) -> unsigned char {
        return static_cast<unsigned char>(mean < 0 ? 0 : (mean > 255 ? 255 : mean));
    };
    if (m_background.mode == KT_BG_MODE_GRAY) {
        if (kt_ensure_image(&m_work.image(), m_background.width, m_background.height, 1) != 1 ||
            m_work.image().data == nullptr) {
            return nullptr;
        }
        for (uint32_t i = 0; i < pixels; ++i) m_work.image().data[i] = level(m_background.dist0[i].mean);
        return &m_work.image();
    }
    if (kt_ensure_image(&m_colourMasked.image(), m_background.width, m_background.height, 4) != 1 ||
        m_colourMasked.image().data == nullptr) {
        return nullptr;
    }
    for (uint32_t i = 0; i < pixels; ++i) {
        unsigned char* px = m_colourMasked.image().data + 4 * i;
        px[0] = level(m_background.dist0[i].mean);
        px[1] = level(m_background.dist1[i].mean);
        px[2] = level(m_background.dist2[i].mean);
        px[3] = static_cast<unsigned char>((29u * px[0] + 150u * px[1] + 77u * px[2]) >> 8);
    }
    return &m_colourMasked.image();
}

void SimpleTracker::updateProxy(ProcessFrame& frame) {
    ktvl::Resolution maximum;
    m_proxy.getRequestedImages(m_wanted, maximum);
    for (const kttl::String& name : m_wanted) {
        if (frame.isImageSet(name, 0))
            continue;
        if (name == "Background Image") {
            const kt_image* background = renderBackground();
            if (background != nullptr) {
                frame.setImage(name, *background, background->channels == 1 ? Frame::kGray : Frame::kColour);
            }
        } else if (name == "Peripheral Image") {
            frame.setImage(name, m_peripheral.image(), Frame::kGray);
        } else if (name == "Processed Image") {
            frame.setImage(name, m_processed.image(), Frame::kGray);
        } else if (name == "Activity Image") {
            frame.setImage(name, m_activity.image(), Frame::kGray);
        } else if (name == "Exclusion Mask") {
            frame.setImage(name, m_exclusion.image(), Frame::kGray);
        } else if (name == "Foreground Image") {
            frame.setImage(name, m_foreground.image(), Frame::kGray);
        }
    }
    m_proxy.updateFrameListeners(frame);
}

void SimpleTracker::dumpStats() {
    for (auto& entry : m_stages) {
        kttl::StatTracker& stat = entry.second;
        if (stat.size() == 0) continue;  // a stage this configuration never ran
        stat.popFront(10);
        std::ostringstream line;
        line << entry.first << " -- mean: " << stat.mean() << ", median: " << stat.median()
             << ", samples: " << stat.size();
        log(kttl::LogType::INFO, kttl::String(line.str()));
    }
    m_stages.clear();
    for (Step& step : m_processes) step.process->dumpStats();
}
