// track_scoring: multi-object tracking measures of published objects against a ground truth, and a
// run of the synthetic scene through the real pipeline that produces both.
#include "track_scoring.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "Coordinator.h"
#include "SimpleTracker.h"
#include "csdk_synthetic.h"
#include "csdk_truth.h"

namespace track_score {

double iou(const Box& a, const Box& b) {
    const double w = std::min(a.right, b.right) - std::max(a.left, b.left);
    const double h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    if (w <= 0 || h <= 0) return 0.0;
    const double inter = w * h;
    const double areaA = (a.right - a.left) * (a.bottom - a.top), areaB = (b.right - b.left) * (b.bottom - b.top);
    return inter / (areaA + areaB - inter);
}

void Scorer::closePass(State& s) {
    int best = 0, frames = 0;
    uint32_t bestId = 0;
    for (const auto& id : s.ids) {
        frames += id.second;
        if (id.second > best) best = id.second, bestId = id.first;
    }
    s.closedDominant += best;
    if (frames > s.bestPass) {
        s.bestPass = frames;
        s.score.dominantId = bestId;
    }
    s.ids.clear();
}

void Scorer::addFrame(const std::vector<TruthMover>& truth, const std::vector<Hypothesis>& objects) {
    ++m_frame;
    for (const TruthMover& m : truth) {
        State& s = m_movers[m.id];
        if (s.lastFrame != m_frame - 1) {  // back in view: a new pass
            closePass(s);
            s.lastId = 0;
            s.matchedLast = false;
            ++s.score.passes;
        }
        s.lastFrame = m_frame;
    }
    std::vector<int> match(truth.size(), -1);
    std::vector<bool> used(objects.size(), false);
    // Keep last frame's pairs that still overlap enough.
    for (size_t t = 0; t < truth.size(); ++t) {
        const State& s = m_movers[truth[t].id];
        if (!s.matchedLast) continue;
        for (size_t o = 0; o < objects.size(); ++o) {
            if (!used[o] && objects[o].id == s.lastId && iou(truth[t].box, objects[o].box) >= kMinIoU) {
                match[t] = static_cast<int>(o);
                used[o] = true;
            }
        }
    }
    // The rest greedily, best overlap first.
    struct Pair {
        double iou;
        size_t t, o;
    };
    std::vector<Pair> pairs;
    for (size_t t = 0; t < truth.size(); ++t)
        for (size_t o = 0; o < objects.size(); ++o)
            if (match[t] < 0 && !used[o]) {
                const double v = iou(truth[t].box, objects[o].box);
                if (v >= kMinIoU) pairs.push_back({v, t, o});
            }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.iou > b.iou; });
    for (const Pair& p : pairs) {
        if (match[p.t] >= 0 || used[p.o]) continue;
        match[p.t] = static_cast<int>(p.o);
        used[p.o] = true;
    }

    for (size_t t = 0; t < truth.size(); ++t) {
        State& s = m_movers[truth[t].id];
        s.score.id = truth[t].id;
        s.score.person = truth[t].person;
        ++s.score.visible;
        ++m_totals.truths;
        if (match[t] < 0) {
            ++m_totals.misses;
            s.matchedLast = false;
            continue;
        }
        const uint32_t id = objects[static_cast<size_t>(match[t])].id;
        ++s.score.matched;
        if (s.lastId != 0 && id != s.lastId) {
            ++s.score.switches;
            ++m_totals.switches;
        }
        if (s.lastId != 0 && !s.matchedLast) {
            ++s.score.fragments;
            ++m_totals.fragments;
        }
        s.lastId = id;
        s.matchedLast = true;
        ++s.ids[id];
    }
    for (bool u : used) m_totals.falsePositives += u ? 0 : 1;
    // Crossings: a pair of movers whose boxes start to overlap.
    for (size_t a = 0; a < truth.size(); ++a)
        for (size_t b = a + 1; b < truth.size(); ++b) {
            const auto key = std::make_pair(std::min(truth[a].id, truth[b].id), std::max(truth[a].id, truth[b].id));
            const bool now = iou(truth[a].box, truth[b].box) > 0;
            bool& was = m_overlapping[key];
            if (now && !was) ++m_totals.crossings;
            was = now;
        }
}

std::vector<MoverScore> Scorer::movers() const {
    std::vector<MoverScore> out;
    for (const auto& entry : m_movers) {
        State state = entry.second;
        closePass(state);
        state.score.dominantFrames = state.closedDominant;
        out.push_back(state.score);
    }
    return out;
}

Totals Scorer::totals() const {
    Totals t = m_totals;
    for (const MoverScore& m : movers()) {
        ++t.movers;
        if (m.coverage() >= kMostlyTracked) ++t.mostlyTracked;
        if (m.coverage() <= kMostlyLost) ++t.mostlyLost;
    }
    return t;
}

bool runScene(const RunOptions& options, Scorer& scorer) {
    using csdk_standin::SyntheticScene;
    SyntheticScene scene(options.night, false, 0);
    if (options.width < 16 || options.height < 16 || options.width % 2 || options.height % 2 ||
        !scene.prepare(options.width, options.height)) {
        std::fprintf(stderr, "track_score: the scene cannot be rendered at %dx%d\n", options.width, options.height);
        return false;
    }
    FILE* log = nullptr;
    if (!options.truthLog.empty() && (log = std::fopen(options.truthLog.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "track_score: cannot write %s\n", options.truthLog.c_str());
        return false;
    }
    const uint32_t width = static_cast<uint32_t>(options.width), height = static_cast<uint32_t>(options.height);
    std::vector<uint8_t> nv21(width * height * 3 / 2);
    SimpleTracker tracker(nullptr, 0, false);
    if (!tracker.setParameters(SimpleTracker::Params())) {
        std::fprintf(stderr, "track_score: %s\n", tracker.getLastError().c_str());
        if (log) std::fclose(log);
        return false;
    }
    ProcessFrame frame;
    kt_image colour{};
    ktsl::List<Event> events;
    std::vector<SyntheticScene::MoverBox> boxes, visible;
    std::vector<TruthMover> truth;
    std::vector<Hypothesis> objects;
    const int64_t frameMs = static_cast<int64_t>(1000.0 / SyntheticScene::kSceneFps);
    const int64_t frames = static_cast<int64_t>(options.seconds * SyntheticScene::kSceneFps);
    for (int64_t i = 0; i < frames; ++i) {
        scene.moverBoxes(static_cast<double>(i) / SyntheticScene::kSceneFps, boxes);
        if (scene.next(nv21.data()) != csdk_standin::FrameSource::Result::Ok) break;
        csdk_standin::visibleMovers(boxes, options.width, options.height, visible);
        if (log) std::fprintf(log, "%s\n", csdk_standin::truthLine(static_cast<uint64_t>(i), visible).c_str());
        const int64_t position = i * frameMs;
        const bool useColour = Coordinator::loadFrame(frame, nv21.data(), width, height, !options.night, colour,
                                                      kttl::TimeStamp(1700000000 + position / 1000, position % 1000),
                                                      kttl::ElapsedTime(position));
        events.clear();
        if (!tracker.process(frame, useColour, events)) {
            std::fprintf(stderr, "track_score: frame %lld: %s\n", static_cast<long long>(i),
                         tracker.getLastError().c_str());
        }
        if (position < static_cast<int64_t>(options.warmupSeconds * 1000)) continue;
        truth.clear();
        for (const auto& m : visible) truth.push_back({m.id, m.person, {m.left, m.top, m.right, m.bottom}});
        objects.clear();
        kttl::TimeStamp now;
        now.fromElapsedTime(frame.getPosition());
        for (const auto& entry : frame.getObjects()) {
            const Object& o = entry.second;
            ktml::BoundingBox<int> b;
            kttl::TimeStamp newest;
            // Living objects only (parked ones keep their last box); the box extents are inclusive.
            if (!o.newest(b) || !o.newestTime(newest) || newest != now) continue;
            objects.push_back({o.getId(), {static_cast<double>(b.x), static_cast<double>(b.y),
                                           static_cast<double>(b.x) + b.width + 1, static_cast<double>(b.y) + b.height + 1}});
        }
        scorer.addFrame(truth, objects);
    }
    kt_free_image(&colour);
    if (log) std::fclose(log);
    return true;
}

}  // namespace track_score
