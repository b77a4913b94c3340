// FrameRecords: sharing and recycling serialized frames across viewers.
#include "FrameRecords.h"

void FrameRecords::beginFrame() {
    ++m_frame;
    m_built = 0;
    for (size_t i = m_entries.size(); i-- > 0;) {
        if (m_frame - m_entries[i].usedFrame > kForgetAfterFrames) m_entries.erase(m_entries.begin() + i);
    }
}

kttl::SmartPtr<ktsl::StreamData> FrameRecords::freeBuffer(Entry& entry) {
    // A count of 1: only the pool holds it, no queue is sending it.
    for (const auto& buffer : entry.pool)
        if (buffer.getRefCount() == 1) return buffer;
    kttl::SmartPtr<ktsl::StreamData> fresh(new ktsl::StreamData);
    if (entry.pool.size() < kPoolPerRequest) entry.pool.push_back(fresh);
    return fresh;
}

const kttl::SmartPtr<ktsl::StreamData>& FrameRecords::recordFor(Frame& frame, const ktsl::Set<kttl::String>& images,
                                                                bool tracks, uint32_t extraFlags) {
    Entry* entry = nullptr;
    for (Entry& e : m_entries) {
        if (e.tracks == tracks && e.flags == extraFlags && e.images == images) {
            entry = &e;
            break;
        }
    }
    if (!entry) {
        m_entries.emplace_back();
        entry = &m_entries.back();
        entry->images = images;
        entry->tracks = tracks;
        entry->flags = extraFlags;
    }
    entry->usedFrame = m_frame;
    if (entry->builtFrame == m_frame && entry->current) return entry->current;

    // Drop the stale record first so that its buffer counts as free again.
    entry->current.reset();
    kttl::SmartPtr<ktsl::StreamData> buffer = freeBuffer(*entry);
    const uint32_t flags = frame.getFrameFlags();
    const bool included = frame.getObjectsIncluded();
    if (frame.getRequestedImages() != images) frame.setRequestedImages(images);
    frame.setObjectsIncluded(tracks);
    frame.setFrameFlags(flags | extraFlags);
    try {
        buffer->assign(frame);
    } catch (...) {
        frame.setFrameFlags(flags);
        frame.setObjectsIncluded(included);
        throw;
    }
    frame.setFrameFlags(flags);
    frame.setObjectsIncluded(included);
    entry->current = buffer;
    entry->builtFrame = m_frame;
    ++m_built;
    return entry->current;
}
