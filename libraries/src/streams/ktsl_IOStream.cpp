// ktsl::IOStream: the connection stream interface (out of line so its vtable lives here).
#include "ktsl_IOStream.h"

namespace ktsl {

IOStream::~IOStream() = default;

}  // namespace ktsl
