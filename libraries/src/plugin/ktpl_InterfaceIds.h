// ktpl interface ids: the identifiers plug-ins are queried by, compared without regard to case.
#pragma once

namespace ktpl {
namespace iid {

extern const char* const VideoProcess;
extern const char* const Tracker;
extern const char* const EventDetection;
extern const char* const Classification;
extern const char* const Training;
extern const char* const Collection;
extern const char* const Schemes;
extern const char* const AdaptiveBackground;

}  // namespace iid

// True when `iid` names the interface `id` (ASCII case ignored); false when either is null.
bool isInterface(const char* iid, const char* id);

}  // namespace ktpl
