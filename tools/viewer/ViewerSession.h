// ViewerSession: one remote viewer's session with the frame server: greeting, request, frames saved.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Frame.h"
#include "TrackOverlay.h"
#include "ktsl_NetIOStream.h"

struct ViewerOptions {
    std::string host;
    unsigned port = 0;
    std::string outDir;
    std::vector<std::string> images{"Native Image"};
    uint16_t rate = 10;  // frames per second asked for; 0: every frame
    long frames = -1;    // stop after this many frames (-1: no limit)
    double seconds = 10.0;
    bool tracks = true;
    bool ping = false;        // only test the connection
    bool listImages = false;  // only list the images the server offers
    int quality = 85;
};

struct ViewerSummary {
    long frames = 0;
    uint64_t bytes = 0;
    long heartbeats = 0;  // the greeting included
    double seconds = 0.0;
    long filesWritten = 0;
    long framesWithObjects = 0;
};

// Runs on the calling thread; every wait is bounded (connecting, the greeting and each command's
// result within kAnswerMs; frames until the frame count or the time is reached).
class ViewerSession {
public:
    static constexpr uint32_t kAnswerMs = 5000;
    // Longest record accepted from the server: a large colour frame with every image.
    static constexpr unsigned kMaxRecordBytes = 64u << 20;
    // Longest single wait for a record, so that the time limit is kept.
    static constexpr uint32_t kSliceMs = 200;
    static constexpr const char* kUrl = "camera://embedded";

    ViewerSession(const ViewerOptions& options, std::ostream& out, std::ostream& err);
    ~ViewerSession();
    ViewerSession(const ViewerSession&) = delete;
    ViewerSession& operator=(const ViewerSession&) = delete;

    // The whole session; prints one line per frame and the summary line last. Returns the exit
    // status: 0, or 1 when the server cannot be reached, does not answer, refuses the request,
    // the connection is lost before the end, or a file cannot be written.
    int run();
    const ViewerSummary& summary() const { return m_summary; }

private:
    bool connect();
    bool readGreeting();
    int runPing();
    int runListImages();
    bool requestFrames();
    // Consumes one waiting record of another kind than the one awaited (heartbeats counted).
    void other(unsigned short type);
    bool saveFrame(unsigned recordBytes);
    bool saveImage(const kttl::String& name, const kt_image& picture);
    void printSummary();

    ViewerOptions m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    ktsl::NetIOStream* m_stream = nullptr;
    Frame m_frame;
    TrackOverlay m_overlay;
    kt_image m_colour = {};
    kt_image m_decoded = {};
    ViewerSummary m_summary;
};

// Parses `kt_viewer HOST PORT --out DIR [--images LIST] [--rate N | --fps N] [--frames N]
// [--seconds S] [--no-tracks] [--quality Q] [--ping] [--list-images]`; false with `error` set on a
// bad command line.
bool parseViewerArgs(const std::vector<std::string>& args, ViewerOptions& options, std::string& error);
