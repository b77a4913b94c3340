// OutputProxy: the camera application's frame server for remote viewers.
#pragma once

#include "CameraInterface.h"
#include "ConnectionCmd.h"
#include "kttl_Logger.h"
#include "ktsl_NetStreamServer.h"

// Opens the TCP server on the given port (0: none) and answers the viewers' commands: the camera
// map (camera command, subtype 7), connection tests and frame requests (connection command,
// subtypes 0 and 2) and the list of images a viewer may ask for (tracker command, subtype 0).
class OutputProxy : public CameraInterface {
public:
    static constexpr uint32_t kPollMs = 100;
    // Records of one viewer waiting to be sent.
    static constexpr unsigned kQueueLength = 50;

    // A port above 65535 is refused with a warning (no server), never wrapped.
    OutputProxy(unsigned port, kttl::Logger* logger);
    ~OutputProxy() override;

    void setLogger(kttl::Logger* logger) override;
    unsigned getPort() const { return m_port; }
    // The port the server listens on (0 while it does not).
    unsigned getListeningPort() const;
    // Limits for connections accepted from now on (0 keeps the default): a record left incomplete
    // for `incompleteMs`, or a socket taking no byte for `stallMs`, drops the viewer.
    void setStreamLimits(uint32_t incompleteMs, uint32_t stallMs);

    bool handleCommand(const ktsl::Command& command, const ktsl::IOStream* stream, ktsl::Result& result) override;
    bool handleConnectionCmd(const ConnectionCmd& command, const ktsl::IOStream* stream, ktsl::Result& result);

    // The images a viewer may request, in the order the tracker command lists them.
    static const ktsl::Set<kttl::String>& supportedImages();

private:
    unsigned m_port;
    kttl::SmartPtr<ktsl::NetStreamServer> m_server;
};
