// EnterExit ("Enter Exit"): reports objects that enter or leave the zones, each with the word
// "Enter" or "Exit" as the event's subtitle.
#pragma once

#include <map>

#include "FrameEventSpy.h"
#include "ObjectSnapshot.h"
#include "kttl_SmartPtr.h"

// An entrant is reported with the frame in which it was last seen entering. All pending entrants of
// one processed frame share one image-less copy of it; an entrant without a kept copy (it was judged
// on the very frame it entered) is reported with the current frame.
class EnterExit : public FrameEventSpy {
public:
    enum Type : int32_t { Unknown = -1, Both = 0, Enter = 1, Exit = 2 };
    static constexpr unsigned kFilterMask = 0xf;

    // "Both", "Enter", "Exit"; "Unknown" for any other value.
    static kttl::String typeToString(Type type);
    // Case-sensitive; Unknown for any other text.
    static Type stringToType(const kttl::String& text);

    EnterExit();
    EnterExit(const char* name, const char* desc, Type type, Type zoneType);
    EnterExit(const EnterExit& other);
    ~EnterExit() override;

    unsigned short getTypeId() const override { return ktsl::TypeId::EnterExit; }
    kttl::String getTypeName() const override { return "EnterExitSpy"; }
    kttl::String toXML() const override { return toXML(getTypeName().c_str()); }
    // <tag><EventSpy ..>..</EventSpy><type>..</type><zone-type>..</zone-type></tag>
    kttl::String toXML(const char* tag) const override;
    EventSpy* clone() const override { return new EnterExit(*this); }
    void reset() override;
    kttl::String getFriendlyName() const override { return "Enter Exit"; }
    void serialize(ktsl::MemIOStream& stream) const override;
    void unserialize(ktsl::MemIOStream& stream) override;
    unsigned getFilterMask() const override { return kFilterMask; }
    void internalSpy(ProcessFrame& frame) override;

    Type getType() const { return m_type; }
    void setType(Type type) { m_type = valid(type); }
    Type getZoneType() const { return m_zoneType; }
    void setZoneType(Type type) { m_zoneType = valid(type); }
    size_t pendingCopies() const { return m_kept.size(); }

protected:
    bool parseXML(const char* xml) override;

private:
    static Type valid(Type t) { return t >= Both && t <= Exit ? t : Unknown; }
    bool inAnyZone(const spygeo::Box& box) const;
    void report(unsigned id, const Frame& frame, bool entered);

    Type m_type = Both;
    Type m_zoneType = Both;
    std::map<unsigned, ObjectSnapshot> m_previous;
    std::map<unsigned, kttl::SmartPtr<Frame>> m_kept;
    kttl::SmartPtr<Frame> m_frameCopy;
    // The copy before m_frameCopy: overwritten in place by the next copy once nothing else holds
    // it, so a steady stream of entrants reuses two copies' storage instead of allocating a frame.
    kttl::SmartPtr<Frame> m_spareCopy;
};
