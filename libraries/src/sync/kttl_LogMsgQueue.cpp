// The logger's line ring under its mutex.
#include "kttl_LogMsgQueue.h"

namespace kttl {

LogMsgQueue::LogMsgQueue(size_t capacity) : m_ring(capacity) {}

bool LogMsgQueue::push(LogType type, const String& text) {
    ktst::MutexLock lock(m_mutex, LOCK_TIMEOUT_MS);
    if (!lock.locked()) return false;
    m_ring.pushOverwrite(LogMsgPtr(type, text.data(), text.size()));
    return true;
}

LogMsgPtr LogMsgQueue::peek() {
    LogMsgPtr line;
    ktst::MutexLock lock(m_mutex, LOCK_TIMEOUT_MS);
    if (lock.locked()) m_ring.peek(line);
    return line;
}

LogMsgPtr LogMsgQueue::pop() {
    LogMsgPtr line;
    ktst::MutexLock lock(m_mutex, LOCK_TIMEOUT_MS);
    if (lock.locked()) m_ring.pop(line);
    return line;
}

bool LogMsgQueue::pop(const LogMsgPtr& expected) {
    ktst::MutexLock lock(m_mutex, LOCK_TIMEOUT_MS);
    if (!lock.locked()) return false;
    if (!m_ring.empty() && m_ring.front() == expected) m_ring.pop();
    return true;
}

size_t LogMsgQueue::size() {
    ktst::MutexLock lock(m_mutex, LOCK_TIMEOUT_MS);
    return lock.locked() ? m_ring.size() : 0;
}

}  // namespace kttl
