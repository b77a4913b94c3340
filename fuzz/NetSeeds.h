// Seeds of the net fuzz target: what viewers send to the frame server, one session per file.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "CameraCmd.h"
#include "ConnectionCmd.h"
#include "TrackerCmd.h"
#include "ktsl_MemIOStream.h"
#include "ktsl_Ping.h"

namespace fuzz {

inline void netSeeds(const std::string& dir) {
    FrameRequest request;
    request.getImages().insert("Native Image");
    request.getImages().insert("Processed Image");
    request.setTracks(true);
    request.setFrameRate(0);
    ktvl::Resolution res;
    res.set(640, 480);
    request.setResolution(res);
    request.setName("viewer");

    ConnectionCmd test;
    test.setUrl("camera://embedded");
    test.setSubType(ConnectionCmd::kTest);
    CameraCmd cameras;
    cameras.setUrl("camera://embedded");
    cameras.setSubType(CameraCmd::kGetCameraMap);
    TrackerCmd images;
    images.setUrl("camera://embedded");
    images.setSubType(TrackerCmd::kListImages);
    ktsl::Command unknown("camera://embedded", 4242, 1);
    ktsl::Ping ping;
    ping.setAttribute("client", "seed");

    const ConnectionCmd frames = ConnectionCmd::makeFrameRequest("camera://embedded", request);
    std::vector<std::vector<const ktsl::Serializable*>> sessions = {
        {&frames}, {&ping}, {&test}, {&cameras}, {&images}, {&unknown},
        {&images, &frames, &ping, &test, &cameras, &unknown},
    };
    int n = 0;
    for (const auto& session : sessions) {
        ktsl::MemIOStream bytes;
        for (const ktsl::Serializable* v : session) bytes.write(*v);
        std::ofstream(dir + "/seed_" + std::to_string(n++), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.unreadData()), bytes.getUnreadLength());
    }
}

}  // namespace fuzz
