// AlarmScore: alarms of a replay judged against the synthetic scene's known movers.
#include "AlarmScore.h"

#include <algorithm>
#include <cmath>

namespace {

const double kMinInView = 0.5;  // share of a mover's box inside the picture for it to count as seen

}  // namespace

AlarmScore::AlarmScore(const csdk_standin::SyntheticScene& scene, const RunCycle& cycle, int width, int height)
    : m_scene(scene),
      m_spy(*cycle.activity),
      m_minDistance(cycle.activity->getMinDistance()),
      m_minAgeMs(cycle.activity->getMinAge().getMilliseconds()),
      m_width(width),
      m_height(height),
      m_current(csdk_standin::SyntheticScene::kMoverCount, -1) {
    m_spy.reserveFrameSize(static_cast<unsigned>(width), static_cast<unsigned>(height));
}

void AlarmScore::observe(int64_t clipMs) {
    m_scene.moverBoxes(static_cast<double>(clipMs) / 1000.0, m_boxes);
    std::vector<Visible>& seen = m_seen[clipMs];
    for (const auto& m : m_boxes) {
        const double left = std::max(0.0, m.left), top = std::max(0.0, m.top);
        const double right = std::min<double>(m_width, m.right), bottom = std::min<double>(m_height, m.bottom);
        const double full = (m.right - m.left) * (m.bottom - m.top);
        const bool inView = right > left && bottom > top && (right - left) * (bottom - top) >= kMinInView * full;
        int& open = m_current[static_cast<size_t>(m.id)];
        if (!inView) {
            open = -1;
            continue;
        }
        const double cx = (left + right) / 2, cy = (top + bottom) / 2;
        if (open < 0) {
            open = static_cast<int>(m_passes.size());
            Pass pass;
            pass.mover = m.id;
            pass.firstSeenMs = clipMs;
            pass.firstX = cx;
            pass.firstY = cy;
            m_passes.push_back(pass);
        }
        Pass& pass = m_passes[static_cast<size_t>(open)];
        const bool inZone = m_spy.inZones(static_cast<int>(cx), static_cast<int>(cy));
        pass.inZoneEver = pass.inZoneEver || inZone;
        if (pass.qualifiedMs < 0 && inZone && clipMs - pass.firstSeenMs >= m_minAgeMs &&
            std::hypot(cx - pass.firstX, cy - pass.firstY) > m_minDistance) {
            pass.qualifiedMs = clipMs;
        }
        seen.push_back(Visible{open, left, top, right, bottom});
    }
}

AlarmScore::Result AlarmScore::score(const std::vector<ReplayAlarm>& alarms, int64_t endMs) {
    Result r;
    r.alarms = static_cast<int>(alarms.size());
    for (const ReplayAlarm& alarm : alarms) {
        auto frame = m_seen.find(alarm.clipMs);
        if (frame == m_seen.end()) continue;
        int hit = -1;
        for (const auto& b : alarm.boxes) {
            const double cx = b.x + b.width / 2.0, cy = b.y + b.height / 2.0;
            for (const Visible& v : frame->second) {
                if (cx >= v.left && cx <= v.right && cy >= v.top && cy <= v.bottom) hit = v.pass;
            }
        }
        if (hit < 0) continue;
        Pass& pass = m_passes[static_cast<size_t>(hit)];
        if (pass.alarmMs >= 0 || !pass.inZoneEver) continue;  // a repeat, or outside every zone
        pass.alarmMs = alarm.clipMs;
        ++r.rightAlarms;
    }
    std::vector<int64_t> delays;
    for (const Pass& pass : m_passes) {
        if (pass.qualifiedMs < 0 || pass.qualifiedMs > endMs - kMaxDelayMs) continue;
        ++r.qualifying;
        if (pass.alarmMs < 0 || pass.alarmMs > pass.qualifiedMs + kMaxDelayMs) continue;
        ++r.alarmed;
        delays.push_back(pass.alarmMs - pass.qualifiedMs);
    }
    if (!delays.empty()) {
        std::nth_element(delays.begin(), delays.begin() + delays.size() / 2, delays.end());
        r.medianDelayMs = delays[delays.size() / 2];
    }
    return r;
}
