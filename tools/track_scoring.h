// track_scoring: multi-object tracking measures of published objects against a ground truth, and a
// run of the synthetic scene through the real pipeline that produces both.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace track_score {

struct Box {
    double left, top, right, bottom;  // right and bottom exclusive
};

struct TruthMover {
    int id;
    bool person;
    Box box;
};

struct Hypothesis {
    uint32_t id;
    Box box;
};

// Per mover: frames it was visible, frames it was matched, how often its match broke off and resumed,
// how often the matched id changed, and how many of its frames its most frequent id covers. A mover
// that leaves the view and comes back (the scene's movers cross again and again) starts a new pass,
// which rightly gets a new object: switches are counted and dominant ids taken within each pass.
struct MoverScore {
    int id = 0;
    bool person = false;
    int visible = 0;
    int matched = 0;
    int fragments = 0;
    int switches = 0;
    int dominantFrames = 0;
    uint32_t dominantId = 0;  // of the longest pass
    int passes = 0;
    double coverage() const { return visible ? static_cast<double>(matched) / visible : 0.0; }
    double dominantShare() const { return visible ? static_cast<double>(dominantFrames) / visible : 0.0; }
};

struct Totals {
    int truths = 0, misses = 0, falsePositives = 0, switches = 0, fragments = 0;
    int mostlyTracked = 0, mostlyLost = 0, movers = 0, crossings = 0;
    double mota() const { return truths ? 1.0 - static_cast<double>(misses + falsePositives + switches) / truths : 0.0; }
};

// Matching frame by frame with IoU >= kMinIoU: a mover keeps last frame's object while they still
// overlap that much, the rest are paired greedily by IoU. Mostly tracked: matched in >= 80 % of its
// visible frames; mostly lost: <= 20 %.
class Scorer {
  public:
    static constexpr double kMinIoU = 0.3;
    static constexpr double kMostlyTracked = 0.8;
    static constexpr double kMostlyLost = 0.2;

    void addFrame(const std::vector<TruthMover>& truth, const std::vector<Hypothesis>& objects);
    std::vector<MoverScore> movers() const;  // passes still open are counted as they stand
    Totals totals() const;

  private:
    struct State {
        MoverScore score;
        uint32_t lastId = 0;       // id matched most recently (0: never)
        bool matchedLast = false;  // matched in the previous frame it was visible
        std::map<uint32_t, int> ids;  // of the current pass
        int lastFrame = -2;           // frame it was last visible in
        int closedDominant = 0;       // dominant-id frames of the passes already over
        int bestPass = 0;             // the longest pass so far: its dominant id
    };
    static void closePass(State& s);
    int m_frame = 0;
    std::map<int, State> m_movers;
    Totals m_totals;
    std::map<std::pair<int, int>, bool> m_overlapping;  // pairs of movers whose boxes overlap now
};

double iou(const Box& a, const Box& b);

// One run of the stand-in's synthetic scene through SimpleTracker (mode 4, default parameters), with
// the frames converted as the application converts them.
struct RunOptions {
    int width = 320;
    int height = 240;
    double seconds = 60;
    bool night = false;
    double warmupSeconds = 6;  // the background model is compared with frames from 5 s on
    std::string truthLog;      // when not empty, the truth lines are written there (CSDK_TRUTH_LOG form)
};
// False (with a message on standard error) when the scene or the pipeline cannot run.
bool runScene(const RunOptions& options, Scorer& scorer);

}  // namespace track_score
