// Detached threads: creation, the guarded body, stopping and cancelling.
#include "ktst_BasicThread.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>


namespace ktst {

namespace {
// Time a cancelled thread gets to unwind before stop() gives up on it.
constexpr uint32_t kCancelGraceMs = 500;
// Time the destructor gives a still running thread to end.
constexpr uint32_t kDestructorStopMs = 5000;
}  // namespace

uint32_t toWaitMs(const kttl::ElapsedTime& timeout) {
    const int64_t ms = timeout.getMilliseconds();
    if (ms <= 0) return 0;
    if (ms >= static_cast<int64_t>(WAIT_INFINITE)) return WAIT_INFINITE;
    return static_cast<uint32_t>(ms);
}

kttl::ElapsedTime fromWaitMs(uint32_t ms) { return kttl::ElapsedTime(static_cast<int64_t>(ms)); }

// Everything a thread needs after its object may be gone: the finished event and the count of
// running threads are shared, not members.
// Guards the handles: a thread clears its alive flag under the lock before it exits, so a handle
// whose flag is set never belongs to a finished thread and can be cancelled safely.
struct BasicThreadBase::Registry {
    std::mutex lock;
    std::vector<pthread_t> threads;
    std::vector<bool> alive;
    explicit Registry(unsigned n) : threads(n), alive(n, false) {}
};

struct BasicThreadBase::Launch {
    BasicThreadBase* self;
    unsigned index;
    Event finished;
    std::shared_ptr<std::atomic<unsigned>> running;
    std::shared_ptr<Registry> registry;
};

BasicThreadBase::BasicThreadBase(unsigned count)
    : m_count(count ? count : 1), m_registry(std::make_shared<Registry>(m_count)) {}

BasicThreadBase::~BasicThreadBase() {
    if (!isRunning()) return;
    if (isOwnThread()) {
        // Deleting itself from its body: the thread ends right after; nothing to wait for.
        m_stop.signal();
        return;
    }
    if (!stop(fromWaitMs(kDestructorStopMs))) {
        std::fprintf(stderr, "~BasicThread() - Could not stop the thread.\n");
        std::fflush(stderr);
        std::abort();
    }
}

// The cancellation unwind carries no C++ object, so binding the __forced_unwind handler's
// reference looks like a null reference to the undefined-behaviour sanitizer; it is the documented
// way to let cancellation through a catch-all.
__attribute__((no_sanitize("null"))) void* BasicThreadBase::run(void* arg) {
    std::unique_ptr<Launch> launch(static_cast<Launch*>(arg));
    // Runs on normal return, on a caught exception and on cancellation unwinding alike, and uses
    // shared state only: the object may already be gone.
    struct Finish {
        Launch* l;
        ~Finish() {
            {
                std::lock_guard<std::mutex> lock(l->registry->lock);
                l->registry->alive[l->index] = false;
            }
            if (l->running->fetch_sub(1) == 1) l->finished.signal();
        }
    } finish{launch.get()};
    try {
        launch->self->process(static_cast<int>(launch->index));
    } catch (abi::__forced_unwind&) {
        throw;  // cancellation must unwind to the thread's end
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Caught exception in ktst::BasicThread: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Caught unknown exception in ktst::BasicThread.\n");
    }
    return nullptr;
}

bool BasicThreadBase::start() {
    std::lock_guard<std::recursive_mutex> control(m_control);
    if (!m_finished.isSignalled()) return false;
    m_finished.reset();
    m_stop.reset();
    auto running = std::make_shared<std::atomic<unsigned>>(m_count);
    bool ok = true;
    for (unsigned i = 0; i < m_count; ++i) {
        Launch* launch = new Launch{this, i, m_finished, running, m_registry};
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        std::unique_lock<std::mutex> lock(m_registry->lock);
        const int rc = pthread_create(&m_registry->threads[i], &attr, &BasicThreadBase::run, launch);
        pthread_attr_destroy(&attr);
        if (rc == 0) {
            m_registry->alive[i] = true;
            continue;
        }
        lock.unlock();
        delete launch;
        ok = false;
        // The threads never created count as finished; ask the created ones to end.
        m_stop.signal();
        const unsigned missing = m_count - i;
        if (running->fetch_sub(missing) == missing) m_finished.signal();
        break;
    }
    return ok;
}

bool BasicThreadBase::isOwnThread() const {
    std::lock_guard<std::mutex> lock(m_registry->lock);
    const pthread_t me = pthread_self();
    for (unsigned i = 0; i < m_count; ++i)
        if (m_registry->alive[i] && pthread_equal(m_registry->threads[i], me)) return true;
    return false;
}

bool BasicThreadBase::stop(const kttl::ElapsedTime& timeout) {
    m_stop.signal();
    if (isOwnThread()) return false;
    if (m_finished.wait(toWaitMs(timeout))) return true;
    {
        std::lock_guard<std::recursive_mutex> control(m_control);
        std::lock_guard<std::mutex> lock(m_registry->lock);
        for (unsigned i = 0; i < m_count; ++i) {
            if (!m_registry->alive[i]) continue;
            try {
                pthread_cancel(m_registry->threads[i]);
            } catch (...) {
                std::fprintf(stderr, "ktst::BasicThread::stop() - Caught exception during pthread_cancel.\n");
            }
        }
    }
    return m_finished.wait(kCancelGraceMs);
}

}  // namespace ktst
