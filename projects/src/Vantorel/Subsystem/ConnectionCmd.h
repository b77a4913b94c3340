// ConnectionCmd: commands about a viewer's connection (type 3004): tests and frame requests.
#pragma once

#include "FrameRequest.h"
#include "ktsl_Command.h"

class ConnectionCmd : public ktsl::Command {
public:
    static constexpr int32_t kType = 3004;
    static constexpr int32_t kTest = 0;
    static constexpr int32_t kFrameRequest = 2;

    ConnectionCmd() { setType(kType); }
    explicit ConnectionCmd(const ktsl::Command& command) : ktsl::Command(command) {}

    // A frame request to `url` carrying `request` as its argument.
    static ConnectionCmd makeFrameRequest(const kttl::String& url, const FrameRequest& request);
    // The first FrameRequest among the arguments; false (request unchanged) when there is none or
    // it cannot be read.
    bool getFrameRequest(FrameRequest& request) const;
};
