// ObjectMap: the tracked objects of one frame keyed by id, iterated in ascending id order.
#pragma once

#include "Object.h"
#include "ktsl_IntMap.h"

class ObjectMap : public ktsl::IntMap<Object> {
public:
    ObjectMap() = default;
    ObjectMap(const ObjectMap&) = default;
    ObjectMap(ObjectMap&&) = default;
    ObjectMap& operator=(const ObjectMap&) = default;
    ObjectMap& operator=(ObjectMap&&) = default;
    ~ObjectMap() override;

    // The object under id, or null.
    Object* findObject(unsigned id);
    const Object* findObject(unsigned id) const;
    // Inserts (or replaces) object under its own id; returns the stored object.
    Object& addObject(const Object& object);

    // Exchanges the contents of the two objects, then gives each the id of the key it now sits
    // under. False (nothing changed) when either id is absent.
    bool swapObjects(unsigned a, unsigned b);

    // Follows a map that carries only newest nodes: objects the other map lacks are removed, shared
    // ones are updated from it, and the other's new objects are created with its state and
    // `window` and then updated from it.
    void update(const ObjectMap& other, const kttl::ElapsedTime& window);

    // Removes objects that duplicate another at the same newest time: with tolerance 0 the newest
    // boxes must be identical; otherwise the intersection must cover more than `tolerance` of the
    // first object's newest box (A of each ordered pair). Of a duplicate pair the larger id goes.
    void removeDuplicates(float tolerance);
};
