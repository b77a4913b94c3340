// ViewerSession: connecting, asking for frames and writing each frame's images as JPEG files.
#include "ViewerSession.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "ConnectionCmd.h"
#include "Heartbeat.h"
#include "TrackerCmd.h"
#include "ktil_ImageJPEG.h"
#include "kttl_Exception.h"
#include "ktsl_Ping.h"
#include "ktsl_Result.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// mkdir -p
bool makeDirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i != path.size() && path[i] != '/') continue;
        const std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string fileSafe(const kttl::String& name) {
    std::string s(name.c_str());
    for (char& c : s)
        if (c == ' ' || c == '/') c = '_';
    return s;
}

bool parseNumber(const std::string& text, double low, double high, double& out) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != 0 || errno != 0 || !(v >= low && v <= high)) return false;
    out = v;
    return true;
}

}  // namespace

ViewerSession::ViewerSession(const ViewerOptions& options, std::ostream& out, std::ostream& err)
    : m_options(options), m_out(out), m_err(err) {}

ViewerSession::~ViewerSession() {
    delete m_stream;  // closes the socket and joins the sending thread
    kt_free_image(&m_colour);
    kt_free_image(&m_decoded);
}

bool ViewerSession::connect() {
    const int fd = ktsl::NetIOStream::connectTo(m_options.host.c_str(), m_options.port, kAnswerMs);
    if (fd < 0) {
        m_err << "viewer: cannot connect to " << m_options.host << ":" << m_options.port << "\n";
        return false;
    }
    m_stream = new ktsl::NetIOStream(fd, 16);
    m_stream->setLimits(kMaxRecordBytes, 0, 0);
    m_stream->setReadWait(kAnswerMs);
    return m_stream->start();
}

bool ViewerSession::readGreeting() {
    if (!m_stream->waitForRecord(kAnswerMs) || m_stream->getNextType() != ktsl::TypeId::Heartbeat) {
        m_err << "viewer: no greeting from the server\n";
        return false;
    }
    Heartbeat greeting;
    m_stream->read(greeting);
    ++m_summary.heartbeats;
    return true;
}

void ViewerSession::other(unsigned short type) {
    if (type == ktsl::TypeId::Heartbeat) {
        Heartbeat beat;
        m_stream->read(beat);
        ++m_summary.heartbeats;
    } else {
        m_stream->skip();
    }
}

int ViewerSession::runPing() {
    const auto start = std::chrono::steady_clock::now();
    m_stream->write(ktsl::Ping());
    const long before = m_summary.heartbeats;
    while (m_summary.heartbeats == before && secondsSince(start) * 1000 < kAnswerMs) {
        if (m_stream->waitForRecord(kSliceMs)) other(m_stream->getNextType());
        if (m_stream->hasFailed()) break;
    }
    if (m_summary.heartbeats == before) {
        m_err << "viewer: no answer to the ping\n";
        return 1;
    }
    char line[64];
    std::snprintf(line, sizeof line, "ping ms=%.1f\n", secondsSince(start) * 1000);
    m_out << line;
    return 0;
}

int ViewerSession::runListImages() {
    TrackerCmd command;
    command.setUrl(kUrl);
    command.setSubType(TrackerCmd::kListImages);
    m_stream->write(command);
    ktsl::Result result;
    if (!ktsl::Result::waitForResult(*m_stream, kAnswerMs, command, result,
                                     [this](ktsl::IOStream&, unsigned short type) { other(type); }) ||
        result.getCode() != ktsl::Result::kSuccess) {
        m_err << "viewer: the server did not list its images\n";
        return 1;
    }
    ktsl::Set<kttl::String> names;
    result.getObjects().read(names);
    for (const kttl::String& name : names) m_out << name.c_str() << "\n";
    return 0;
}

bool ViewerSession::requestFrames() {
    FrameRequest request;
    for (const std::string& name : m_options.images) request.getImages().insert(name.c_str());
    request.setFrameRate(m_options.rate);
    request.setTracks(m_options.tracks);
    request.setName("kt_viewer");
    const ConnectionCmd command = ConnectionCmd::makeFrameRequest(kUrl, request);
    m_stream->write(command);
    ktsl::Result result;
    if (!ktsl::Result::waitForResult(*m_stream, kAnswerMs, command, result,
                                     [this](ktsl::IOStream&, unsigned short type) { other(type); })) {
        m_err << "viewer: no answer to the frame request\n";
        return false;
    }
    if (result.getCode() != ktsl::Result::kSuccess) {
        m_err << "viewer: frame request refused: " << result.getCode() << " " << result.getMessage().c_str() << "\n";
        return false;
    }
    return true;
}

bool ViewerSession::saveImage(const kttl::String& name, const kt_image& picture) {
    ktil::ImageJPEG jpeg;
    if (!jpeg.encode(picture, m_options.quality)) return false;
    char index[32];
    std::snprintf(index, sizeof index, "frame_%05ld_", m_summary.frames);
    const std::string path = m_options.outDir + "/" + index + fileSafe(name) + ".jpg";
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(jpeg.getData().data()), static_cast<std::streamsize>(jpeg.getLength()));
    if (!file) {
        m_err << "viewer: cannot write " << path << "\n";
        return false;
    }
    ++m_summary.filesWritten;
    return true;
}

bool ViewerSession::saveFrame(unsigned recordBytes) {
    ++m_summary.frames;
    m_summary.bytes += recordBytes;
    const ObjectMap& objects = m_frame.getObjects();
    if (!objects.empty()) ++m_summary.framesWithObjects;
    m_overlay.update(objects);
    unsigned saved = 0;
    for (const kttl::String& name : m_frame.imageNames()) {
        const ktil::MultiImage& image = m_frame.getMultiImage(name);
        const kt_image* flat = image.getFlat(ktil::MultiImage::kColour);
        if (!flat) flat = image.getFlat(ktil::MultiImage::kGray);
        if (!flat && image.getJPEG() && image.getJPEG()->decode(m_decoded, 3)) flat = &m_decoded;
        if (!flat) continue;
        if (name == "Native Image" && m_options.tracks && toColour(*flat, m_colour)) {
            m_overlay.draw(objects, m_colour);
            flat = &m_colour;
        }
        if (!saveImage(name, *flat)) return false;
        ++saved;
    }
    m_out << "frame " << m_summary.frames << " objects=" << objects.size() << " images=" << saved
          << " bytes=" << recordBytes << "\n";
    m_out.flush();  // a line per frame as it comes, also into a pipe
    return true;
}

void ViewerSession::printSummary() {
    const double fps = m_summary.seconds > 0 ? m_summary.frames / m_summary.seconds : 0.0;
    char line[200];
    std::snprintf(line, sizeof line, "viewer frames=%ld fps=%.2f bytes=%llu heartbeats=%ld seconds=%.2f\n",
                  m_summary.frames, fps, static_cast<unsigned long long>(m_summary.bytes), m_summary.heartbeats,
                  m_summary.seconds);
    m_out << line;
    m_out.flush();
}

int ViewerSession::run() {
    const auto start = std::chrono::steady_clock::now();
    int status = 1;
    try {
        if (!connect() || !readGreeting()) return 1;
        if (m_options.ping) return runPing();
        if (m_options.listImages) return runListImages();
        if (!makeDirs(m_options.outDir)) {
            m_err << "viewer: cannot create " << m_options.outDir << "\n";
            return 1;
        }
        if (!requestFrames()) return 1;
        status = 0;
        while ((m_options.frames < 0 || m_summary.frames < m_options.frames) && secondsSince(start) < m_options.seconds) {
            if (!m_stream->waitForRecord(kSliceMs)) {
                if (m_stream->hasFailed()) {
                    m_err << "viewer: connection lost: " << m_stream->getFailure() << "\n";
                    status = 1;
                    break;
                }
                continue;
            }
            const unsigned short type = m_stream->getNextType();
            if (type != ktsl::TypeId::Frame) {
                other(type);
                continue;
            }
            const unsigned bytes = m_stream->read(m_frame);
            if (!saveFrame(bytes)) {
                status = 1;
                break;
            }
        }
    } catch (const std::exception& e) {
        m_err << "viewer: " << e.what() << "\n";
        status = 1;
    }
    m_summary.seconds = secondsSince(start);
    printSummary();
    return status;
}

bool parseViewerArgs(const std::vector<std::string>& args, ViewerOptions& o, std::string& error) {
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        double v = 0;
        if (a == "--no-tracks") {
            o.tracks = false;
        } else if (a == "--ping") {
            o.ping = true;
        } else if (a == "--list-images") {
            o.listImages = true;
        } else if (a == "--out" && hasValue) {
            o.outDir = args[++i];
        } else if (a == "--images" && hasValue) {
            o.images.clear();
            const std::string& list = args[++i];
            for (size_t from = 0; from <= list.size();) {
                size_t comma = list.find(',', from);
                if (comma == std::string::npos) comma = list.size();
                std::string name = list.substr(from, comma - from);
                while (!name.empty() && name.front() == ' ') name.erase(0, 1);
                while (!name.empty() && name.back() == ' ') name.pop_back();
                if (!name.empty()) o.images.push_back(name);
                from = comma + 1;
            }
        } else if ((a == "--rate" || a == "--fps") && hasValue && parseNumber(args[++i], 0, 65535, v)) {
            o.rate = static_cast<uint16_t>(v);
        } else if (a == "--frames" && hasValue && parseNumber(args[++i], 1, 1e9, v)) {
            o.frames = static_cast<long>(v);
        } else if (a == "--seconds" && hasValue && parseNumber(args[++i], 0.001, 1e7, v)) {
            o.seconds = v;
        } else if (a == "--quality" && hasValue && parseNumber(args[++i], 1, 100, v)) {
            o.quality = static_cast<int>(v);
        } else if (!a.empty() && a[0] != '-') {
            positional.push_back(a);
        } else {
            error = "bad option or value: " + a;
            return false;
        }
    }
    double port = 0;
    if (positional.size() != 2 || !parseNumber(positional[1], 1, 65535, port)) {
        error = "expected HOST and PORT (1-65535)";
        return false;
    }
    o.host = positional[0];
    o.port = static_cast<unsigned>(port);
    if (o.outDir.empty() && !o.ping && !o.listImages) {
        error = "--out DIR is required";
        return false;
    }
    return true;
}
