// ObjectTracker: the video process that turns each frame's detections into tracked objects. This
// file holds the lifecycle, the frame step, parameters and the Tracker operations; the work on the
// objects themselves is in ObjectTracker_objects.cpp.
#include "ObjectTracker.h"

#include <algorithm>
#include <cfloat>
#include <limits>

#include "ktpl_InterfaceIds.h"

namespace {

const kttl::String kMoving(Object::kMovingState);
const kttl::String kStatic(Object::kStaticState);
const kttl::String kNativeImage("Native Image");
const kttl::String kNativeScaled("Native-Scaled");
const kttl::String kProcessedImage("Processed Image");
const kttl::String kStationaryImage("Stationary Object Processed");

}  // namespace

const char* const AdaptiveBackground::kInterfaceId = ktpl::iid::AdaptiveBackground;

ObjectTracker::ObjectTracker()
    : m_limbo(kttl::TimeQueue<Object>(kttl::ElapsedTime(kInitialLimboWindowMs))),
      m_maturity(static_cast<uint8_t>(ObjectTrackerParams::kDefaultMinTrackLength)),
      m_maxPerBlob(static_cast<uint8_t>(ObjectTrackerParams::kDefaultMaxTrackMerges)),
      m_lostTimeoutMs(static_cast<uint32_t>(ObjectTrackerParams::kDefaultDeferTimeMs)) {
    kt_object_list_init(&m_lists[kMoving], 0);
    kt_object_list_init(&m_lists[kStatic], 1);
}

ObjectTracker::~ObjectTracker() {
    for (auto& entry : m_lists) kt_object_list_free(&entry.second);
}

bool ObjectTracker::supports(const char* iid, ktpl::Plugin** out) {
    ktpl::Plugin* part = nullptr;
    if (ktpl::isInterface(iid, ktpl::iid::Tracker))
        part = static_cast<Tracker*>(this);
    else if (ktpl::isInterface(iid, ktpl::iid::VideoProcess))
        part = static_cast<VideoProcess*>(this);
    if (part == nullptr) return false;
    if (out != nullptr) *out = part;
    return true;
}

void ObjectTracker::getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const {
    types[kNativeScaled] = kttl::Integer(1);
    types[kProcessedImage] = kttl::Integer(2);
    types[kStationaryImage] = kttl::Integer(2);
}

void ObjectTracker::setProcesses(std::list<ktpl::PluginPtr<VideoProcess>>& processes) {
    for (const auto& process : processes) {
        if (process.get() == nullptr || process.get() == static_cast<VideoProcess*>(this)) continue;
        ktpl::PluginPtr<AdaptiveBackground> background =
            process.query<AdaptiveBackground>(AdaptiveBackground::kInterfaceId);
        if (background.get() != nullptr) {
            m_background = background;
            return;
        }
    }
}

void ObjectTracker::reset() {
    {
        auto living = m_living.getWritePtr(kWaitMs);
        if (living) living->clear();
    }
    {
        auto limbo = m_limbo.getWritePtr(kWaitMs);
        if (limbo) limbo->clear();
    }
    for (auto& entry : m_lists) {
        const int staticMode = entry.second.static_mode;
        kt_object_list_free(&entry.second);
        kt_object_list_init(&entry.second, staticMode);
    }
    m_confident.clear();
    m_colors.clear();
    m_falseObjects.clear();
    std::lock_guard<std::mutex> guard(m_pendingMutex);
    m_pending.clear();
}

void ObjectTracker::allowResurrection(bool allowed) {
    m_resurrection = allowed;
    if (!allowed) {
        auto limbo = m_limbo.getWritePtr(kWaitMs);
        if (limbo) limbo->clear();
    }
}

void ObjectTracker::setResurrectionWindow(const kttl::ElapsedTime& window) {
    auto limbo = m_limbo.getWritePtr(kWaitMs);
    if (!limbo) return;
    limbo->clear();
    limbo->setWindow(window.getMilliseconds() > 0 ? window : kttl::ElapsedTime(0));
}

size_t ObjectTracker::limboSize() const {
    auto limbo = m_limbo.getReadPtr(kWaitMs);
    return limbo ? limbo->size() : 0;
}

const kt_object_list* ObjectTracker::getList(const kttl::String& name) const {
    auto it = m_lists.find(name);
    return it == m_lists.end() ? nullptr : &it->second;
}

bool ObjectTracker::getObjects(ObjectMap& out) const {
    auto living = m_living.getReadPtr(kWaitMs);
    if (!living) return false;
    auto limbo = m_limbo.getReadPtr(kWaitMs);
    if (!limbo) return false;
    for (const auto& entry : *living) out.put(static_cast<uint32_t>(entry.first.get()), entry.second);
    for (const auto& entry : *limbo) {
        const uint32_t id = entry.second.getId();
        if (out.findObject(id) == nullptr) out.put(id, entry.second);
    }
    return true;
}

bool ObjectTracker::removeObject(unsigned id) {
    auto living = m_living.getWritePtr(kWaitMs);
    if (!living) return false;
    if (living->erase(kttl::Integer(static_cast<int32_t>(id))) == 0) return false;
    std::lock_guard<std::mutex> guard(m_pendingMutex);
    m_pending.push_back(id);
    return true;
}

void ObjectTracker::applyPendingRemovals() {
    {
        std::lock_guard<std::mutex> guard(m_pendingMutex);
        if (m_pending.empty()) return;
        m_pendingScratch.swap(m_pending);
    }
    for (uint32_t id : m_pendingScratch) {
        for (auto& entry : m_lists) kt_object_list_remove(&entry.second, id);
        forget(id);
    }
    m_pendingScratch.clear();
}

uint8_t ObjectTracker::clampByte(int32_t value, const char* name) {
    const int32_t clamped = std::clamp<int32_t>(value, 0, 255);
    if (clamped != value)
        log(kttl::LogType::WARN, "%s %d is outside 0..255; using %d", name, static_cast<int>(value),
            static_cast<int>(clamped));
    return static_cast<uint8_t>(clamped);
}

bool ObjectTracker::onSetParameters(const ProcessParams& params) {
    ObjectTrackerParams read;
    if (const auto* typed = dynamic_cast<const ObjectTrackerParams*>(&params)) {
        read = *typed;
    } else if (!read.binUnserialize(params.getBinPayload()) && !read.xmlUnserialize(params.getXmlPayload())) {
        return false;
    }
    m_maturity = clampByte(read.minTrackLength, "min-track-length");
    m_maxPerBlob = clampByte(read.maxTrackMerges, "max-track-merges");
    const int64_t defer = read.deferTime.getMilliseconds();
    m_lostTimeoutMs = static_cast<uint32_t>(std::clamp<int64_t>(defer, 0, std::numeric_limits<uint32_t>::max()));
    if (m_lostTimeoutMs != defer)
        log(kttl::LogType::WARN, "defer-time %lld ms is outside 0..%u; using %u", static_cast<long long>(defer),
            std::numeric_limits<uint32_t>::max(), m_lostTimeoutMs);
    m_params = read;
    setResurrectionWindow(read.resurrectionWindow);
    allowResurrection(read.resurrectionWindow.getMilliseconds() > 0);
    return true;
}

void ObjectTracker::onFrameResize(unsigned width, unsigned height, double scale) {
    ObjectTrackerParams::generateOcclusions(width, height, scale, m_params.occlusionZones, m_segments);
}

bool ObjectTracker::process(kt_object_list& list, const ktil::MultiImage* image, const kt_image* mask,
                            const kt_vertex* blobs, int count, const kttl::ElapsedTime& position) {
    kt_tracker_input in{};
    list.next_id = m_nextId.load();
    if (image != nullptr) {
        in.image = image->getFlat(ktil::MultiImage::kColour);
        if (in.image == nullptr) in.image = image->getFlat(ktil::MultiImage::kGray);
    }
    in.mask = mask;
    in.blobs = blobs;
    in.blob_count = count;
    in.min_new_confidence = m_locked.load() ? FLT_MAX : kConfirmedConfidence;
    in.now = static_cast<uint32_t>(static_cast<uint64_t>(position.getMilliseconds()));
    in.lost_timeout = m_lostTimeoutMs;
    in.segments = m_segments.empty() ? nullptr : m_segments.data();
    in.segment_count = static_cast<uint32_t>(m_segments.size());
    in.maturity = m_maturity;
    in.update_near_edges = m_params.alwaysUpdateHistograms ? 1 : 0;
    in.max_per_blob = m_maxPerBlob;
    const int ok = list.static_mode ? kt_tracker_static_process(&in, &list) : kt_tracker_process(&in, &list);
    m_nextId.store(list.next_id);
    return ok == 1;
}

void ObjectTracker::runList(const kttl::String& name, kt_object_list& list, ProcessFrame& frame,
                            const ktil::MultiImage* image) {
    const kt_image* mask = nullptr;
    if (name == kMoving && frame.isImageSet(kProcessedImage, ktil::MultiImage::kGray))
        mask = frame.getSetImage(kProcessedImage, ktil::MultiImage::kGray);
    else if (name == kStatic && frame.isImageSet(kStationaryImage, ktil::MultiImage::kGray))
        mask = frame.getSetImage(kStationaryImage, ktil::MultiImage::kGray);
    unsigned count = 0;
    const kt_vertex* chain = frame.getUntracked(name, count);
    const int taken = static_cast<int>(std::min<unsigned>(count, std::numeric_limits<int>::max()));
    process(list, image, mask, chain, taken, frame.getPosition());
    frame.maskAsTracked(name);
}

bool ObjectTracker::onProcessFrame(ProcessFrame& frame) {
    const kttl::String& imageName = frame.getScale() == 1.0 ? kNativeImage : kNativeScaled;
    const ktil::MultiImage* image = frame.isImageSet(imageName, 0) ? &frame.getMultiImage(imageName) : nullptr;
    if ((frame.getFrameFlags() & kResetFlag) != 0) reset();
    applyPendingRemovals();

    for (auto& entry : m_lists) runList(entry.first, entry.second, frame, image);
    // Sources seen for the first time get a normal-mode list.
    const ktsl::Set<kttl::String> pending = frame.nameUntracked();
    for (const kttl::String& name : pending) {
        if (m_lists.count(name) != 0) continue;
        kt_object_list& list = m_lists[name];
        kt_object_list_init(&list, 0);
        runList(name, list, frame, image);
    }

    bool updated = false;
    {
        auto living = m_living.getWritePtr(kWaitMs);
        if (living) {
            updateObjects(*living, frame);
            if (m_params.removeFalseObjects) removeFalseObjects(*living, frame);
            if (m_resurrection) resurrectObjects(*living, frame.getPosition());
            cleanObjects(*living, frame.getPosition());
            updated = true;
        }
    }
    const bool published = getObjects(frame.getObjects());
    return updated && published;
}
