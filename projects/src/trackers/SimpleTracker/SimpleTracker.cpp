// SimpleTracker: the per-frame pipeline object of the camera application (pipeline not yet running).
#include "SimpleTracker.h"

#include "MovingObjectParams.h"

SimpleTracker::SimpleTracker(kttl::Logger* logger, unsigned port, bool logFps) : m_port(port), m_logFps(logFps) {
    setLogger(logger);
}

SimpleTracker::~SimpleTracker() = default;

void SimpleTracker::setError(const char* message, int place) {
    m_lastError = kttl::String::format("%s: SimpleTracker (%d)", message, place);
}

bool SimpleTracker::setParameters(const Params& params) {
    // Written so that NaN is refused too.
    if (!(params.sensitivity >= 0.0f && params.sensitivity <= 1.0f)) {
        setError("Invalid Sensitivity", 474);
        return false;
    }
    if (!(params.sceneSensitivity >= 0.0f && params.sceneSensitivity <= 1.0f)) {
        setError("Invalid Scene Detection Sensitivity", 480);
        return false;
    }
    log(kttl::LogType::INFO,
        kttl::String::format("Initializing: sensitivity = %.2f, minSize=%dx%d",
                             MovingObjectParams::getBackgroundThreshold(params.sensitivity), params.minWidth,
                             params.minHeight));
    m_params = params;
    return true;
}

bool SimpleTracker::process(ProcessFrame& frame, bool colour) {
    const unsigned type = colour ? Frame::kColour : Frame::kGray;
    const kt_image* input = frame.getSetImage("Native Image", type);
    if (!frame.isImageSet("Native Image", type) || input == nullptr || kt_image_valid(input) != 1) {
        setError("Invalid Input Image", 120);
        return false;
    }
    ++m_framesSeen;
    if (colour) ++m_colourFrames;
    return true;
}
