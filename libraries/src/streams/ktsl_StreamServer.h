// ktsl::StreamServer: a worker thread that accepts connections and hands them to a listener.
#pragma once

#include "LogInterface.h"
#include "kttl_SmartPtr.h"
#include "ktsl_IOStream.h"
#include "ktsl_StreamListener.h"
#include "ktst_Vault.h"
#include "ktst_WorkerThread.h"

namespace ktsl {

class StreamServer : public ktst::WorkerThread, public LogInterface {
public:
    // How long the hand-over waits for the listener cell.
    static constexpr uint32_t kListenerWaitMs = 15000;

    explicit StreamServer(uint32_t timeoutMs) : ktst::WorkerThread(timeoutMs) {}
    ~StreamServer() override;

    // Opens the listening endpoint; false when it cannot (the worker retries).
    virtual bool listen() = 0;
    virtual void stopListening() = 0;
    virtual bool isListening() const = 0;

    // The listener that receives accepted streams (not owned; null: streams are closed at once).
    // False when the cell cannot be had in time.
    bool setListener(StreamListener* listener);

protected:
    // Hands `stream` to the listener under the listener cell; closes it when there is no listener,
    // the cell cannot be had, or the listener refuses it. True when the listener took it.
    bool handOver(kttl::SmartPtr<IOStream>& stream);

private:
    ktst::Vault<StreamListener*> m_listener{nullptr};
};

}  // namespace ktsl
