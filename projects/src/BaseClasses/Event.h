// Event: the record of one alarm: its kind, when it started and was last seen, which objects of
// which source caused it, how sure and how urgent it is, and whether a consumer has taken it.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <set>
#include <utility>

#include "Frame.h"
#include "ktsl_List.h"
#include "ktsl_Serializable.h"
#include "kttl_Attributes.h"
#include "kttl_ElapsedTime.h"
#include "kttl_String.h"
#include "kttl_TimeStamp.h"

class Event : public ktsl::Serializable, public kttl::Attributes {
public:
    enum Status : int32_t { New = 0, Reviewed = 1, Flagged = 2, Deleted = 3 };
    // Wall-clock time and stream position of one frame.
    typedef std::pair<kttl::TimeStamp, kttl::ElapsedTime> TimePosition;
    typedef std::map<kttl::String, kttl::String> ObjectsMap;

    // At most this many frames are kept by addFrame without keep-all: the first four and the newest.
    static constexpr size_t kMaxFrames = 5;
    // The image name a stored frame copy refers to.
    static constexpr const char* kFrameImageName = "Native Image";

    // Priority key -> name: 0 "", 1 "critical", 2 "major", 3 "minor", 4 "warning", 5 "info".
    static std::map<int, kttl::String> getDefaultPriorityMap();
    static const std::map<int, kttl::String> mPriorityStringMap;
    // The key whose name equals `name` exactly, else -1.
    static int stringToPriority(const kttl::String& name);
    // The name of key `priority`, else "".
    static kttl::String priorityToString(int priority);
    // "New", "Reviewed", "Flagged", "Deleted"; "" for any other value.
    static kttl::String stringFromStatus(Status status);
    // Case-insensitive; false (status untouched) for any other word.
    static bool statusFromString(const kttl::String& text, Status& status);

    // Type "alarm", empty strings, status New, zero times, priority, uid and confidence 0.
    Event();
    // Takes the values as given (no range check); uid 0, status New, updated = now.
    Event(const TimePosition& start, const TimePosition& stop, const kttl::String& type, unsigned short priority,
          unsigned short confidence);
    Event(const Event&) = default;
    Event& operator=(const Event&) = default;
    ~Event() override;

    const kttl::String& getSubtitle() const { return m_subtitle; }
    void setSubtitle(const kttl::String& subtitle) { m_subtitle = subtitle; }
    const kttl::String& getOrigin() const { return m_origin; }
    const kttl::String& getType() const { return m_type; }
    void setType(const kttl::String& type) { m_type = type; }
    const ObjectsMap& getObjects() const { return m_objects; }
    Status getStatus() const { return m_status; }
    void setStatus(Status status) { m_status = status; }
    const TimePosition& getStart() const { return m_start; }
    void setStart(const TimePosition& start) { m_start = start; }
    const TimePosition& getStop() const { return m_stop; }
    // Sets stop and marks the event updated now.
    void setStop(const TimePosition& stop);
    const kttl::TimeStamp& getUpdated() const { return m_updated; }
    void setUpdated(const kttl::TimeStamp& updated) { m_updated = updated; }
    const std::list<Frame>& getFrames() const { return m_frames; }
    unsigned short getPriority() const { return m_priority; }
    void setPriority(unsigned short priority) { m_priority = priority; }
    uint32_t getUID() const { return m_uid; }
    void setUID(uint32_t uid) { m_uid = uid; }
    unsigned short getConfidence() const { return m_confidence; }
    // Stores c only when it is at most 100; returns whether it did.
    bool setConfidence(unsigned short c);
    // Keeps the larger of the current confidence and c, unchecked like the constructor.
    void raiseConfidence(unsigned short c) {
        if (c > m_confidence) m_confidence = c;
    }

    // false: status New. true: status Reviewed and every stored frame dropped.
    void setReviewed(bool reviewed);
    void setDescription(const kttl::String& text) { setAttribute("description", text); }
    kttl::String getDescription() const { return getAttribute("description"); }
    void setSpyType(const kttl::String& text) { setAttribute("spy-type", text); }
    kttl::String getSpyType() const { return getAttribute("spy-type"); }

    // The ids stored under `url` added to `ids` (0 never among them); false for an empty url or one
    // without an entry.
    bool getObjectIDs(const kttl::String& url, std::set<int>& ids) const;
    // Calls f(id) for every id stored under `url`, in stored order and without allocating (a spy's
    // listener reads them on every frame); the same ids getObjectIDs collects, repeats included.
    // False as for getObjectIDs.
    template <typename F>
    bool forEachObjectID(const kttl::String& url, F f) const {
        const char* p = nullptr;
        const char* end = nullptr;
        if (!objectList(url, p, end)) return false;
        int id;
        while (nextObjectID(p, end, id))
            if (id != 0) f(id);
        return true;
    }
    // Stores the ids ascending, comma-joined, under `url` (a leading "0," placeholder dropped when
    // more follows); false for an empty url.
    bool setObjects(const std::set<int>& ids, const kttl::String& url);
    // Adds `id` under `url`. Returns whether the id was already there (false too for an empty url).
    bool addObject(int id, const kttl::String& url);
    // Unites `ids` with those under `url`; false for an empty url.
    bool addObjects(const std::set<int>& ids, const kttl::String& url);
    // addObject(id, url); when the id was new and no stored frame equals `frame`, the frame is
    // appended with addFrame(frame, url, false) and true returned; false otherwise.
    bool addObject(int id, const Frame& frame, const kttl::String& url);
    // Sets the origin; with `moveAll`, also every stored frame's origin, and the objects entry of
    // the previous origin moves to the new one. False for an empty url.
    bool setOrigin(const kttl::String& url, bool moveAll);
    // Appends an image-less copy of `frame` whose origin is `url` and whose objects carry their
    // full tracks. Without keepAll the event keeps at most five frames (the first four and the
    // newest) and becomes New.
    void addFrame(const Frame& frame, const kttl::String& url, bool keepAll);
    // Takes stop, objects, status, priority, confidence, type and attributes of `other` and marks
    // the event updated now; with appendFrames also copies of all other's frames. Throws (nothing
    // changed) when the uids differ.
    void updateData(const Event& other, bool appendFrames);

    // Makes `copy` the frame without any image: time, position, flags, scale, attributes and objects.
    // No pixel buffer is copied.
    static void copyWithoutImages(const Frame& frame, Frame& copy);

    // ktsl::Serializable (id 1001, "Event").
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Event; }
    kttl::String getTypeName() const override { return "Event"; }
    kttl::String toXML(const char* tag) const override;
    // False (unchanged) when the text does not parse or its root has no children.
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // Refused input throws the fromBin failure and leaves the event unchanged.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    kttl::String m_subtitle;
    kttl::String m_origin;
    kttl::String m_type;
    ObjectsMap m_objects;
    // The id text under url as [p, end); false for an empty url or one without an entry.
    bool objectList(const kttl::String& url, const char*& p, const char*& end) const;
    // Reads the next comma-separated token from p on; true with `id` set for a decimal int with
    // optional blanks around it, skipping tokens that are not; false at the end.
    static bool nextObjectID(const char*& p, const char* end, int& id);
    Status m_status = New;
    TimePosition m_start;
    TimePosition m_stop;
    kttl::TimeStamp m_updated;
    ktsl::List<Frame> m_frames;
    unsigned short m_priority = 0;
    uint32_t m_uid = 0;
    unsigned short m_confidence = 0;
};
