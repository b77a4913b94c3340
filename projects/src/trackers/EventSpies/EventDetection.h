// EventDetection: the plug-in interface through which the pipeline and remote tools reach an event
// detector's spies and events.
#pragma once

#include <list>
#include <map>

#include "Event.h"
#include "EventSpy.h"
#include "EventSpyFactory.h"
#include "ktpl_Plugin.h"
#include "kttl_String.h"

// Keep the slot order: plug-ins built apart call through the table.
class EventDetection : public ktpl::Plugin {
public:
    static const char* const kInterfaceId;

    // Appends the events that are new or updated since the last call, each once; false when the
    // event lock could not be had.
    virtual bool getEvents(std::list<Event>& events) = 0;
    // Stores a spy (replacing one of its name); false for a spy that is not frame-driven.
    virtual bool addSpy(const EventSpy& spy) = 0;
    // As addSpy, only for a name already present.
    virtual bool setSpy(const EventSpy& spy) = 0;
    // A factory holding a copy of each spy, in name order; false when the spy lock failed.
    virtual bool getSpies(std::list<EventSpyFactory>& spies) const = 0;
    // Spy type name -> friendly name.
    virtual void getSupportedSpies(std::map<kttl::String, kttl::String>& spies) const = 0;
    virtual bool removeSpy(const kttl::String& name) = 0;
    virtual bool renameSpy(const kttl::String& oldName, const kttl::String& newName) = 0;
};
