// CameraInterface: the connected viewers of a camera: their commands, heartbeats and frames.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <utility>
#include <vector>

#include "Frame.h"
#include "FrameRecords.h"
#include "FrameRequest.h"
#include "Heartbeat.h"
#include "LogInterface.h"
#include "kttl_ElapsedTime.h"
#include "kttl_SmartPtr.h"
#include "ktsl_Command.h"
#include "ktsl_IOStream.h"
#include "ktsl_Result.h"
#include "ktsl_Set.h"
#include "ktsl_StreamListener.h"
#include "ktsl_StreamServer.h"
#include "ktst_Event.h"
#include "ktst_SimpleThread.h"
#include "ktst_Vault.h"
#include "ktvl_Resolution.h"

// The worker thread reads the viewers' records and sends heartbeats; the servers' threads add
// viewers; the pipeline thread asks what is wanted and hands frames over. Socket I/O never happens
// under the listeners holder (reads gather without waiting, writes only enqueue), so the frame
// path waits for nothing but short bookkeeping. Hostile viewers are bounded: at most kMaxListeners
// connections (a new one evicts the oldest that has not asked for frames), a connection without a
// valid record after kFirstRecordMs is closed, at most kMaxFramesQueued frame records wait per
// viewer (frames due meanwhile are skipped for it, their flag bits kept pending).
class CameraInterface : public ktst::SimpleThread, public ktsl::StreamListener, public LogInterface {
public:
    static constexpr uint32_t kHolderWaitMs = 15000;
    static constexpr uint32_t kFrameHolderWaitMs = 500;
    static constexpr unsigned kMaxListeners = 16;
    static constexpr uint32_t kFirstRecordMs = 10000;
    static constexpr unsigned kMaxFramesQueued = 2;
    static constexpr uint32_t kHeartbeatMs = 15000;
    static constexpr uint32_t kVideoLossHeartbeatMs = 1000;
    // Records taken from one viewer per worker round, so that one flooding viewer cannot starve
    // the others.
    static constexpr unsigned kRecordsPerRound = 16;
    // Flag bits of skipped frames carried to the next frame a viewer receives.
    static constexpr uint32_t kPendingFlagMask = 0xFF00;
    static constexpr uint32_t kStopWaitMs = 1000;

    // `pollMs`: the worker's wait between rounds.
    explicit CameraInterface(uint32_t pollMs);
    ~CameraInterface() override;

    // The worker round: wait for the poll time (return when stopping), read the viewers, send
    // heartbeats when due.
    void process() override;
    // Sends `frame` to every viewer that asked for frames and is due (see the class comment).
    virtual void updateFrameListeners(Frame& frame);
    // Takes a connection accepted by a server: greets it with a heartbeat and lists it. False when
    // the holder cannot be had, the greeting cannot be queued, or every slot is taken by viewers
    // that asked for frames.
    bool addStream(kttl::SmartPtr<ktsl::IOStream>& stream) override;
    // Answers one command; false when it is not supported (the caller then answers -4).
    virtual bool handleCommand(const ktsl::Command& command, const ktsl::IOStream* stream, ktsl::Result& result) = 0;

    // Registers a server; with `startNow` it is started at once, else by startStreamServers().
    bool addStreamServer(const kttl::SmartPtr<ktsl::StreamServer>& server, bool startNow);
    bool startStreamServers();
    void stopStreamServers();
    bool deleteStreamServer(int index);
    void clearStreamServers();
    // Closes and forgets every viewer.
    void clearListeners();

    void setVideoLoss(bool lost);
    bool setVideoPosition(const kttl::ElapsedTime& position, bool finished);
    // The union of the images the viewers that asked for frames want (`names` is assigned only when
    // it differs) and the largest resolution they asked for, from -1 x -1. False when a holder
    // cannot be had.
    bool getRequestedImages(ktsl::Set<kttl::String>& names, ktvl::Resolution& resolution);

    // The worker and server threads log while the owner may hand over its logger: the pointer they
    // read is kept atomic.
    void setLogger(kttl::Logger* logger) override;
    bool log(kttl::LogType type, const kttl::String& message) override;

    size_t listenerCount();
    // Frames handed to viewers' queues since construction.
    uint64_t framesQueued() const { return m_framesQueued.load(); }
    // Overrides the heartbeat interval (ms; -1 stops heartbeats), for instance at start.
    void setHeartbeatInterval(int32_t ms) { m_heartbeatInterval.store(ms); }

protected:
    struct Listener {
        kttl::SmartPtr<ktsl::IOStream> stream;
        uint32_t nextDue = 0;  // tick; 0: at once
        uint32_t interval = 33;
        uint16_t rate = 30;
        ktsl::Set<kttl::String> images;
        bool tracks = false;
        bool frames = false;
        uint32_t pending = 0;
        ktvl::Resolution resolution;
        uint32_t connected = 0;  // tick
        bool validSeen = false;
    };

    // Applies a frame request to the viewer of `stream`; fills `result` (0, or -2 without the
    // holder or the stream, -1 "Unable to find listener.").
    void applyFrameRequest(const ktsl::IOStream* stream, const FrameRequest& request, ktsl::Result& result);
    // Ends the worker, the servers and the viewers; derived destructors call it first, while their
    // handleCommand still exists.
    void shutdown();

    // One reading round over every viewer (what the worker does each poll): answers their
    // records and drops failed, ended or silent ones. Never waits on a socket.
    void readListeners();

private:
    // Reads what `stream` holds (at most kRecordsPerRound records); false drops the viewer.
    bool readFromStream(const kttl::SmartPtr<ktsl::IOStream>& stream, bool& validRecord);
    void sendHeartbeats();
    // Recomputes the requested-image union and the count of viewers asking for frames.
    void refreshRequested(const std::list<Listener>& listeners);

    const uint32_t m_pollMs;
    ktst::Vault<std::list<Listener>> m_listeners;
    ktst::Vault<ktsl::Set<kttl::String>> m_requested;
    ktst::Vault<std::vector<kttl::SmartPtr<ktsl::StreamServer>>> m_servers;
    std::atomic<kttl::Logger*> m_sharedLogger{nullptr};
    std::atomic<int32_t> m_heartbeatInterval{0};
    uint32_t m_lastHeartbeat = 0;
    ktst::Event m_videoLoss{true, false};
    ktst::Vault<std::pair<kttl::ElapsedTime, bool>> m_position;
    std::atomic<unsigned> m_frameListeners{0};
    std::atomic<uint64_t> m_framesQueued{0};
    FrameRecords m_records;  // pipeline thread only
    std::vector<kttl::SmartPtr<ktsl::IOStream>> m_snapshot;  // worker thread only
};
