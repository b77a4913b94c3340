// ktil::ImageBase: what every image object tells about itself, so one call can take any of them.
#include "ktil_ImageBase.h"

namespace ktil {

ImageBase::~ImageBase() = default;

}  // namespace ktil
