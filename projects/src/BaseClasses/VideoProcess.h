// VideoProcess: the base of every processing plug-in that works on the frames of one camera.
#pragma once

#include <functional>
#include <atomic>
#include <list>
#include <map>
#include <mutex>

#include "ProcessFrame.h"
#include "ProcessParams.h"
#include "ktpl_Plugin.h"
#include "ktpl_PluginPtr.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"
#include "kttl_Integer.h"
#include "kttl_LogType.h"
#include "kttl_Logger.h"
#include "kttl_StatTracker.h"
#include "kttl_String.h"

// A process is created disabled with an empty name; setParameters names and (normally) enables it.
// processFrame() is the only entry point for per-frame work: it skips disabled processes, tells the
// process when the frame size or scale changed, and traps every failure of onProcessFrame() so that
// one bad frame never stops the chain (a thrown exception is logged and resets the process).
//
// Plug-ins built apart from this library call through the virtual table: keep the slot order.
class VideoProcess : public ktpl::Plugin {
  public:
    static const char* const kInterfaceId;

    VideoProcess();
    ~VideoProcess() override;
    VideoProcess(const VideoProcess&) = delete;
    VideoProcess& operator=(const VideoProcess&) = delete;

    // True (with *out set) for the video-process interface id.
    bool supports(const char* iid, ktpl::Plugin** out) override;
    virtual kttl::String getProcessType() const = 0;
    virtual kttl::String getProcessSubtype() const;
    // Enabled, with element name and name getProcessType().
    virtual ProcessParams getDefaultParameters() const;
    // Stores the logger (may be null), then onSetLogger().
    virtual void setLogger(kttl::Logger* logger);
    virtual void getSupportedAttributes(ktsl::Set<kttl::String>& names) const;
    virtual void getAttributes(ktsl::StringMap<kttl::String>& attributes) const;
    virtual void getSupportedImageTypes(ktsl::Set<kttl::String>& names) const;
    // Image name -> type mask the process needs in each frame.
    virtual void getRequiredImageTypes(ktsl::StringMap<kttl::Integer>& types) const;
    // Lets a process find its siblings in the chain.
    virtual void setProcesses(std::list<ktpl::PluginPtr<VideoProcess>>& processes);
    // Calls onFrameResize() when the frame's width, height or scale differs from the last one seen.
    virtual void reserveFrame(const ProcessFrame& frame);
    // Drops all state; called after a caught exception.
    virtual void resetProcess() = 0;
    // Logs every timing statistic (the first 10 samples dropped as warm-up) and forgets them.
    virtual void dumpStats();

    // Per-frame work under the fixed protocol; false when the process failed on this frame.
    bool processFrame(ProcessFrame& frame);
    void enable(bool enabled);
    bool isEnabled() const { return m_enabled.load(); }
    // onSetParameters() first: when it refuses, nothing changes. Then the size-dependent state is
    // rebuilt, the name taken and the enabled flag applied.
    bool setParameters(const ProcessParams& params);
    kttl::String getName() const;
    kttl::Logger* getLogger() const { return m_logger; }

    // "<name>: <message>" at `type`; false without a logger.
    bool log(kttl::LogType type, const kttl::String& message);
    bool log(kttl::LogType type, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // Starts / ends one timing sample of the named statistic (kt_tickcount milliseconds); a null
    // name does nothing; ending a statistic never started records the time since tick 0.
    void captureStats(const char* name);
    void releaseStats(const char* name);
    // Looked up without building a key, so timing a stage allocates nothing per frame.
    using StatMap = std::map<kttl::String, kttl::StatTracker, std::less<>>;
    const StatMap& getStats() const { return m_stats; }

    unsigned getFrameWidth() const;
    unsigned getFrameHeight() const;
    double getFrameScale() const;

  protected:
    virtual void onFrameResize(unsigned width, unsigned height, double scale);
    virtual bool onProcessFrame(ProcessFrame& frame) = 0;
    virtual void onSetLogger(kttl::Logger* logger);
    virtual void onEnable(bool enabled);
    virtual bool onSetParameters(const ProcessParams& params);

  private:
    // Parameters may be set from another thread while frames are processed: the name, the size
    // state and the protocol's resize and parameter steps are serialised by this lock (never held
    // during onProcessFrame, whose state the process guards itself).
    mutable std::recursive_mutex m_protocol;
    kttl::Logger* m_logger = nullptr;
    kttl::String m_name;
    std::atomic<bool> m_enabled{false};
    unsigned m_width = 0;
    unsigned m_height = 0;
    double m_scale = 1.0;
    StatMap m_stats;
};
