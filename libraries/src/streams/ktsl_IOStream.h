// ktsl::IOStream: an object stream over a connection: records in, records out.
#pragma once

#include <cstdint>

#include "kttl_SmartPtr.h"
#include "ktsl_Serializable.h"
#include "ktsl_StreamData.h"

namespace ktsl {

// Writers only enqueue (a write never waits for the peer); readers take whole records. Every
// operation is safe to call from the owner's threads at the same time as the stream's own
// sending thread.
class IOStream {
public:
    virtual ~IOStream();

    // Enqueues the record of `value`; returns its size (payload + 8). Throws when the stream is
    // closed or has failed, or the outgoing queue is full (the stream is then failed); nothing is
    // queued then.
    virtual unsigned write(const Serializable& value) = 0;
    // Enqueues a record built elsewhere (shared, not copied: several streams may send one buffer).
    // Throws as write().
    virtual void writeData(const kttl::SmartPtr<StreamData>& record) = 0;
    // Nothing to do for streams whose writes are already on their way; kept for callers that
    // batch.
    virtual void flush() {}

    // Type id of the next complete record, waiting at most the stream's read wait for one; 1
    // (end of stream) when the peer has gone or the stream has failed.
    virtual unsigned short getNextType() = 0;
    // True while no complete record is waiting; never waits.
    virtual bool isEmpty() = 0;
    // Waits up to `ms` for a complete record; false on time-out or failure.
    virtual bool waitForRecord(uint32_t ms) = 0;
    // Takes the next record (waiting as getNextType) and keeps its type and payload as the record
    // last read; returns its size (payload + 8). Throws on end of stream or failure.
    virtual unsigned readObject() = 0;
    // readObject() into `value`: the type ids must match. Returns the record size.
    virtual unsigned read(Serializable& value) = 0;
    // Drops the next record; returns its size.
    virtual unsigned skip() = 0;

    // Sends the end-of-stream record and waits until it is on its way; true when it was.
    virtual bool sendEOF() = 0;
    // Ends the connection; later writes throw. Idempotent.
    virtual void close() = 0;
    // The connection failed, was closed, or the peer ended it; a failed stream stays failed.
    virtual bool hasFailed() const = 0;
    // Records of `type` queued and not yet fully sent.
    virtual unsigned queuedRecords(unsigned short type) const = 0;

    // The record last read.
    virtual unsigned short getLastType() const = 0;
    virtual const unsigned char* getLastPayload() const = 0;
    virtual unsigned getLastLength() const = 0;
};

}  // namespace ktsl
