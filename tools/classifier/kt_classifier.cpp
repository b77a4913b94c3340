// kt_classifier: collects labelled samples from the synthetic scene, trains per-class models, and
// scores them on held-out runs.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ClassifierRuns.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: kt_classifier collect --out <samples> [--seeds A-B] [--size WxH] [--night] [--seconds S]\n"
                 "                             [--clip <file> --truth <JSON lines>]\n"
                 "       kt_classifier train --out <model dir> <samples>...\n"
                 "       kt_classifier eval --models <model dir> [--seeds A-B] [--size WxH] [--night] [--seconds S]\n"
                 "                          [--clip <file> --truth <JSON lines>] [--min-confidence P]\n"
                 "A clip replaces the synthetic scene; --size is the size its truth boxes are given in.\n");
    return 2;
}

struct Args {
    std::string out, models;
    std::vector<std::string> files;
    uint32_t firstSeed = 1, lastSeed = 1;
    kt_classifier::SceneRun run;
};

bool parse(int argc, char** argv, Args& a) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--out" && hasValue) {
            a.out = argv[++i];
        } else if (arg == "--models" && hasValue) {
            a.models = argv[++i];
        } else if (arg == "--seeds" && hasValue) {
            unsigned first = 0, last = 0;
            const int n = std::sscanf(argv[++i], "%u-%u", &first, &last);
            if (n < 1 || first == 0) return false;
            a.firstSeed = first;
            a.lastSeed = n == 2 ? last : first;
            if (a.lastSeed < a.firstSeed) return false;
        } else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &a.run.width, &a.run.height) != 2) return false;
        } else if (arg == "--min-confidence" && hasValue) {
            // Percent, as the application's min_classification.
            const double p = std::atof(argv[++i]);
            if (!(p >= 0 && p <= 100)) return false;
            a.run.minConfidence = static_cast<float>(p / 100.0);
        } else if (arg == "--clip" && hasValue) {
            a.run.clip = argv[++i];
        } else if (arg == "--truth" && hasValue) {
            a.run.truth = argv[++i];
        } else if (arg == "--night") {
            a.run.night = true;
        } else if (arg == "--seconds" && hasValue) {
            a.run.seconds = std::atof(argv[++i]);
            if (a.run.seconds <= a.run.warmupSeconds) return false;
        } else if (!arg.empty() && arg[0] != '-') {
            a.files.push_back(arg);
        } else {
            return false;
        }
    }
    // A clip needs its truth, and the truth a clip.
    return a.run.clip.empty() == a.run.truth.empty();
}

int collect(const Args& a) {
    if (a.out.empty()) return usage();
    std::map<std::string, TrainingData> samples;
    // A clip is one run; the seeds number runs of the synthetic scene.
    const uint32_t last = a.run.clip.empty() ? a.lastSeed : a.firstSeed;
    for (uint32_t seed = a.firstSeed; seed <= last; ++seed) {
        kt_classifier::SceneRun run = a.run;
        run.seed = seed;
        if (!kt_classifier::collect(run, samples)) return 1;
    }
    if (!kt_classifier::writeSamples(a.out, samples)) {
        std::fprintf(stderr, "kt_classifier: cannot write %s\n", a.out.c_str());
        return 1;
    }
    if (a.run.clip.empty())
        std::printf("collect seeds=%u-%u", a.firstSeed, a.lastSeed);
    else
        std::printf("collect clip=%s", a.run.clip.c_str());
    for (const auto& entry : samples) {
        ktsl::MemIOStream s(entry.second.features);
        int n = 0;
        for (; !s.isEmpty(); ++n) s.skip();
        std::printf(" %s=%d", entry.first.c_str(), n);
    }
    std::printf("\n");
    return 0;
}

int train(const Args& a) {
    if (a.out.empty() || a.files.empty()) return usage();
    // Made (or found unusable) before the search, not after minutes of training.
    if (mkdir(a.out.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "kt_classifier: cannot make the model folder %s: %s\n", a.out.c_str(), std::strerror(errno));
        return 1;
    }
    if (access(a.out.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "kt_classifier: cannot write to the model folder %s\n", a.out.c_str());
        return 1;
    }
    std::list<TrainingData> data;
    for (const std::string& f : a.files)
        if (!kt_classifier::readSamples(f, data)) {
            std::fprintf(stderr, "kt_classifier: cannot read samples %s\n", f.c_str());
            return 1;
        }
    const kt_classifier::TrainResult r = kt_classifier::train(data, a.out);
    std::printf("%s\n", r.report.c_str());
    if (!r.ok) return 1;
    std::string f1;
    for (const auto& entry : r.f1) f1 += (f1.empty() ? "" : ",") + entry.first + ":" + std::to_string(entry.second / 100.0);
    std::printf("train classes=%zu vectors=%zu seconds=%.2f f1=%s\n", r.written.size(), r.vectors, r.seconds, f1.c_str());
    return 0;
}

int eval(const Args& a) {
    if (a.models.empty()) return usage();
    const std::vector<std::string> files = {a.models + "/" + kt_classifier::kHuman + ".bin",
                                            a.models + "/" + kt_classifier::kVehicle + ".bin"};
    kt_classifier::EvalResult result;
    const uint32_t last = a.run.clip.empty() ? a.lastSeed : a.firstSeed;
    for (uint32_t seed = a.firstSeed; seed <= last; ++seed) {
        kt_classifier::SceneRun run = a.run;
        run.seed = seed;
        if (!kt_classifier::evaluate(run, files, result)) return 1;
    }
    const char* decided[] = {kt_classifier::kHuman, kt_classifier::kVehicle, "unknown", "none"};
    std::printf("%-10s", "truth");
    for (const char* d : decided) std::printf(" %8s", d);
    std::printf("\n");
    for (const auto& row : result.confusion) {
        std::printf("%-10s", row.first.c_str());
        for (const char* d : decided) {
            auto it = row.second.find(d);
            std::printf(" %8d", it == row.second.end() ? 0 : it->second);
        }
        std::printf("\n");
    }
    std::printf("classify objects=%d accuracy=%.3f balanced=%.3f none=%.3f chance=%.3f\n", result.objects,
                result.accuracy(), result.balanced(), result.noneShare(), result.chance());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    Args a;
    if (!parse(argc, argv, a)) return usage();
    const std::string command = argv[1];
    if (command == "collect") return collect(a);
    if (command == "train") return train(a);
    if (command == "eval") return eval(a);
    return usage();
}
