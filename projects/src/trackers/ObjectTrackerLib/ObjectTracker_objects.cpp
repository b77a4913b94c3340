// ObjectTracker: the work on the objects: updating them from the tracked blobs, dropping the
// unconfirmed, parking the removed in the limbo and resurrecting them, false-object removal.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "ObjectTracker.h"
#include "ObjectUniformity.h"
#include "kttl_Exception.h"

namespace {

const kttl::String kStatic(Object::kStaticState);
const kttl::String kNativeImage("Native Image");
const kttl::String kProcessedImage("Processed Image");
const kttl::String kActivityImage("Activity Image");
const kttl::String kNearEdge("Near Edge");
const kttl::String kNearOcclusion("Near Occlusion");
const kttl::String kAverageWidth("Average Width");
const kttl::String kAverageHeight("Average Height");
const kttl::String kUniformity("Object Uniformity");
const kttl::String kFalseConfidence("False Confidence");
const kttl::String kGuid("GUID");
const kttl::String kTrue("true");
const kttl::String kFalse("false");
const ktsl::List<kttl::Integer> kNoMerges;

// Track status written while an object is confirmed: new (nascent), followed, coasting unmatched;
// and the statuses of parked and resurrected objects.
const int32_t kStatusNascent = 1;
const int32_t kStatusTracked = 3;
const int32_t kStatusCoasting = 5;
const int32_t kStatusParked = 2;
const int32_t kStatusResurrected = 4;

kttl::TimeStamp stampOf(const kttl::ElapsedTime& position) {
    kttl::TimeStamp t;
    t.fromElapsedTime(position);
    return t;
}

// v / scale rounded half away from zero, saturated to int.
int unscale(uint32_t v, double scale) {
    const double r = std::round(static_cast<double>(v) / scale);
    if (!(r < static_cast<double>(std::numeric_limits<int>::max()))) return std::numeric_limits<int>::max();
    return static_cast<int>(r);
}

kttl::String decimal(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", 6, static_cast<double>(value));
    return text;
}

// Centre with integer halves.
void centre(const ktml::BoundingBox<int>& b, int64_t& x, int64_t& y) {
    x = static_cast<int64_t>(b.x) + b.width / 2;
    y = static_cast<int64_t>(b.y) + b.height / 2;
}

}  // namespace

const int64_t* ObjectTracker::lastConfident(uint32_t id) const {
    auto it = std::lower_bound(m_confident.begin(), m_confident.end(), id,
                               [](const std::pair<uint32_t, int64_t>& e, uint32_t key) { return e.first < key; });
    return it != m_confident.end() && it->first == id ? &it->second : nullptr;
}

void ObjectTracker::updateObjects(ObjectMap& map, const ProcessFrame& frame) {
    const kttl::TimeStamp t = stampOf(frame.getPosition());
    const int64_t position = frame.getPosition().getMilliseconds();
    const double scale = frame.getScale();
    const kt_image* colour = nullptr;
    const kt_image* gray = nullptr;
    const kt_image* mask = nullptr;
    if (m_params.advancedHistograms && frame.isImageSet(kNativeImage, ktil::MultiImage::kColour)) {
        colour = frame.getSetImage(kNativeImage, ktil::MultiImage::kColour);
        mask = frame.getSetImage(kProcessedImage, ktil::MultiImage::kGray);
    }
    if (m_params.advancedObjectFeatures && frame.isImageSet(kNativeImage, ktil::MultiImage::kGray))
        gray = frame.getSetImage(kNativeImage, ktil::MultiImage::kGray);
    m_confidentNext.clear();

    for (const auto& entry : m_lists) {
        const kttl::String& state = entry.first;
        const kt_object_list& list = entry.second;
        const kttl::String className = frame.getUntrackedClass(state);
        for (const kt_object* blob = list.head; blob != nullptr; blob = blob->next) {
            const int32_t status = blob->lost_since != 0                      ? kStatusCoasting
                                   : (blob->flags & KT_OBJECT_NASCENT) != 0 ? kStatusNascent
                                                                            : kStatusTracked;
            const kttl::Integer key(static_cast<int32_t>(blob->id));
            auto found = map.find(key);
            if (found == map.end()) {
                found = map.emplace(key, Object(state, kttl::ElapsedTime(kHistoryWindowMs))).first;
                found->second.setId(blob->id);
            }
            Object& object = found->second;
            if (object.getTrackStatus() != 0) object.setTrackStatus(status);

            // Objects sharing this blob (exactly the same box) are named in the node.
            ktsl::List<kttl::Integer> merged;
            if (blob->shared) {
                for (const kt_object* o = list.head; o != nullptr; o = o->next) {
                    if (o != blob && o->shared && std::memcmp(&o->box, &blob->box, sizeof o->box) == 0)
                        merged.push_back(kttl::Integer(static_cast<int32_t>(o->id)));
                }
                merged.sort([](const kttl::Integer& a, const kttl::Integer& b) {
                    return static_cast<uint32_t>(a.get()) < static_cast<uint32_t>(b.get());
                });
            }

            const ktml::BoundingBox<int> box(unscale(blob->box.x, scale), unscale(blob->box.y, scale),
                                             unscale(blob->box.width, scale), unscale(blob->box.height, scale));
            if (merged.empty()) {
                object.insert(box, kNoMerges, t);
            } else {
                object.insert(box, std::move(merged), t);
            }

            if (colour != nullptr) {
                RegionColors& colors = m_colors[blob->id];
                if (object.getMergeListSize() == 0) {
                    m_scratchColors.measure(*colour, mask, box);
                    colors.accumulate(m_scratchColors);
                }
                if (!colors.isEmpty()) {
                    object.setHistogram(colors.get(RegionColors::kWhole));
                    colors.fillColors(object);
                }
            }
            if (gray != nullptr) {
                char text[32];
                std::snprintf(text, sizeof text, "%.6g", objectUniformity(*gray, box));
                object.setAttribute(kUniformity, text);
            }

            object.setAttribute(kNearEdge, (blob->flags & KT_OBJECT_NEAR_EDGE) ? kTrue : kFalse);
            object.setAttribute(kNearOcclusion, (blob->flags & KT_OBJECT_NEAR_SEGMENT) ? kTrue : kFalse);
            object.setAttribute(kAverageWidth, decimal(blob->avg_width.value));
            object.setAttribute(kAverageHeight, decimal(blob->avg_height.value));
            if (!className.empty()) object.addClass(className);

            if (blob->confidence >= kConfirmedConfidence) {
                m_confidentNext.emplace_back(blob->id, position);
            } else {
                const int64_t* last = lastConfident(blob->id);
                if (last == nullptr ||
                    frame.getPosition() > kttl::ElapsedTime(*last) + m_params.invalidWindow) {
                    object.setTrackStatus(Object::kUnconfirmed);
                } else {
                    m_confidentNext.emplace_back(blob->id, *last);
                }
            }
        }
    }
    std::sort(m_confidentNext.begin(), m_confidentNext.end());
    m_confident.swap(m_confidentNext);
}

void ObjectTracker::cleanObjects(ObjectMap& map, const kttl::ElapsedTime& position) {
    auto limbo = m_limbo.getWritePtr(kWaitMs);
    if (!limbo) return;
    const kttl::TimeStamp now = stampOf(position);
    m_purge.clear();
    for (const auto& entry : map) {
        const Object& object = entry.second;
        kttl::TimeStamp newest;
        if (object.getTrackStatus() == Object::kUnconfirmed || !object.newestTime(newest) || newest < now)
            m_purge.push_back(static_cast<uint32_t>(entry.first.get()));
    }
    for (uint32_t id : m_purge) purgeObject(id, &map, &*limbo);
}

void ObjectTracker::purgeObject(unsigned id, ObjectMap* map, kttl::TimeQueue<Object>* limbo) {
    if (map == nullptr) KT_THROW("ObjectTracker", "purgeObject - No pointer to living objects.");
    auto it = map->find(kttl::Integer(static_cast<int32_t>(id)));
    if (it == map->end()) return;
    Object& object = it->second;
    kttl::TimeStamp newest;
    if (m_resurrection && object.newestTime(newest) && object.age().getMilliseconds() >= kMinLimboAgeMs) {
        if (limbo == nullptr) KT_THROW("ObjectTracker", "purgeObject - No pointer to limbo objects.");
        object.setTrackStatus(kStatusParked);
        limbo->insert(object, newest);
    }
    auto list = m_lists.find(object.getState());
    if (list != m_lists.end()) kt_object_list_remove(&list->second, id);
    forget(id);
    map->erase(it);
}

void ObjectTracker::forget(uint32_t id) {
    m_colors.erase(id);
    m_falseObjects.erase(id);
}

void ObjectTracker::rekey(uint32_t from, uint32_t to) {
    auto colors = m_colors.find(from);
    if (colors != m_colors.end()) {
        m_colors[to] = colors->second;
        m_colors.erase(from);
    }
    auto falseObject = m_falseObjects.find(from);
    if (falseObject != m_falseObjects.end()) {
        m_falseObjects[to] = falseObject->second;
        m_falseObjects.erase(from);
    }
    for (auto& entry : m_confident)
        if (entry.first == from) entry.first = to;
    std::sort(m_confident.begin(), m_confident.end());
}

void ObjectTracker::resurrectObjects(ObjectMap& map, const kttl::ElapsedTime& position) {
    auto limbo = m_limbo.getWritePtr(kWaitMs);
    if (!limbo) return;
    limbo->clean(stampOf(position));
    if (limbo->empty()) return;
    const double distanceLimit = static_cast<double>(m_params.resurrectionDistance);
    std::vector<std::pair<uint32_t, Object>> pairs;
    std::vector<uint32_t> taken;
    for (const auto& entry : map) {
        const Object& x = entry.second;
        const int64_t age = x.age().getMilliseconds();
        if (age < kResurrectMinAgeMs || age > kResurrectMaxAgeMs) continue;
        int64_t xcx, xcy;
        centre(x.getInitialBox(), xcx, xcy);
        const Object* best = nullptr;
        double bestSimilarity = 0.0;
        for (const auto& parked : *limbo) {
            const Object& l = parked.second;
            ktml::BoundingBox<int> last;
            if (l.getId() >= x.getId() || !l.newest(last) || l.getState() != x.getState()) continue;
            if (std::find(taken.begin(), taken.end(), l.getId()) != taken.end()) continue;
            int64_t lcx, lcy;
            centre(last, lcx, lcy);
            const double distance = std::hypot(static_cast<double>(xcx - lcx), static_cast<double>(xcy - lcy));
            if (!(distance < distanceLimit)) continue;
            const double similarity = x.compareHistogram(l);
            if (best == nullptr || similarity > bestSimilarity) {
                best = &l;
                bestSimilarity = similarity;
            }
        }
        // Histogram shares are floats, so the similarity is compared at float precision: a similarity
        // equal to the threshold must not pass on a rounding residue.
        if (best != nullptr &&
            static_cast<float>(bestSimilarity) > static_cast<float>(m_params.resurrectionConfidence)) {
            log(kttl::LogType::INFO, "Resurrecting %d for %d with %f confidence.", static_cast<int>(best->getId()),
                static_cast<int>(x.getId()), bestSimilarity);
            pairs.emplace_back(x.getId(), *best);
            taken.push_back(best->getId());
        }
    }
    if (!taken.empty()) {
        // The queue has no erase: rebuild it without the resurrected entries (rare).
        kttl::TimeQueue<Object> kept(limbo->getWindow());
        for (const auto& parked : *limbo)
            if (std::find(taken.begin(), taken.end(), parked.second.getId()) == taken.end())
                kept.insert(parked.second, parked.first);
        *limbo = std::move(kept);
    }
    for (const auto& pair : pairs) resurrectObject(pair.first, pair.second, map);
}

bool ObjectTracker::resurrectObject(unsigned newId, const Object& parked, ObjectMap& map) {
    const uint32_t oldId = parked.getId();
    if (oldId == 0 || map.count(kttl::Integer(static_cast<int32_t>(oldId))) != 0) return false;
    auto it = map.find(kttl::Integer(static_cast<int32_t>(newId)));
    if (it == map.end()) return false;
    Object object = std::move(it->second);
    map.erase(it);
    object.mergeTrack(parked);
    object.setTrackStatus(kStatusResurrected);
    object.setId(oldId);
    object.setFullTrack(object.getState() != kStatic);
    kttl::String guid;
    if (parked.getAttribute(kGuid, guid))
        object.setAttribute(kGuid, guid);
    else
        object.removeAttribute(kGuid);
    map.emplace(kttl::Integer(static_cast<int32_t>(oldId)), std::move(object));
    rekey(newId, oldId);
    auto list = m_lists.find(parked.getState());
    kt_object* blob = list == m_lists.end() ? nullptr : kt_object_list_find(&list->second, newId);
    if (blob != nullptr) blob->id = oldId;
    return blob != nullptr;
}

void ObjectTracker::removeFalseObjects(ObjectMap& map, ProcessFrame& frame) {
    // Only a background model can tell a stationary object from background it has not learnt yet.
    if (m_background.get() == nullptr || !frame.isImageSet(kActivityImage, ktil::MultiImage::kGray)) return;
    kt_image* activity = frame.getMultiImage(kActivityImage).getFlat(ktil::MultiImage::kGray);
    if (activity == nullptr || activity->data == nullptr) return;
    const double scale = frame.getScale();
    for (auto& entry : map) {
        Object& object = entry.second;
        ktml::BoundingBox<int> box;
        if (object.getState() != kStatic || !object.newest(box)) continue;
        // To the processing scale, clipped to the image.
        const int64_t x0 = std::clamp<int64_t>(std::llround(box.x * scale), 0, activity->width);
        const int64_t y0 = std::clamp<int64_t>(std::llround(box.y * scale), 0, activity->height);
        const int64_t x1 = std::clamp<int64_t>(std::llround((static_cast<double>(box.x) + box.width) * scale), x0,
                                               activity->width);
        const int64_t y1 = std::clamp<int64_t>(std::llround((static_cast<double>(box.y) + box.height) * scale), y0,
                                               activity->height);
        const ktml::BoundingBox<int> region(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                                            static_cast<int>(y1 - y0));
        FalseObject& judged = m_falseObjects[object.getId()];
        if (judged.average.weight == 0.0f) kt_running_avg_reset(&judged.average, kFalseObjectWeight);
        kt_running_avg_add(&judged.average, m_background->backgroundLikeness(region));
        char text[32];
        std::snprintf(text, sizeof text, "%f", static_cast<double>(judged.average.value));
        object.setAttribute(kFalseConfidence, text);
        if (judged.average.value > kFalseObjectLimit) {
            object.setTrackStatus(Object::kUnconfirmed);
            for (int64_t y = y0; y < y1; ++y)
                std::memset(activity->data + static_cast<size_t>(y) * activity->width + x0, 0,
                            static_cast<size_t>(x1 - x0));
        }
    }
}
