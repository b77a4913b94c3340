// ObjectMap: lookup, swapping, synchronising with a received map and duplicate removal.
#include "ObjectMap.h"

#include <set>
#include <vector>

ObjectMap::~ObjectMap() = default;

Object* ObjectMap::findObject(unsigned id) {
    auto it = find(kttl::Integer(static_cast<int32_t>(id)));
    return it == end() ? nullptr : &it->second;
}

const Object* ObjectMap::findObject(unsigned id) const {
    auto it = find(kttl::Integer(static_cast<int32_t>(id)));
    return it == end() ? nullptr : &it->second;
}

Object& ObjectMap::addObject(const Object& object) {
    return (*this)[kttl::Integer(static_cast<int32_t>(object.getId()))] = object;
}

void ObjectMap::recycle() {
    // Highest id first, so that `put` calls in ascending id order (as a publisher walks a map) take
    // back each object's own node while the set of ids is stable.
    while (!empty()) {
        node_type node = extract(std::prev(end()));
        if (m_recycled.size() < kMaxRecycled) m_recycled.push_back(std::move(node));
    }
}

Object& ObjectMap::put(unsigned id, const Object& object) {
    const kttl::Integer key(static_cast<int32_t>(id));
    auto found = find(key);
    if (found != end()) return found->second = object;
    if (m_recycled.empty()) return emplace(key, object).first->second;
    node_type node = std::move(m_recycled.back());
    m_recycled.pop_back();
    node.key() = key;
    node.mapped() = object;
    return insert(std::move(node)).position->second;
}

void ObjectMap::assignReusing(const ObjectMap& other) {
    if (&other == this) return;
    if (empty() && m_recycled.empty()) {
        *this = other;
        return;
    }
    recycle();
    for (const auto& entry : other) put(static_cast<unsigned>(static_cast<int32_t>(entry.first)), entry.second);
}

bool ObjectMap::swapObjects(unsigned a, unsigned b) {
    Object* oa = findObject(a);
    Object* ob = findObject(b);
    if (!oa || !ob) return false;
    if (oa == ob) return true;
    oa->swap(*ob);
    oa->setId(a);
    ob->setId(b);
    return true;
}

void ObjectMap::update(const ObjectMap& other, const kttl::ElapsedTime& window) {
    if (&other == this) return;
    for (auto it = begin(); it != end();) {
        auto found = other.find(it->first);
        if (found == other.end()) {
            it = erase(it);
        } else {
            it->second.update(found->second);
            ++it;
        }
    }
    for (const auto& entry : other) {
        if (count(entry.first)) continue;
        Object fresh(entry.second.getState(), window);
        fresh.update(entry.second);
        emplace(entry.first, std::move(fresh));
    }
}

void ObjectMap::removeDuplicates(float tolerance) {
    struct Candidate {
        int32_t key;
        const Object* object;
        ktml::BoundingBox<int> box;
        kttl::TimeStamp time;
    };
    std::vector<Candidate> withNodes;
    for (const auto& entry : *this) {
        Object::Node node;
        kttl::TimeStamp time;
        if (entry.second.newest(node, time)) withNodes.push_back({entry.first.get(), &entry.second, node.box, time});
    }
    std::set<int32_t> marked;
    for (const Candidate& a : withNodes) {
        if (marked.count(a.key)) continue;
        for (const Candidate& b : withNodes) {
            if (&a == &b || marked.count(b.key)) continue;
            if (marked.count(a.key)) break;
            if (a.time != b.time) continue;
            bool duplicate;
            if (tolerance == 0.0f) {
                duplicate = a.box == b.box;
            } else {
                const double areaA = a.box.area();
                duplicate = areaA > 0.0 && a.box.intersectionArea(b.box) / areaA > tolerance;
            }
            if (!duplicate) continue;
            // The lower id survives.
            marked.insert(a.object->getId() > b.object->getId() ? a.key : b.key);
        }
    }
    for (int32_t key : marked) erase(kttl::Integer(key));
}
