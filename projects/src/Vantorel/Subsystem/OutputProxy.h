// OutputProxy: the pipeline's door to remote viewers: which images they want, and the finished frames.
#pragma once

#include "Frame.h"
#include "LogInterface.h"
#include "ktsl_Set.h"
#include "kttl_Logger.h"
#include "kttl_String.h"
#include "ktvl_Resolution.h"

// This build has no frame server yet: no viewer can connect, so no image is ever wanted and finished
// frames go nowhere. The pipeline already asks and hands frames over every frame, so the server only
// has to answer these two calls when it arrives.
class OutputProxy : public LogInterface {
  public:
    OutputProxy(unsigned port, kttl::Logger* logger);
    ~OutputProxy() override;
    OutputProxy(const OutputProxy&) = delete;
    OutputProxy& operator=(const OutputProxy&) = delete;

    unsigned getPort() const { return m_port; }
    // The union of the image names the connected viewers asked for, and the largest resolution any
    // of them wants. Empty (and resolution untouched) while nobody is connected. `names` is cleared
    // first.
    void getRequestedImages(ktsl::Set<kttl::String>& names, ktvl::Resolution& maximum) const;
    // Hands a finished frame to every viewer that is due one.
    void updateFrameListeners(Frame& frame);

  private:
    unsigned m_port;
};
