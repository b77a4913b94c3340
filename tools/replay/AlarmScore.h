// AlarmScore: alarms of a replay judged against the synthetic scene's known movers.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "ReplayRun.h"
#include "csdk_synthetic.h"

// A mover's pass through the picture (from entering to leaving) is one truth instance. It qualifies
// as the activity spy would judge a perfect track: at least half of it in view, centre in an
// inclusion zone, moved more than min-distance since it came into view, and in view for min-age.
// An alarm is right when one of its boxes lies on a pass (centre inside the mover's box) that has not
// had an alarm yet; a second alarm for the same pass, or one on no mover, is wrong.
class AlarmScore {
public:
    struct Result {
        int qualifying = 0;   // passes that qualified early enough to be alarmed before the end
        int alarmed = 0;      // ... of them with an alarm
        int alarms = 0;
        int rightAlarms = 0;
        int64_t medianDelayMs = 0;  // alarm time - qualifying time over the alarmed qualifying passes
        double recall() const { return qualifying == 0 ? 1.0 : static_cast<double>(alarmed) / qualifying; }
        double precision() const { return alarms == 0 ? 1.0 : static_cast<double>(rightAlarms) / alarms; }
    };

    // How long after qualifying an alarm may come and still count; passes qualifying later than
    // this before the end are not scored.
    static constexpr int64_t kMaxDelayMs = 2000;

    AlarmScore(const csdk_standin::SyntheticScene& scene, const RunCycle& cycle, int width, int height);

    // The truth at stream time `clipMs`; call for every frame, in order.
    void observe(int64_t clipMs);
    // Matches the alarms and scores; `endMs` is the last frame's time.
    Result score(const std::vector<ReplayAlarm>& alarms, int64_t endMs);

private:
    struct Pass {
        int mover = 0;
        int64_t firstSeenMs = -1;  // first frame at least half in view
        double firstX = 0, firstY = 0;
        int64_t qualifiedMs = -1;
        int64_t alarmMs = -1;
        bool inZoneEver = false;
    };
    struct Visible {
        int pass;  // index into m_passes
        double left, top, right, bottom;
    };

    const csdk_standin::SyntheticScene& m_scene;
    Activity m_spy;  // a copy of the cycle's, for its zone test at the frame size
    double m_minDistance;
    int64_t m_minAgeMs;
    int m_width, m_height;
    std::vector<Pass> m_passes;
    std::vector<int> m_current;                    // per mover: its open pass, -1 when out of view
    std::map<int64_t, std::vector<Visible>> m_seen;  // frame time -> movers in view then
    std::vector<csdk_standin::SyntheticScene::MoverBox> m_boxes;
};
