// Coordinator alarm output: which events become alarms of the camera, and the last-alarm file.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "Coordinator.h"
#include "kt_tick.h"

namespace {

// Writes `text` as the whole content of `path`, or leaves the old file as it was: the text goes to a
// temporary file beside it, which is then renamed over it, so a reader (or a power cut) never sees a
// torn or empty file. False when any step fails.
bool replaceFile(const std::string& path, const std::string& text) {
    if (path.empty() || path.size() > 4000) return false;
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const bool written = done == text.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string Coordinator::alarmFilePath() {
    const char* home = std::getenv("CS_APP_HOME");
    return std::string(home != nullptr ? home : "") + "/html/event_time.json";
}

void Coordinator::setEventGracePeriod(const kttl::ElapsedTime& period) {
    const int64_t ms = period.getMilliseconds();
    // Negative periods count as 0; longer than the counter holds counts as never.
    const uint32_t duration = ms <= 0 ? 0u : (ms >= kttl::Countdown::kInfinite ? kttl::Countdown::kInfinite
                                                                                : static_cast<uint32_t>(ms));
    mGracePeriod = kttl::Countdown(duration, kt_tickcount() - duration);
}

void Coordinator::onEvent(const Event& event) {
    const uint32_t now = kt_tickcount();
    const kttl::Integer uid(static_cast<int32_t>(event.getUID()));
    auto known = mSuppressed.find(uid);
    if (known != mSuppressed.end()) {
        known->second.restartAt(now);  // still being reported: no second alarm
    } else if (mGracePeriod.getDuration() != kttl::Countdown::kInfinite && mGracePeriod.isExpiredAt(now)) {
        const int result = mSender(mPayload.c_str(), 0, static_cast<uint32_t>(mPayload.size()));
        if (result != 0) {
            log(kttl::ERR, kttl::String::format("Error sending APP event: %d", result));
            return;
        }
        std::set<int> ids;
        event.getObjectIDs(event.getOrigin(), ids);
        kttl::String joined;
        for (int id : ids) {
            if (!joined.empty()) joined += ",";
            joined += std::to_string(id);
        }
        ++mAlarmCount;
        log(kttl::INFO, kttl::String::format("Sending Event %d (Confidence %d) for Object ID(s) %s", mAlarmCount,
                                             static_cast<int>(event.getConfidence()), joined.c_str()));
        char line[160];
        std::snprintf(line, sizeof line, "{\"event_time\":\"%s\",\"event_id\":%d}\n",
                      event.getStart().first.toString("ISO8601").c_str(), mAlarmCount);
        replaceFile(mAlarmFile, line);  // an unwritable file is skipped: the alarm still counts

        if (mSuppressed.size() >= kMaxSuppressed) {
            // Drop the entry that would expire first (the longest unreported).
            auto oldest = mSuppressed.begin();
            for (auto it = mSuppressed.begin(); it != mSuppressed.end(); ++it) {
                if (it->second.elapsedAt(now) > oldest->second.elapsedAt(now)) oldest = it;
            }
            mSuppressed.erase(oldest);
        }
        mSuppressed.emplace(uid, kttl::Countdown(kSuppressMs, now));
        mGracePeriod.restartAt(now);
    }
    // Events not reported for 15 s leave the map, in uid order.
    for (auto it = mSuppressed.begin(); it != mSuppressed.end();) {
        it = it->second.isExpiredAt(now) ? mSuppressed.erase(it) : std::next(it);
    }
}
