// Tracker: the interface through which other components reach an object tracker's objects.
#include "Tracker.h"

#include "ktpl_InterfaceIds.h"

const char* const Tracker::kInterfaceId = ktpl::iid::Tracker;

bool Tracker::supports(const char* iid, ktpl::Plugin** out) {
    if (!ktpl::isInterface(iid, ktpl::iid::Tracker)) return false;
    if (out != nullptr) *out = this;
    return true;
}
