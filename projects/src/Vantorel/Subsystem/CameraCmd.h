// CameraCmd: commands about the cameras of a machine (type 3002).
#pragma once

#include "ktsl_Command.h"

class CameraCmd : public ktsl::Command {
public:
    static constexpr int32_t kType = 3002;
    // Subtype asking for the camera map of the machine.
    static constexpr int32_t kGetCameraMap = 7;

    CameraCmd() { setType(kType); }
    explicit CameraCmd(const ktsl::Command& command) : ktsl::Command(command) {}
};
