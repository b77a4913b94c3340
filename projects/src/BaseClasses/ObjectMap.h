// ObjectMap: the tracked objects of one frame keyed by id, iterated in ascending id order.
#pragma once

#include "Object.h"
#include "ktsl_IntMap.h"

#include <vector>

class ObjectMap : public ktsl::IntMap<Object> {
public:
    ObjectMap() = default;
    // Copies and moves carry the entries only, never the recycled nodes.
    ObjectMap(const ObjectMap& other) : ktsl::IntMap<Object>(other) {}
    ObjectMap(ObjectMap&& other) noexcept : ktsl::IntMap<Object>(std::move(other)) {}
    ObjectMap& operator=(const ObjectMap& other) {
        ktsl::IntMap<Object>::operator=(other);
        return *this;
    }
    ObjectMap& operator=(ObjectMap&& other) noexcept {
        ktsl::IntMap<Object>::operator=(std::move(other));
        return *this;
    }
    ~ObjectMap() override;

    // The object under id, or null.
    Object* findObject(unsigned id);
    const Object* findObject(unsigned id) const;
    // Inserts (or replaces) object under its own id; returns the stored object.
    Object& addObject(const Object& object);

    // Empties the map but keeps up to kMaxRecycled of its nodes for `put`: a map refilled every frame
    // (a frame's published objects) then stops allocating once its objects' storage has grown.
    void recycle();
    // Stores a copy of `object` under `id`: assigned over the entry already there, else into a
    // recycled node (whose inner storage the assignment reuses), else into a new node.
    Object& put(unsigned id, const Object& object);
    size_t recycledCount() const { return m_recycled.size(); }
    // Becomes a copy of `other`; its own nodes (and their objects' inner storage) are reused, so
    // refreshing a kept copy of a frame's map every frame stops allocating once it has grown.
    void assignReusing(const ObjectMap& other);

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

    static const size_t kMaxRecycled = 1024;

private:
    std::vector<node_type> m_recycled;
};
