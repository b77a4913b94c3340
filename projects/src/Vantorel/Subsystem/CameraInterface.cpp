// CameraInterface: viewer bookkeeping, the worker round, heartbeats and the frame path.
#include "CameraInterface.h"

#include <algorithm>
#include <exception>

#include "kt_tick.h"
#include "kttl_TimeStamp.h"
#include "ktsl_Ping.h"

namespace {
bool contains(const std::vector<const ktsl::IOStream*>& v, const ktsl::IOStream* s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}
// Tick comparison that stays right across the 32-bit wrap.
bool isLater(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) > 0; }
}  // namespace

CameraInterface::CameraInterface(uint32_t pollMs)
    : m_pollMs(pollMs), m_position(std::make_pair(kttl::ElapsedTime(), false)) {}

CameraInterface::~CameraInterface() { shutdown(); }

void CameraInterface::shutdown() {
    stopStreamServers();
    if (isRunning()) stop(kttl::ElapsedTime(kStopWaitMs));
    clearListeners();
}

void CameraInterface::process() {
    m_lastHeartbeat = kt_tickcount();
    for (;;) {
        if (getStopEvent().wait(m_pollMs)) return;
        readListeners();
        const int32_t interval = m_heartbeatInterval.load();
        const uint32_t now = kt_tickcount();
        if (interval != -1 && now - m_lastHeartbeat >= static_cast<uint32_t>(interval)) {
            sendHeartbeats();
            m_heartbeatInterval.store(m_videoLoss.isSignalled() ? kVideoLossHeartbeatMs : kHeartbeatMs);
            m_lastHeartbeat = now;
        }
    }
}

bool CameraInterface::addStream(kttl::SmartPtr<ktsl::IOStream>& stream) {
    if (!stream) return false;
    kttl::SmartPtr<ktsl::IOStream> evicted;
    {
        auto listeners = m_listeners.getWritePtr(kHolderWaitMs);
        if (!listeners) return false;
        if (listeners->size() >= kMaxListeners) {
            auto oldest = std::find_if(listeners->begin(), listeners->end(), [](const Listener& l) { return !l.frames; });
            if (oldest == listeners->end()) return false;
            evicted = oldest->stream;
            listeners->erase(oldest);
        }
        try {
            stream->write(Heartbeat());
            stream->flush();
        } catch (const std::exception& e) {
            log(kttl::LogType::INFO, kttl::String::format("Greeting a new client: %s", e.what()));
            return false;
        }
        Listener l;
        l.stream = stream;
        l.connected = kt_tickcount();
        listeners->push_back(std::move(l));
    }
    if (evicted) evicted->close();
    return true;
}

void CameraInterface::readListeners() {
    m_snapshot.clear();
    {
        auto listeners = m_listeners.getWritePtr(kHolderWaitMs);
        if (!listeners) return;
        for (const Listener& l : *listeners) m_snapshot.push_back(l.stream);
    }
    std::vector<const ktsl::IOStream*> dead, valid;
    for (const auto& stream : m_snapshot) {
        bool validRecord = false;
        if (!readFromStream(stream, validRecord)) dead.push_back(stream.get());
        if (validRecord) valid.push_back(stream.get());
    }
    std::vector<kttl::SmartPtr<ktsl::IOStream>> closing;
    {
        auto listeners = m_listeners.getWritePtr(kHolderWaitMs);
        if (!listeners) return;
        const uint32_t now = kt_tickcount();
        for (auto it = listeners->begin(); it != listeners->end();) {
            if (contains(valid, it->stream.get())) it->validSeen = true;
            const bool silent = !it->validSeen && now - it->connected >= kFirstRecordMs;
            if (silent || contains(dead, it->stream.get()) || it->stream->hasFailed()) {
                closing.push_back(it->stream);
                it = listeners->erase(it);
            } else {
                ++it;
            }
        }
        // Requests change only here (a viewer gone) or in applyFrameRequest: a quiet round builds
        // no set, so the worker allocates nothing while the viewers stay.
        if (!closing.empty()) refreshRequested(*listeners);
    }
    m_snapshot.clear();
    // Closing joins sending threads: outside the holder, so the frame path never waits on it.
    for (auto& stream : closing) stream->close();
}

bool CameraInterface::readFromStream(const kttl::SmartPtr<ktsl::IOStream>& stream, bool& validRecord) {
    try {
        for (unsigned i = 0; i < kRecordsPerRound; ++i) {
            if (stream->hasFailed()) return false;
            if (stream->isEmpty()) return !stream->hasFailed();
            const unsigned short type = stream->getNextType();
            if (type == ktsl::TypeId::Command) {
                ktsl::Command command;
                stream->read(command);
                validRecord = true;
                ktsl::Result result;
                result.setCommand(command);
                if (!handleCommand(command, stream.get(), result)) {
                    result.setCode(ktsl::Result::kUnsupported);
                    result.setMessage("Unsupported command.");
                } else if (result.getCode() < 0 || result.getCode() == ktsl::Result::kWarning) {
                    log(kttl::LogType::INFO, result.getMessage());
                }
                result.setCommand(command);
                stream->write(result);
            } else if (type == ktsl::TypeId::Ping) {
                ktsl::Ping ping;
                stream->read(ping);
                validRecord = true;
                stream->write(Heartbeat());
            } else if (type == ktsl::TypeId::EndOfFile) {
                return false;
            } else {
                stream->skip();
            }
        }
        return true;
    } catch (const std::exception& e) {
        log(kttl::LogType::INFO, kttl::String::format("Reading from stream: %s", e.what()));
    } catch (...) {
        log(kttl::LogType::INFO, "Unknown error while reading from stream");
    }
    return false;
}

void CameraInterface::sendHeartbeats() {
    try {
        Heartbeat beat;
        beat.setAttribute("video-loss", m_videoLoss.isSignalled() ? "true" : "false");
        {
            auto position = m_position.getReadPtr(0);
            if (position) {
                beat.setAttribute("video-position", position->first.toHumanString(false));
                beat.setAttribute("video-finished", position->second ? "true" : "false");
            }
        }
        kttl::SmartPtr<ktsl::StreamData> record(new ktsl::StreamData);
        record->assign(beat);
        auto listeners = m_listeners.getWritePtr(kHolderWaitMs);
        if (!listeners) return;
        for (Listener& l : *listeners) {
            try {
                l.stream->writeData(record);
            } catch (const std::exception&) {
                // a failed viewer is dropped on the next round
            }
        }
    } catch (...) {
        log(kttl::LogType::INFO, "Unknown error while sending heartbeats to client");
    }
}

void CameraInterface::refreshRequested(const std::list<Listener>& listeners) {
    ktsl::Set<kttl::String> names;
    unsigned framesWanted = 0;
    for (const Listener& l : listeners) {
        if (!l.frames) continue;
        ++framesWanted;
        names.insert(l.images.begin(), l.images.end());
    }
    m_frameListeners.store(framesWanted);
    auto requested = m_requested.getWritePtr(kHolderWaitMs);
    if (requested && *requested != names) requested->swap(names);
}

void CameraInterface::applyFrameRequest(const ktsl::IOStream* stream, const FrameRequest& request, ktsl::Result& result) {
    auto listeners = m_listeners.getWritePtr(kHolderWaitMs);
    if (!listeners || !stream) {
        result.setCode(ktsl::Result::kTimeout);
        result.setMessage("Unable to obtain lock on listeners.");
        return;
    }
    auto it = std::find_if(listeners->begin(), listeners->end(),
                           [&](const Listener& l) { return l.stream.get() == stream; });
    if (it == listeners->end()) {
        result.setCode(ktsl::Result::kFailure);
        result.setMessage("Unable to find listener.");
        return;
    }
    it->tracks = request.getTracks();
    it->images = request.getImages();
    it->rate = request.getFrameRate();
    it->resolution = request.getResolution();
    it->nextDue = 0;
    it->interval = it->rate > 0 ? std::min<uint32_t>(1000u / it->rate, 65535u) : 1u;
    it->frames = true;
    refreshRequested(*listeners);
    result.setCode(ktsl::Result::kSuccess);
}

void CameraInterface::updateFrameListeners(Frame& frame) {
    // Nobody asked for frames: no lock, no work.
    if (m_frameListeners.load() == 0) return;
    auto listeners = m_listeners.getWritePtr(kFrameHolderWaitMs);
    if (!listeners) return;
    const uint32_t now = kt_tickcount();
    m_records.beginFrame();
    for (Listener& l : *listeners) {
        if (!l.frames || l.stream->hasFailed()) continue;
        const bool early = l.nextDue != 0 && isLater(l.nextDue, now);
        if (early || l.stream->queuedRecords(ktsl::TypeId::Frame) >= kMaxFramesQueued) {
            l.pending |= frame.getFrameFlags();
            continue;
        }
        const uint32_t carried = l.pending & kPendingFlagMask;
        try {
            l.stream->writeData(m_records.recordFor(frame, l.images, l.tracks, carried));
            l.pending = 0;
            m_framesQueued.fetch_add(1);
        } catch (const std::exception& e) {
            log(kttl::LogType::INFO, kttl::String::format("Sending frame to client: %s", e.what()));
        } catch (...) {
            log(kttl::LogType::INFO, "Unknown error while sending frame to client");
        }
        if (now == 0 || l.nextDue == 0) {
            l.nextDue = now + l.interval;
        } else {
            l.nextDue += l.interval;
            if (!isLater(l.nextDue, now)) l.nextDue = now + l.interval;
        }
    }
}

bool CameraInterface::getRequestedImages(ktsl::Set<kttl::String>& names, ktvl::Resolution& resolution) {
    if (m_frameListeners.load() == 0) {
        if (!names.empty()) names.clear();
        resolution.set(-1, -1);
        return true;
    }
    {
        auto listeners = m_listeners.getWritePtr(kFrameHolderWaitMs);
        if (!listeners) return false;
        ktvl::Resolution largest;
        largest.set(-1, -1);
        for (const Listener& l : *listeners)
            if (l.frames) largest = ktvl::Resolution::getMax(largest, l.resolution);
        resolution = largest;
    }
    auto requested = m_requested.getReadPtr(kHolderWaitMs);
    if (!requested) return false;
    if (names != *requested) names = *requested;
    return true;
}

void CameraInterface::setLogger(kttl::Logger* logger) {
    m_sharedLogger.store(logger);
    LogInterface::setLogger(logger);
}

bool CameraInterface::log(kttl::LogType type, const kttl::String& message) {
    kttl::Logger* logger = m_sharedLogger.load();
    return logger ? logger->log(type, kttl::String(message)) : false;
}

size_t CameraInterface::listenerCount() {
    auto listeners = m_listeners.getWritePtr(kHolderWaitMs);
    return listeners ? listeners->size() : 0;
}

void CameraInterface::clearListeners() {
    std::list<Listener> gone;
    {
        auto listeners = m_listeners.getWritePtr(kHolderWaitMs);
        if (!listeners) return;
        gone.swap(*listeners);
        refreshRequested(*listeners);
    }
    for (Listener& l : gone) l.stream->close();
}

bool CameraInterface::addStreamServer(const kttl::SmartPtr<ktsl::StreamServer>& server, bool startNow) {
    if (!server) return false;
    auto servers = m_servers.getWritePtr(kHolderWaitMs);
    if (!servers) return false;
    server->setListener(this);
    servers->push_back(server);
    return !startNow || server->start();
}

bool CameraInterface::startStreamServers() {
    auto servers = m_servers.getWritePtr(kHolderWaitMs);
    if (!servers) return false;
    bool ok = true;
    for (auto& s : *servers)
        if (!s->isRunning()) ok = s->start() && ok;
    return ok;
}

void CameraInterface::stopStreamServers() {
    auto servers = m_servers.getWritePtr(kHolderWaitMs);
    if (!servers) return;
    for (auto& s : *servers) {
        s->stop(kttl::ElapsedTime(kStopWaitMs));
        s->setListener(nullptr);
    }
}

bool CameraInterface::deleteStreamServer(int index) {
    auto servers = m_servers.getWritePtr(kHolderWaitMs);
    if (!servers || index < 0 || static_cast<size_t>(index) >= servers->size()) return false;
    (*servers)[index]->stop(kttl::ElapsedTime(kStopWaitMs));
    (*servers)[index]->setListener(nullptr);
    servers->erase(servers->begin() + index);
    return true;
}

void CameraInterface::clearStreamServers() {
    stopStreamServers();
    auto servers = m_servers.getWritePtr(kHolderWaitMs);
    if (servers) servers->clear();
}

void CameraInterface::setVideoLoss(bool lost) {
    if (lost)
        m_videoLoss.signal();
    else
        m_videoLoss.reset();
}

bool CameraInterface::setVideoPosition(const kttl::ElapsedTime& position, bool finished) {
    auto holder = m_position.getWritePtr(kHolderWaitMs);
    if (!holder) return false;
    *holder = std::make_pair(position, finished);
    return true;
}
