// ktsl::StreamServer: the listener cell and the hand-over of accepted streams.
#include "ktsl_StreamServer.h"

namespace ktsl {

StreamServer::~StreamServer() = default;

bool StreamServer::setListener(StreamListener* listener) {
    auto cell = m_listener.getWritePtr(kListenerWaitMs);
    if (!cell) return false;
    *cell = listener;
    return true;
}

bool StreamServer::handOver(kttl::SmartPtr<IOStream>& stream) {
    bool taken = false;
    {
        auto cell = m_listener.getWritePtr(kListenerWaitMs);
        if (cell && *cell) taken = (*cell)->addStream(stream);
    }
    if (!taken) stream->close();
    return taken;
}

}  // namespace ktsl
