// TrackerCmd: commands about the tracker of a camera (type 3012).
#pragma once

#include "ktsl_Command.h"

class TrackerCmd : public ktsl::Command {
public:
    static constexpr int32_t kType = 3012;
    // Subtype asking for the image names a viewer may request.
    static constexpr int32_t kListImages = 0;

    TrackerCmd() { setType(kType); }
    explicit TrackerCmd(const ktsl::Command& command) : ktsl::Command(command) {}
};
