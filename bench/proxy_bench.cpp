// proxy_bench: what remote viewers cost the frame loop. SimpleTracker::process on the synthetic scene
// with 0, 1 and 4 loopback viewers asking for every frame, then 4 viewers beside a frozen and a slow
// one; and a flood of malformed sessions against a served viewer.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ConnectionCmd.h"
#include "Coordinator.h"
#include "OutputProxy.h"
#include "SimpleTracker.h"
#include "bench_alloc.h"
#include "bench_stats.h"
#include "csdk_synthetic.h"
#include "kt_image.h"
#include "ktsl_NetIOStream.h"
#include "ktsl_Record.h"
#include "ktsl_Result.h"

namespace {

const uint32_t kHeldFrames = 150;
const uint32_t kWarmupFrames = 130;      // past the 5 s start of the background comparison at 25 fps
const uint32_t kDefaultFrames = 300;     // timed frames per case
const int64_t kFrameMs = 40;             // stream step between frames
const size_t kSlowBytesPerSecond = 1 << 20;
const size_t kSlowSliceBytes = 10 * 1024;  // read per 10 ms: 1 MB/s
const unsigned kDefaultFloodSessions = 5000;
const int kFloodFrameMs = 40;  // the flood's frame producer runs at 25 frames per second

void usage() {
    std::printf(
        "usage: proxy_bench [--frames N] [--flood N] [--help]\n"
        "  --frames N  timed frames per case after %u warm-up frames (default %u; 0: the flood alone)\n"
        "  --flood N   malformed sessions of the flood (default %u; the target figure is for 100000; 0 skips)\n"
        "Runs SimpleTracker::process on the stand-in's synthetic scene at 640x480 and 1920x1080 gray with 0, 1\n"
        "and 4 loopback viewers asking for every frame with \"Native Image\", \"Processed Image\" and tracks,\n"
        "then 4 such viewers plus one that never reads, or one that reads 1 MB/s. One line per case:\n"
        "  proxy res=<w>x<h> viewers=<n> kind=<normal|frozen|slow> ms=<median> p99=<ms> delta_ms=<x>\n"
        "        allocs_per_frame=<n> delivered_fps=<x> rss_mb=<n>\n"
        "then the flood (connect-and-close, random bytes, length 0xFFFFFFFF, a header then silence, lying\n"
        "inner counts, unknown types, 10,000 image names) beside one viewer served at 25 frames/s:\n"
        "  flood sessions=<n> seconds=<s> rss_growth_kb=<n> threads=<n> fds=<n> viewer_fps=<x>\n",
        kWarmupFrames, kDefaultFrames, kDefaultFloodSessions);
}

// CPU time of the calling thread in ms: on a shared machine the frame loop's own cost, without the
// time other processes and the sending threads take from it.
double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

double rss_mb() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f != nullptr) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

int count_fds() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

int count_threads() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    return -1;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

unsigned free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

enum class Kind { Normal, Frozen, Slow };

const char* kindName(Kind k, const char* prefix, const char* normal) {
    static std::string text;
    text = k == Kind::Normal ? normal : std::string(prefix) + (k == Kind::Frozen ? "frozen" : "slow");
    return text.c_str();
}

// A loopback viewer: asks for frames through an object stream, then reads raw bytes on its own
// thread (no allocation, so the process-wide allocation count is the frame loop's) and counts frame
// records by their headers. A frozen viewer never reads; a slow one reads 1 MB/s.
class Viewer {
public:
    Viewer(unsigned port, Kind kind, const std::vector<const char*>& images)
        : m_kind(kind), m_stream(ktsl::NetIOStream::connectTo("127.0.0.1", port, 2000), 8) {
        m_stream.setLimits(256u << 20, 0, 0);
        m_stream.start();
        FrameRequest request;
        for (const char* n : images) request.getImages().insert(n);
        request.setFrameRate(0);
        request.setTracks(true);
        const ConnectionCmd command = ConnectionCmd::makeFrameRequest("camera://embedded", request);
        ktsl::Result result;
        if (m_stream.getSocket() >= 0) {
            m_stream.write(command);
            m_ok = ktsl::Result::waitForResult(m_stream, 5000, command, result) && result.getCode() == 0;
        }
        if (m_ok) m_thread = std::thread([this] { pump(); });
    }
    ~Viewer() {
        m_stop.store(true);
        if (m_thread.joinable()) m_thread.join();
        m_stream.close();
    }
    bool ok() const { return m_ok; }
    uint64_t frames() const { return m_frames.load(); }

private:
    void pump() {
        if (m_kind == Kind::Frozen) {
            while (!m_stop.load()) ::poll(nullptr, 0, 10);
            return;
        }
        const int fd = m_stream.getSocket();
        std::vector<unsigned char> buffer(m_kind == Kind::Slow ? kSlowSliceBytes : 256 * 1024);
        unsigned char header[ktsl::record::kHeaderSize];
        unsigned headerGot = 0;
        uint64_t payloadLeft = 0;
        while (!m_stop.load()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n == 0) return;
            if (n < 0) continue;
            for (ssize_t i = 0; i < n;) {
                if (payloadLeft > 0) {
                    const uint64_t take = std::min<uint64_t>(payloadLeft, static_cast<uint64_t>(n - i));
                    payloadLeft -= take;
                    i += static_cast<ssize_t>(take);
                    continue;
                }
                header[headerGot++] = buffer[static_cast<size_t>(i++)];
                if (headerGot < sizeof header) continue;
                headerGot = 0;
                const unsigned type = header[0] | header[1] << 8;
                payloadLeft = header[4] | header[5] << 8 | header[6] << 16 | static_cast<uint64_t>(header[7]) << 24;
                if (type == ktsl::TypeId::Frame) m_frames.fetch_add(1);
            }
            if (m_kind == Kind::Slow) ::poll(nullptr, 0, 1000 * kSlowSliceBytes / kSlowBytesPerSecond);
        }
    }

    Kind m_kind;
    ktsl::NetIOStream m_stream;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_frames{0};
    std::thread m_thread;
};

bool load_frames(uint32_t width, uint32_t height, std::vector<std::vector<uint8_t>>& frames) {
    csdk_standin::SyntheticScene scene(false, false, 0);
    if (!scene.prepare(static_cast<int>(width), static_cast<int>(height))) return false;
    frames.assign(kHeldFrames, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3 / 2));
    for (auto& f : frames)
        if (scene.next(f.data()) != csdk_standin::FrameSource::Result::Ok) return false;
    return true;
}

struct Case {
    unsigned viewers;  // normal ones
    Kind extra;        // Normal: none; else one frozen or one slow viewer beside them
};

struct Figures {
    double median = 0, p99 = 0, cpuMedian = 0, allocs = 0, deliveredFps = 0, rss = 0, seconds = 0;
    std::vector<uint64_t> delivered;
    bool ok = true;
};

Figures run_case(uint32_t width, uint32_t height, const std::vector<std::vector<uint8_t>>& frames, const Case& c,
                 uint32_t timed) {
    Figures fig;
    const unsigned port = c.viewers > 0 ? free_port() : 0;
    SimpleTracker tracker(nullptr, port, false);
    SimpleTracker::Params params;
    if (!tracker.setParameters(params)) {
        fig.ok = false;
        return fig;
    }
    ProcessFrame frame;
    kt_image colour{};
    const kttl::TimeStamp start(1700000000, 0);
    auto step = [&](uint64_t i) {
        Coordinator::loadFrame(frame, frames[i % frames.size()].data(), width, height, false, colour, start,
                               kttl::ElapsedTime(static_cast<int64_t>(i) * kFrameMs));
        return tracker.process(frame, false);
    };
    for (uint64_t i = 0; i < kWarmupFrames; ++i) fig.ok = step(i) && fig.ok;

    std::vector<std::unique_ptr<Viewer>> viewers;
    const std::vector<const char*> images = {"Native Image", "Processed Image"};
    if (c.viewers > 0) {
        // The server's thread is up once its port accepts.
        for (int tries = 0; tries < 200; ++tries) {
            const int fd = ktsl::NetIOStream::connectTo("127.0.0.1", port, 100);
            if (fd >= 0) {
                ::close(fd);
                break;
            }
            ::poll(nullptr, 0, 10);
        }
    }
    for (unsigned v = 0; v < c.viewers; ++v) viewers.emplace_back(new Viewer(port, Kind::Normal, images));
    if (c.extra != Kind::Normal) viewers.emplace_back(new Viewer(port, c.extra, images));
    for (const auto& v : viewers) fig.ok = v->ok() && fig.ok;
    // Let the requests reach the frame path before timing.
    for (uint64_t i = kWarmupFrames; i < kWarmupFrames + 10; ++i) step(i);

    std::vector<double> ms, cpu;
    uint64_t allocs = 0;
    std::vector<uint64_t> before;
    for (const auto& v : viewers) before.push_back(v->frames());
    const double t0 = bench::now_ms();
    for (uint64_t i = kWarmupFrames + 10; i < kWarmupFrames + 10 + timed; ++i) {
        const uint64_t a = bench::alloc_count();
        const double s = bench::now_ms(), c0 = thread_cpu_ms();
        fig.ok = step(i) && fig.ok;
        cpu.push_back(thread_cpu_ms() - c0);
        ms.push_back(bench::now_ms() - s);
        allocs += bench::alloc_count() - a;
    }
    fig.seconds = (bench::now_ms() - t0) / 1000.0;
    // Frames already queued still arrive: wait a little for the normal viewers to catch up.
    ::poll(nullptr, 0, 200);
    double sum = 0;
    unsigned normal = 0;
    for (size_t v = 0; v < viewers.size(); ++v) {
        fig.delivered.push_back(viewers[v]->frames() - before[v]);
        if (v < c.viewers) {
            sum += static_cast<double>(fig.delivered.back()) / fig.seconds;
            ++normal;
        }
    }
    fig.median = bench::median(ms);
    fig.p99 = percentile(ms, 0.99);
    fig.cpuMedian = bench::median(cpu);
    fig.allocs = timed ? static_cast<double>(allocs) / timed : 0;
    fig.deliveredFps = normal ? sum / normal : 0;
    fig.rss = rss_mb();
    viewers.clear();
    kt_free_image(&colour);
    return fig;
}

std::vector<unsigned char> record_of(unsigned short type, const std::vector<unsigned char>& payload, uint32_t length) {
    std::vector<unsigned char> r = {static_cast<unsigned char>(type), static_cast<unsigned char>(type >> 8), 0, 0,
                                    static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                                    static_cast<unsigned char>(length >> 16), static_cast<unsigned char>(length >> 24)};
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

std::vector<unsigned char> bin_of(const ktsl::Serializable& v) {
    std::vector<unsigned char> out(v.getBinLength());
    v.toBin(out.data());
    return record_of(v.getTypeId(), out, static_cast<uint32_t>(out.size()));
}

// Sends what the socket takes without waiting, as a hostile peer would: a server that refused the
// record after its header must not hold the flood up.
void sendSome(int fd, const std::vector<unsigned char>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t k = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k <= 0) return;
        sent += static_cast<size_t>(k);
    }
}

// The frame path of a listening proxy nobody asked for frames: what every camera with a port pays.
std::string run_idle() {
    const int kRounds = 200000;
    OutputProxy proxy(free_port(), nullptr);
    Frame frame;
    ktsl::Set<kttl::String> names;
    ktvl::Resolution resolution;
    proxy.getRequestedImages(names, resolution);
    const uint64_t a = bench::alloc_count();
    const double t0 = bench::now_ms();
    for (int i = 0; i < kRounds; ++i) {
        proxy.getRequestedImages(names, resolution);
        proxy.updateFrameListeners(frame);
    }
    const double ns = (bench::now_ms() - t0) * 1e6 / kRounds;
    const double allocs = static_cast<double>(bench::alloc_count() - a) / kRounds;
    char line[120];
    std::snprintf(line, sizeof line, "proxy idle viewers=0 ns_per_frame=%.1f allocs_per_frame=%.4f", ns, allocs);
    return line;
}

int run_flood(unsigned sessions) {
    const int fdsBefore = count_fds(), threadsBefore = count_threads();
    std::vector<std::vector<unsigned char>> kinds;
    kinds.push_back({});
    std::mt19937 rng(17);
    std::vector<unsigned char> noise(300);
    for (auto& b : noise) b = static_cast<unsigned char>(rng());
    kinds.push_back(noise);
    kinds.push_back(record_of(ktsl::TypeId::Command, {}, 0xFFFFFFFFu));
    kinds.push_back({13, 0, 0});  // a header fragment, then silence (held open below)
    std::vector<unsigned char> lying = bin_of(ktsl::Command("camera://x", 3004, 2));
    lying[8 + 16] = 0xFF;  // the URL's length runs past the record
    kinds.push_back(lying);
    kinds.push_back(record_of(4711, std::vector<unsigned char>(40, 7), 40));
    FrameRequest many;
    for (int i = 0; i < 10000; ++i) many.getImages().insert(kttl::String::format("image %d", i));
    kinds.push_back(bin_of(ConnectionCmd::makeFrameRequest("camera://x", many)));
    const size_t kSilentKind = 3;
    const size_t kHeldSilent = 8;  // silent sessions kept open at once; the proxy evicts or times them out

    double seconds = 0, viewerFps = 0, growthKb = 0;
    unsigned long retries = 0;
    {
        OutputProxy proxy(free_port(), nullptr);
        const unsigned port = proxy.getPort();
        for (int tries = 0; tries < 200 && proxy.getListeningPort() == 0; ++tries) ::poll(nullptr, 0, 10);
        Viewer viewer(port, Kind::Normal, {"Native Image"});
        if (!viewer.ok()) {
            std::fprintf(stderr, "proxy_bench: the flood's viewer was not served\n");
            return 1;
        }
        Frame frame;
        kt_image picture{};
        kt_init_image(&picture, 320, 240, 1);
        frame.setImage("Native Image", picture, Frame::kGray);
        kt_free_image(&picture);
        std::atomic<bool> stop{false};
        std::thread producer([&] {
            while (!stop.load()) {
                proxy.updateFrameListeners(frame);
                ::poll(nullptr, 0, kFloodFrameMs);
            }
        });
        std::vector<int> silent;
        double baseline = 0;
        const int kConnectTries = 200, kConnectMs = 20, kConnectPauseMs = 5;
        const uint64_t framesBefore = viewer.frames();
        const double t0 = bench::now_ms();
        for (unsigned i = 0; i < sessions; ++i) {
            if (i == std::min(1000u, sessions / 2)) baseline = rss_mb();
            // A full accept queue drops the handshake and the kernel would retry only after 1 s: give up
            // early and try again, so the figure is the server's pace, not the kernel's back-off.
            int fd = -1;
            for (int tries = 0; fd < 0 && tries < kConnectTries; ++tries) {
                fd = ktsl::NetIOStream::connectTo("127.0.0.1", port, kConnectMs);
                if (fd < 0) {
                    ++retries;
                    ::poll(nullptr, 0, kConnectPauseMs);
                }
            }
            if (fd < 0) continue;
            const size_t k = i % kinds.size();
            if (!kinds[k].empty()) sendSome(fd, kinds[k]);
            if (k == kSilentKind) {
                silent.push_back(fd);
                if (silent.size() > kHeldSilent) {
                    ::close(silent.front());
                    silent.erase(silent.begin());
                }
            } else {
                ::close(fd);
            }
        }
        for (int fd : silent) ::close(fd);
        seconds = (bench::now_ms() - t0) / 1000.0;
        viewerFps = static_cast<double>(viewer.frames() - framesBefore) / seconds;
        // Let the proxy notice the last closed sessions before measuring.
        for (int tries = 0; tries < 300 && proxy.listenerCount() > 1; ++tries) ::poll(nullptr, 0, 10);
        growthKb = (rss_mb() - baseline) * 1024.0;
        stop.store(true);
        producer.join();
    }
    for (int tries = 0; tries < 300 && count_threads() != threadsBefore; ++tries) ::poll(nullptr, 0, 10);
    std::printf("flood sessions=%u seconds=%.1f rss_growth_kb=%.0f threads=%d fds=%d viewer_fps=%.1f\n", sessions,
                seconds, growthKb, count_threads() - threadsBefore, count_fds() - fdsBefore, viewerFps);
    std::printf("  (threads and fds: change from before the proxy existed; growth after the first 1000 sessions;\n"
                "   %lu connection attempts retried while the accept queue was full)\n",
                retries);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t timed = kDefaultFrames;
    unsigned flood = kDefaultFloodSessions;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc) {
            timed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--flood" && i + 1 < argc) {
            flood = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            usage();
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }
    std::printf("proxy_bench: synthetic street scene, %u timed frames per case, allocation counting %s\n", timed,
                bench::alloc_counting() ? "on" : "off");
    const Case cases[] = {{0, Kind::Normal}, {1, Kind::Normal}, {4, Kind::Normal}, {4, Kind::Frozen}, {4, Kind::Slow}};
    const uint32_t sizes[][2] = {{640, 480}, {1920, 1080}};
    std::vector<std::string> lines;
    for (const auto& size : sizes) {
        if (timed == 0) break;  // the flood alone
        std::vector<std::vector<uint8_t>> frames;
        if (!load_frames(size[0], size[1], frames)) {
            std::fprintf(stderr, "proxy_bench: the scene cannot serve %ux%u\n", size[0], size[1]);
            return 1;
        }
        double base = 0, baseCpu = 0, baseAllocs = 0;
        for (const Case& c : cases) {
            const Figures f = run_case(size[0], size[1], frames, c, timed);
            if (c.viewers == 0) {
                base = f.median;
                baseCpu = f.cpuMedian;
                baseAllocs = f.allocs;
            }
            std::printf("%ux%u viewers=%u%s: median %.3f ms (thread CPU %.3f ms, %+.3f), p99 %.3f ms, %.2f "
                        "allocations/frame (%+.2f), delivered",
                        size[0], size[1], c.viewers, kindName(c.extra, " +", ""), f.median, f.cpuMedian,
                        f.cpuMedian - baseCpu, f.p99, f.allocs, f.allocs - baseAllocs);
            for (uint64_t d : f.delivered) std::printf(" %llu", static_cast<unsigned long long>(d));
            std::printf(" of %u frames in %.1f s, rss %.1f MB%s\n", timed, f.seconds, f.rss, f.ok ? "" : " (FAILED)");
            const unsigned total = c.viewers + (c.extra == Kind::Normal ? 0 : 1);
            char line[300];
            std::snprintf(line, sizeof line,
                          "proxy res=%ux%u viewers=%u kind=%s ms=%.3f p99=%.3f delta_ms=%.3f allocs_per_frame=%.2f "
                          "delivered_fps=%.1f rss_mb=%.1f",
                          size[0], size[1], total, kindName(c.extra, "", "normal"), f.median, f.p99,
                          f.median - base, f.allocs, f.deliveredFps, f.rss);
            lines.push_back(line);
        }
    }
    lines.push_back(run_idle());
    int status = 0;
    if (flood > 0) status = run_flood(flood);
    std::printf("\n");
    for (const std::string& l : lines) std::printf("%s\n", l.c_str());
    return status;
}
