// SimpleTracker: the per-frame pipeline object of the camera application.
//
// Not yet running the pipeline: this version checks and keeps its parameters and checks each frame's
// input image, but does no detection, tracking, classification or events, so that the application
// around it can start, run on real video and stop. The detection stages arrive with the pipeline.
#pragma once

#include <cstdint>

#include "LogInterface.h"
#include "ProcessFrame.h"
#include "ktml_Polygon2d.h"
#include "ktsl_List.h"
#include "ktsl_Set.h"
#include "kttl_Logger.h"
#include "kttl_String.h"

class SimpleTracker : public LogInterface {
public:
    // The configuration record. The event-spy list joins it with the event detection.
    struct Params {
        float sensitivity = 0.5f;       // detection sensitivity, 0..1
        float sceneSensitivity = 0.5f;  // lighting-change sensitivity, 0..1
        float minConfidence = 0.5f;     // minimum classification confidence of an event, 0..1
        int32_t minWidth = 5;           // minimum blob size in pixels
        int32_t minHeight = 11;
        int32_t mode = 4;               // 2 frame differencing, 3 background model, 4 both
        ktsl::Set<kttl::String> models;                         // classifier model files
        ktsl::List<ktml::Polygon2D<float>> exclusionZones;      // nothing is detected inside these
    };

    // `port` is where remote viewers will connect (0: none); with `logFps` the frame rate is logged.
    SimpleTracker(kttl::Logger* logger, unsigned port, bool logFps);
    ~SimpleTracker() override;
    SimpleTracker(const SimpleTracker&) = delete;
    SimpleTracker& operator=(const SimpleTracker&) = delete;

    // Refuses a sensitivity or scene sensitivity outside 0..1 (the last error message says which),
    // logs the detection settings and keeps the parameters.
    bool setParameters(const Params& params);
    // Checks that the frame holds "Native Image" in the form `colour` announces (colour, else gray;
    // "Invalid Input Image" otherwise) and counts it; no processing yet.
    bool process(ProcessFrame& frame, bool colour);

    const kttl::String& getLastError() const { return m_lastError; }
    const Params& getParameters() const { return m_params; }
    unsigned getPort() const { return m_port; }
    // Frames accepted by process(), and how many of them were in colour.
    uint64_t getFramesSeen() const { return m_framesSeen; }
    uint64_t getColourFrames() const { return m_colourFrames; }

private:
    void setError(const char* message, int place);

    Params m_params;
    kttl::String m_lastError;
    unsigned m_port;
    bool m_logFps;
    uint64_t m_framesSeen = 0;
    uint64_t m_colourFrames = 0;
};
