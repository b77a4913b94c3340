// armhf_estimate: callgrind instruction counts of the pipeline, scaled to the camera's core.
#include "armhf_estimate.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "kt_background_view.h"

namespace bench {

double gray_pipeline_bytes(uint32_t width, uint32_t height) {
    const double p = double(width) * height;
    const double view = double(kt_bg_view_bytes_per_pixel(0));
    const double framesPerUpdate = 500.0 / 40.0 + 1.0;
    const double perFrame = 2 + (4 + 5 + 4 + 2) + (1 + view + 1) + 2 + 16 + 1;
    const double update = 1 + 1 + 64 + view;
    return p * (perFrame + update / framesPerUpdate);
}

namespace {

// The instruction total of a callgrind output file, from its "totals:" (or "summary:") line.
bool read_total(const std::string& path, uint64_t& total, bool& fromClientRequest) {
    std::ifstream in(path);
    std::string line;
    bool found = false;
    fromClientRequest = false;
    while (std::getline(in, line)) {
        if (line.rfind("desc: Trigger: Client Request", 0) == 0) fromClientRequest = true;
        if (line.rfind("totals:", 0) == 0 || line.rfind("summary:", 0) == 0) {
            total = std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
            found = true;
        }
    }
    return found;
}

}  // namespace

bool callgrind_instructions(const std::string& self, const std::string& clip, uint64_t& instructions,
                            std::string& error) {
    char dir[] = "/tmp/kt_callgrind_XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        error = "no temporary folder";
        return false;
    }
    const std::string out = std::string(dir) + "/cg.out";
    const std::string outOption = "--callgrind-out-file=" + out;
    std::vector<const char*> argv = {"valgrind", "--tool=callgrind", "--instr-atstart=no", outOption.c_str(),
                                     self.c_str(), "--estimate-child"};
    if (!clip.empty()) argv.push_back(clip.c_str());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execvp(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "valgrind is not installed" : "the callgrind run failed";
    }
    // The client request's dump is its own file (cg.out.1); the exit dump holds the rest.
    bool found = false;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            const std::string path = std::string(dir) + "/" + e->d_name;
            uint64_t total = 0;
            bool requested = false;
            if (error.empty() && read_total(path, total, requested) && requested) {
                instructions = total;
                found = true;
            }
            unlink(path.c_str());
        }
        closedir(d);
    }
    rmdir(dir);
    if (!found && error.empty()) error = "callgrind wrote no counted part";
    return found;
}

std::string estimate_line(uint32_t width, uint32_t height, double insn_per_frame, double bytes_per_frame) {
    const double seconds = insn_per_frame / (kA7InstructionsPerCycle * kA7Hz) + bytes_per_frame / kA7BytesPerSecond;
    char line[200];
    std::snprintf(line, sizeof line, "armhf-estimate res=%ux%u insn_per_frame=%.0f bytes_per_frame=%.0f est_fps=%.1f",
                  width, height, insn_per_frame, bytes_per_frame, seconds > 0 ? 1.0 / seconds : 0.0);
    return line;
}

}  // namespace bench
