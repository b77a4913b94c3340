// EventSpyFactory: holds one spy of any class and creates spies by type name or id.
#pragma once

#include <map>
#include <memory>

#include "EventSpy.h"
#include "ktsl_Serializable.h"
#include "kttl_String.h"

// The type table names every spy kind of the system; the kinds whose classes are not part of this
// build (see isAvailable) are recognised by name and id but refused with a message naming them.
class EventSpyFactory : public ktsl::Serializable {
public:
    // The preset name (exact case): a Threshold activity spy, max-activity 1, min-distance 50,
    // alarm-blobs on.
    static constexpr const char* kCapacityPreset = "CapacityActivitySpy";

    // Holds no spy.
    EventSpyFactory();
    // Holds a clone of `spy`; throws for a null spy.
    explicit EventSpyFactory(const EventSpy* spy);
    EventSpyFactory(const EventSpyFactory& other);
    EventSpyFactory& operator=(const EventSpyFactory& other);
    ~EventSpyFactory() override;

    // The type id of a type name (case-insensitive, "TripwireSpy" reads as a line-crossing spy), 0
    // for any other name.
    static unsigned short getSpyType(const kttl::String& name);
    // The type name of an id of the table, "" otherwise.
    static kttl::String getSpyTypeName(unsigned short typeId);
    // Whether this build can create spies of the id.
    static bool isAvailable(unsigned short typeId);
    // A default-constructed spy of the id (caller owns it), or null when unknown or not available.
    static EventSpy* newEventSpy(unsigned short typeId);
    // The factory's default spy of a type name: the preset for kCapacityPreset, a NewObject activity
    // spy (max-activity 0, min-distance 50) for "ActivitySpy", else newEventSpy. Caller owns it.
    static EventSpy* defaultEventSpy(const kttl::String& name);
    // Type name -> friendly name of every spy kind this build creates.
    static void getAllEventSpies(std::map<kttl::String, kttl::String>& spies);

    const EventSpy* getSpy() const { return m_spy.get(); }
    EventSpy* getSpy() { return m_spy.get(); }
    bool hasSpy() const { return m_spy != nullptr; }
    // Hands the held spy to the caller, who then owns it; the factory is empty afterwards.
    EventSpy* releaseSpy() { return m_spy.release(); }
    // Why the last fromXML refused its text ("" after a success).
    const kttl::String& getLastError() const { return m_lastError; }

    unsigned short getTypeId() const override { return ktsl::TypeId::EventSpyFactory; }
    kttl::String getTypeName() const override { return "EventSpyFactory"; }
    // The held spy's XML form under its own type name; "" without a spy.
    kttl::String toXML() const override;
    kttl::String toXML(const char* tag) const override;
    // The root element's name selects the class (the preset name builds the preset, then reads the
    // element's children, when it has any, over it). False, factory unchanged, for an unknown or
    // unavailable name or a text the spy refuses.
    bool fromXML(const char* xml) override;
    // The held spy's type id as an Integer, then the spy's binary form (an empty factory writes 0
    // and nothing else).
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // An unknown id throws the fromBin failure; a known id this build cannot create throws a message
    // naming the type; the factory is then unchanged. Id 0 reads as an empty factory.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    std::unique_ptr<EventSpy> m_spy;
    kttl::String m_lastError;
};
