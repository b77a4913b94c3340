// OutputProxy: opening the server and answering the viewers' commands.
#include "OutputProxy.h"

#include <unistd.h>

#include <climits>

#include "CameraCmd.h"
#include "CameraMap.h"
#include "TrackerCmd.h"

OutputProxy::OutputProxy(unsigned port, kttl::Logger* logger) : CameraInterface(kPollMs), m_port(port) {
    CameraInterface::setLogger(logger);
    if (port > 65535) {
        log(kttl::LogType::WARN, kttl::String::format("Port %u is out of range; remote viewers are off", port));
        return;
    }
    if (port == 0) return;
    log(kttl::LogType::INFO, kttl::String::format("Listening on port %d", static_cast<int>(port)));
    m_server.reset(new ktsl::NetStreamServer(port, 0xFFFFFFFF, kQueueLength, kPollMs));
    m_server->setLogger(logger);
    addStreamServer(kttl::SmartPtr<ktsl::StreamServer>(m_server), false);
    startStreamServers();
    start();
}

OutputProxy::~OutputProxy() { shutdown(); }

void OutputProxy::setLogger(kttl::Logger* logger) {
    // The server thread reads its logger unguarded: handing the same logger over again changes nothing.
    if (logger == getLogger()) return;
    CameraInterface::setLogger(logger);
    if (m_server) m_server->setLogger(logger);
}

unsigned OutputProxy::getListeningPort() const {
    return m_server && m_server->isListening() ? m_server->getPort() : 0;
}

void OutputProxy::setStreamLimits(uint32_t incompleteMs, uint32_t stallMs) {
    if (m_server) m_server->setStreamLimits(incompleteMs, stallMs);
}

const ktsl::Set<kttl::String>& OutputProxy::supportedImages() {
    static const ktsl::Set<kttl::String> names = [] {
        ktsl::Set<kttl::String> s;
        for (const char* n : {"Activity Image", "Background Image", "Foreground Image", "Native Image",
                              "Peripheral Image", "Processed Image", "Exclusion Mask"})
            s.insert(n);
        return s;
    }();
    return names;
}

bool OutputProxy::handleCommand(const ktsl::Command& command, const ktsl::IOStream* stream, ktsl::Result& result) {
    switch (command.getType() & 0xFFFF) {
        case CameraCmd::kType: {
            const CameraCmd cmd(command);
            if (cmd.getSubType() != CameraCmd::kGetCameraMap) {
                result.setCode(ktsl::Result::kFailure);
                return true;
            }
            char host[HOST_NAME_MAX + 1] = {0};
            if (gethostname(host, sizeof host - 1) != 0) host[0] = 0;
            CameraMap map;
            map.addCamera(host, "Embedded");
            result.getObjects().write(map);
            result.setCode(ktsl::Result::kSuccess);
            return true;
        }
        case ConnectionCmd::kType:
            handleConnectionCmd(ConnectionCmd(command), stream, result);
            return true;
        case TrackerCmd::kType: {
            const TrackerCmd cmd(command);
            if (cmd.getSubType() != TrackerCmd::kListImages) {
                result.setCode(ktsl::Result::kFailure);
                return true;
            }
            result.getObjects().write(supportedImages());
            result.setCode(ktsl::Result::kSuccess);
            return true;
        }
        default:
            result.setCode(ktsl::Result::kUnsupported);
            result.setMessage("Embedded SDK cannot handle this command.");
            return false;
    }
}

bool OutputProxy::handleConnectionCmd(const ConnectionCmd& command, const ktsl::IOStream* stream, ktsl::Result& result) {
    if (command.getSubType() == ConnectionCmd::kTest) {
        result.setCode(ktsl::Result::kSuccess);
        return true;
    }
    if (command.getSubType() != ConnectionCmd::kFrameRequest) {
        result.setCode(ktsl::Result::kUnsupported);
        result.setMessage("Unsupported ConnectionCmd sub-type");
        return true;
    }
    log(kttl::LogType::INFO, "Requesting frames ... ");
    FrameRequest request;
    if (!command.getFrameRequest(request)) {
        result.setCode(ktsl::Result::kFailure);
        result.setMessage("The frame request is missing or unreadable.");
        return true;
    }
    // Only names the tracker command lists are kept: a viewer cannot grow the wanted set at will.
    ktsl::Set<kttl::String> known;
    for (const kttl::String& name : request.getImages())
        if (supportedImages().count(name)) known.insert(name);
    request.getImages().swap(known);
    applyFrameRequest(stream, request, result);
    return true;
}
