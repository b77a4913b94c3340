// Object: one tracked thing in the scene as the rest of the system sees it: identity, a time window
// of positions, motion, colour, class labels and confidences, and string attributes.
#pragma once

#include <cstdint>

#include "ktml_BoundingBox.h"
#include "ktml_ColorHistogram.h"
#include "ktsl_List.h"
#include "ktsl_MemIOStream.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"
#include "kttl_Attributes.h"
#include "kttl_Double.h"
#include "kttl_ElapsedTime.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "kttl_TimeQueue.h"
#include "kttl_TimeStamp.h"

class Object : public ktsl::Serializable, public kttl::Attributes {
public:
    // One history entry: the object's box at that time and the ids of the detections merged into
    // it (empty when the box came from one detection).
    struct Node {
        ktml::BoundingBox<int> box;
        ktsl::List<kttl::Integer> mergedIds;

        Node() = default;
        Node(const ktml::BoundingBox<int>& b, const ktsl::List<kttl::Integer>& ids) : box(b), mergedIds(ids) {}
        Node(const ktml::BoundingBox<int>& b, ktsl::List<kttl::Integer>&& ids) : box(b), mergedIds(std::move(ids)) {}
        bool operator==(const Node& o) const;
        bool operator!=(const Node& o) const { return !(*this == o); }
    };
    typedef kttl::TimeQueue<Node> History;

    // Names of the detection lists an object can come from.
    static constexpr const char* kMovingState = "Moving";
    static constexpr const char* kStaticState = "Static";
    // The history window the tracker gives its objects, and the one a reader's fresh object gets.
    static constexpr int64_t kDefaultWindowMs = 15000;
    // Track status of an object that is not (or no longer) confirmed.
    static constexpr int32_t kUnconfirmed = -1;

    // State "Moving", a 15 s window.
    Object();
    // Empty history with the given window, zero birth time, empty boxes, zero velocity, status -1.
    Object(const kttl::String& state, const kttl::ElapsedTime& window);
    Object(const Object&) = default;
    // Moves hand over the history, the histogram and the maps without copying them (map readers
    // and tracker containers move objects).
    Object(Object&&) = default;
    Object& operator=(const Object&) = default;
    Object& operator=(Object&&) = default;
    ~Object() override;
    void swap(Object& o);

    uint32_t getId() const { return m_id; }
    void setId(uint32_t id) { m_id = id; }
    const kttl::String& getState() const { return m_state; }
    void setState(const kttl::String& state) { m_state = state; }
    bool isStatic() const { return m_state == kStaticState; }
    const kttl::TimeStamp& getBirthTime() const { return m_birth; }
    void setBirthTime(const kttl::TimeStamp& t) { m_birth = t; }
    const ktml::BoundingBox<int>& getInitialBox() const { return m_initialBox; }
    const ktml::BoundingBox<int>& getEstimatedPosition() const { return m_estimated; }
    void setEstimatedPosition(const ktml::BoundingBox<int>& box) { m_estimated = box; }
    float getVelocityX() const { return m_vx; }
    float getVelocityY() const { return m_vy; }
    void setVelocity(float vx, float vy) {
        m_vx = vx;
        m_vy = vy;
    }
    bool isFullTrack() const { return m_fullTrack; }
    void setFullTrack(bool full) { m_fullTrack = full; }
    int32_t getTrackStatus() const { return m_trackStatus; }
    void setTrackStatus(int32_t status) { m_trackStatus = status; }

    const History& getHistory() const { return m_history; }
    size_t historySize() const { return m_history.size(); }
    const kttl::ElapsedTime& getWindow() const { return m_history.getWindow(); }

    // Class labels (lower case) given by detectors, and class confidences (0..1) from classifiers.
    const ktsl::Set<kttl::String>& getClasses() const { return m_classes; }
    ktsl::Set<kttl::String>& getClasses() { return m_classes; }
    void addClass(const kttl::String& name) { m_classes.insert(name.toLower()); }
    const ktsl::StringMap<kttl::Double>& getClassConfidences() const { return m_confidences; }
    ktsl::StringMap<kttl::Double>& getClassConfidences() { return m_confidences; }
    // The product of the confidences of the comma-separated names (lower-cased, blanks trimmed)
    // that the map holds, each clamped to the float range; -1 when none of them is present.
    float getClassConfidence(const kttl::String& names) const;

    void setClassRegion(const kttl::String& name, const ktml::BoundingBox<int>& box) { m_classRegions[name] = box; }
    // The region stored under name; an empty box when there is none.
    ktml::BoundingBox<int> getClassRegion(const kttl::String& name) const;
    bool hasClassRegion(const kttl::String& name) const { return m_classRegions.count(name) != 0; }
    void clearClassRegions() { m_classRegions.clear(); }
    const ktsl::StringMap<ktml::BoundingBox<int>>& getClassRegions() const { return m_classRegions; }

    const ktml::ColorHistogram& getHistogram() const { return m_histogram; }
    // Stores h and rewrites "Color Palette": the colours of its five largest non-empty bins
    // (largest first, ties by lower bin) as "#rrggbb" joined with "|".
    void setHistogram(const ktml::ColorHistogram& h);
    // 1 - the histogram distance (method 0); 0 when the two histograms differ in bin count.
    double compareHistogram(const Object& other) const;

    // Adds a node: the birth time is set on the first node ever, the initial box by the first node
    // with a positive width and height; nodes older than the window before the newest fall out.
    // Returns the number of nodes held.
    size_t insert(const ktml::BoundingBox<int>& box, const ktsl::List<kttl::Integer>& mergedIds,
                  const kttl::TimeStamp& time);
    // The same, taking over the merged ids (the tracker builds them fresh every frame).
    size_t insert(const ktml::BoundingBox<int>& box, ktsl::List<kttl::Integer>&& mergedIds,
                  const kttl::TimeStamp& time);
    // Takes over another object's data: a newest-only object adds its newest node when that time is
    // new here, a full track replaces the history and its window; every other member and the
    // attributes are copied. The histogram stays.
    void update(const Object& other);
    // Inserts every node of other's history; takes its birth time and initial box when it was born
    // earlier; adds its histogram bin by bin.
    void mergeTrack(const Object& other);

    // Accessors of the newest and oldest node: false (output unchanged) on an empty history.
    bool newest(ktml::BoundingBox<int>& box) const;
    bool newest(Node& node, kttl::TimeStamp& time) const;
    bool newestTime(kttl::TimeStamp& time) const;
    // The newest / oldest node time as milliseconds since the epoch.
    bool newestPosition(kttl::ElapsedTime& position) const;
    bool oldestPosition(kttl::ElapsedTime& position) const;
    // Replaces the newest node's box; false on an empty history.
    bool updateNewest(const ktml::BoundingBox<int>& box);
    // Merged ids in the newest node (0 on an empty history).
    size_t getMergeListSize() const;
    // Drops every node but the newest.
    void clearTail();
    // Newest node time - birth time; 0 on an empty history.
    kttl::ElapsedTime age() const;

    // Velocity in pixels per update from the newest node to box: centres, or the right/bottom edges
    // when either box starts within 3 pixels of the left/top border; the first measurement is taken
    // as is, later ones blended 0.9 old + 0.1 new. Nothing happens on an empty history.
    void setAverageVel(const ktml::BoundingBox<int>& box);

    // Multiplies every stored box coordinate by factor, rounding half away from zero and saturating
    // at the signed 32-bit limits.
    void scale(double factor);

    // Writes the track records: the track duration, then every node (full track of a non-static
    // object) or the newest one, each as time stamp, box and merged-id list. An empty history
    // writes one zero time stamp, an empty box and an empty list.
    void serializeTrack(ktsl::MemIOStream& stream) const;

    bool operator==(const Object& o) const;
    bool operator!=(const Object& o) const { return !(*this == o); }

    // ktsl::Serializable (type id 4, "Object"). No XML form.
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Object; }
    kttl::String getTypeName() const override { return "Object"; }
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // Reads the members in order. The track is merged, not replaced: with the full-track flag set
    // the history is emptied first and its window grows to the transmitted duration; then every
    // node read is inserted, so a reader keeping one object across frames accumulates its history.
    // Refused input (a member reader's exception) leaves the object unchanged.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    // Whether the track carries every node rather than the newest.
    bool writesFullTrack() const { return m_fullTrack && !isStatic(); }
    unsigned trackBinLength() const;

    uint32_t m_id = 0;
    History m_history;
    ktml::ColorHistogram m_histogram;
    kttl::String m_state;
    kttl::TimeStamp m_birth;
    ktml::BoundingBox<int> m_estimated;
    ktml::BoundingBox<int> m_initialBox;
    float m_vx = 0.0f;
    float m_vy = 0.0f;
    ktsl::Set<kttl::String> m_classes;
    ktsl::StringMap<kttl::Double> m_confidences;
    bool m_fullTrack = false;
    int32_t m_trackStatus = kUnconfirmed;
    ktsl::StringMap<ktml::BoundingBox<int>> m_classRegions;
};
