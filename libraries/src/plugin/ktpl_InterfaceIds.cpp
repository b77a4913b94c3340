// ktpl interface ids: the identifiers plug-ins are queried by, compared without regard to case.
#include "ktpl_InterfaceIds.h"

#include <strings.h>

namespace ktpl {
namespace iid {

const char* const VideoProcess = "{FC85E573-5EF9-4d3c-8C07-D9068EE85954}";
const char* const Tracker = "{2568ADEE-B4F4-4db1-9282-9823C1CC390C}";
const char* const EventDetection = "{01E77EF4-D2E4-411e-92FB-5B5BD31171C4}";
const char* const Classification = "{ED512152-DA9E-43b6-A7FE-352243634713}";
const char* const Training = "{F7382F53-454C-4f39-A255-4DF7DF5B5EE1}";
const char* const Collection = "{7207013E-24A7-4ac3-A04B-17623102F82D}";
const char* const Schemes = "{D59FED8D-450F-41f4-8B0E-DF1989AF5FA9}";
const char* const AdaptiveBackground = "{E4DFF553-CBB7-4bab-8401-CBFA25555354}";

}  // namespace iid

bool isInterface(const char* iid, const char* id) {
    return iid != nullptr && id != nullptr && strcasecmp(iid, id) == 0;
}

}  // namespace ktpl
