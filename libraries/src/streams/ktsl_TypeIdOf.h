// ktsl::typeIdOf<T>(): the type id of a serializable type, for containers that may be empty.
#pragma once

namespace ktsl {

// Asked once per type from a default-constructed T (every serializable value has one).
template <class T>
unsigned short typeIdOf() {
    static const unsigned short id = T().getTypeId();
    return id;
}

}  // namespace ktsl
