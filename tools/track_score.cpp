// track_score: how well the pipeline's published objects follow the synthetic scene's movers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "track_scoring.h"

namespace {

void usage() {
    std::printf(
        "usage: track_score [--size WxH] [--seconds N] [--night] [--truth-log FILE] [--help]\n"
        "Runs the stand-in SDK's synthetic street scene (six movers: four people, two vehicles) through\n"
        "the real SimpleTracker with the camera application's default parameters, the frames converted\n"
        "as the application converts them, and scores the objects it publishes in every frame against\n"
        "the scene's own mover boxes (the ground truth CSDK_TRUTH_LOG writes).\n"
        "  --size WxH        frame size (default 320x240; day frames up to 192 wide are in colour)\n"
        "  --seconds N       scene length (default 60); the first 6 s are not scored, as the background\n"
        "                    model is compared with frames from 5 s on\n"
        "  --night           the night scene (dark, colourless, noisier, headlights)\n"
        "  --truth-log FILE  also write the truth, one JSON line per frame\n"
        "A mover counts in a frame when at least half of its box is in view. Objects updated in the frame\n"
        "are matched to movers by box overlap (IoU >= 0.3; a mover keeps its object while they overlap\n"
        "that much). Per mover: visible frames, matched share, ID switches, fragmentations (a match that\n"
        "broke off and resumed), and the share of its visible frames covered by the most frequent object\n"
        "id of each pass (a mover that leaves the view and comes back starts a new pass). Mostly tracked: matched in >= 80%% of its frames; mostly lost: <= 20%%. MOTA = 1 - (misses +\n"
        "false objects + ID switches) / mover-frames. The last line is\n"
        "  track mota=<x> idsw=<n> frag=<n> mt=<n> ml=<n> movers=<n>\n");
}

}  // namespace

int main(int argc, char** argv) {
    track_score::RunOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &options.width, &options.height) != 2) {
                std::fprintf(stderr, "track_score: bad size '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--seconds" && hasValue) {
            options.seconds = std::atof(argv[++i]);
        } else if (arg == "--night") {
            options.night = true;
        } else if (arg == "--truth-log" && hasValue) {
            options.truthLog = argv[++i];
        } else {
            usage();
            return 2;
        }
    }
    if (!(options.seconds > 0 && options.seconds <= 24 * 3600)) {
        std::fprintf(stderr, "track_score: --seconds wants 0 < N <= 86400\n");
        return 2;
    }
    track_score::Scorer scorer;
    if (!track_score::runScene(options, scorer)) return 1;
    std::printf("%dx%d %s, %.0f s\n", options.width, options.height, options.night ? "night" : "day", options.seconds);
    std::printf("mover  class    passes  visible  matched  idsw  frag  dominant-share\n");
    for (const auto& m : scorer.movers()) {
        std::printf("%5d  %-7s  %6d  %7d  %7.3f  %4d  %4d  %14.3f\n", m.id, m.person ? "person" : "vehicle", m.passes,
                    m.visible, m.coverage(), m.switches, m.fragments, m.dominantShare());
    }
    const track_score::Totals t = scorer.totals();
    std::printf("mover-frames %d, misses %d, false objects %d, crossings %d\n", t.truths, t.misses,
                t.falsePositives, t.crossings);
    std::printf("track mota=%.3f idsw=%d frag=%d mt=%d ml=%d movers=%d\n", t.mota(), t.switches, t.fragments,
                t.mostlyTracked, t.mostlyLost, t.movers);
    return 0;
}
