// ktsl::StreamListener: whoever takes the connections a stream server accepts.
#pragma once

#include "kttl_SmartPtr.h"
#include "ktsl_IOStream.h"

namespace ktsl {

class StreamListener {
public:
    virtual ~StreamListener() = default;
    // Receives one accepted, started stream. False refuses it; the server then closes it.
    virtual bool addStream(kttl::SmartPtr<IOStream>& stream) = 0;
};

}  // namespace ktsl
