// VideoProcess: the base of every processing plug-in that works on the frames of one camera.
#include "VideoProcess.h"

#include <cstdarg>
#include <exception>
#include <sstream>

#include "kt_tick.h"
#include "ktpl_InterfaceIds.h"

const char* const VideoProcess::kInterfaceId = ktpl::iid::VideoProcess;

VideoProcess::VideoProcess() = default;
VideoProcess::~VideoProcess() = default;

bool VideoProcess::supports(const char* iid, ktpl::Plugin** out) {
    if (!ktpl::isInterface(iid, ktpl::iid::VideoProcess))
        return false;
    if (out != nullptr)
        *out = this;
    return true;
}

kttl::String VideoProcess::getProcessSubtype() const {
    return kttl::String();
}

ProcessParams VideoProcess::getDefaultParameters() const {
    ProcessParams params;
    params.setEnabled(true);
    params.setElementName(getProcessType());
    params.setName(getProcessType());
    return params;
}

void VideoProcess::setLogger(kttl::Logger* logger) {
    m_logger = logger;
    onSetLogger(logger);
}

void VideoProcess::getSupportedAttributes(ktsl::Set<kttl::String>&) const {}
void VideoProcess::getAttributes(ktsl::StringMap<kttl::String>&) const {}
void VideoProcess::getSupportedImageTypes(ktsl::Set<kttl::String>&) const {}
void VideoProcess::getRequiredImageTypes(ktsl::StringMap<kttl::Integer>&) const {}
void VideoProcess::setProcesses(std::list<ktpl::PluginPtr<VideoProcess>>&) {}

kttl::String VideoProcess::getName() const {
    std::lock_guard<std::recursive_mutex> lock(m_protocol);
    return m_name;
}

unsigned VideoProcess::getFrameWidth() const {
    std::lock_guard<std::recursive_mutex> lock(m_protocol);
    return m_width;
}

unsigned VideoProcess::getFrameHeight() const {
    std::lock_guard<std::recursive_mutex> lock(m_protocol);
    return m_height;
}

double VideoProcess::getFrameScale() const {
    std::lock_guard<std::recursive_mutex> lock(m_protocol);
    return m_scale;
}

void VideoProcess::reserveFrame(const ProcessFrame& frame) {
    std::lock_guard<std::recursive_mutex> lock(m_protocol);
    const unsigned width = static_cast<unsigned>(frame.getResolution().getWidth());
    const unsigned height = static_cast<unsigned>(frame.getResolution().getHeight());
    const double scale = frame.getScale();
    if (width == m_width && height == m_height && scale == m_scale)
        return;
    onFrameResize(width, height, scale);
    m_width = width;
    m_height = height;
    m_scale = scale;
}

void VideoProcess::dumpStats() {
    for (auto& entry : m_stats) {
        kttl::StatTracker& stat = entry.second;
        stat.popFront(10);
        std::ostringstream line;
        line << entry.first << " -- mean: " << stat.mean() << ", median: " << stat.median()
             << ", samples: " << stat.size();
        log(kttl::LogType::INFO, kttl::String(line.str()));
    }
    m_stats.clear();
}

bool VideoProcess::processFrame(ProcessFrame& frame) {
    if (!m_enabled)
        return true;
    try {
        reserveFrame(frame);
        if (onProcessFrame(frame))
            return true;
        const int64_t position = frame.getPosition().getMilliseconds();
        const uint64_t ms = position > 0 ? static_cast<uint64_t>(position) : 0;
        log(kttl::LogType::ERR, "Couldn't process frame at %02d:%02d:%02d.%03d.",
            static_cast<int>((ms / 3600000) % 24), static_cast<int>((ms / 60000) % 60),
            static_cast<int>((ms / 1000) % 60), static_cast<int>(ms % 1000));
        return false;
    } catch (const std::exception& e) {
        log(kttl::LogType::ERR,
            kttl::String::format("%s - Caught Exception (resetting process): %s", m_name.c_str(), e.what()));
    } catch (...) {
        log(kttl::LogType::ERR,
            kttl::String::format("%s - Caught Unknown Exception (resetting process).", m_name.c_str()));
    }
    // A reset that fails in turn must not take the chain down with it.
    try {
        resetProcess();
    } catch (...) {
    }
    return false;
}

void VideoProcess::enable(bool enabled) {
    if (enabled == m_enabled)
        return;
    onEnable(enabled);
    m_enabled = enabled;
}

bool VideoProcess::setParameters(const ProcessParams& params) {
    if (!onSetParameters(params))
        return false;
    onFrameResize(m_width, m_height, m_scale);
    m_name = params.getName();
    enable(params.isEnabled());
    return true;
}

bool VideoProcess::log(kttl::LogType type, const kttl::String& message) {
    if (m_logger == nullptr)
        return false;
    return m_logger->log(type, m_name + ": " + message);
}

bool VideoProcess::log(kttl::LogType type, const char* format, ...) {
    if (m_logger == nullptr || format == nullptr)
        return false;
    va_list args;
    va_start(args, format);
    kttl::String message = kttl::String::vformat(format, args);
    va_end(args);
    return log(type, message);
}

void VideoProcess::captureStats(const char* name) {
    if (name == nullptr)
        return;
    auto it = m_stats.find(name);
    if (it == m_stats.end())
        it = m_stats.emplace(name, kttl::StatTracker()).first;
    it->second.setStartTick(kt_tickcount());
}

void VideoProcess::releaseStats(const char* name) {
    if (name == nullptr)
        return;
    auto it = m_stats.find(name);
    if (it == m_stats.end())
        it = m_stats.emplace(name, kttl::StatTracker()).first;
    it->second.stop();
}

void VideoProcess::onFrameResize(unsigned, unsigned, double) {}
void VideoProcess::onSetLogger(kttl::Logger*) {}
void VideoProcess::onEnable(bool) {}
bool VideoProcess::onSetParameters(const ProcessParams&) {
    return true;
}
