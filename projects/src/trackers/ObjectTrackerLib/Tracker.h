// Tracker: the interface through which other components reach an object tracker's objects.
#pragma once

#include <cstdint>

#include "ObjectMap.h"
#include "ktpl_Plugin.h"

// Every operation may be called from a thread other than the one that feeds the tracker frames.
// Plug-ins built apart from this library call through the virtual table: keep the slot order.
class Tracker : public ktpl::Plugin {
  public:
    static const char* const kInterfaceId;

    // True (with *out set) for the tracker interface id.
    bool supports(const char* iid, ktpl::Plugin** out) override;
    // While locked no new objects are started; existing ones are still followed.
    virtual void lock(bool locked) = 0;
    // Removes one living object; false when it is not living or the objects are not available in time.
    virtual bool removeObject(unsigned id) = 0;
    // Inserts every living object, then every parked (limbo) object whose id is not already there;
    // false when the objects are not available in time.
    virtual bool getObjects(ObjectMap& out) const = 0;
    // The id the next new object gets.
    virtual unsigned getNextID() const = 0;
    virtual void setNextID(unsigned id) = 0;
};
