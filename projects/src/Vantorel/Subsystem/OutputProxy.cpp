// OutputProxy: the pipeline's door to remote viewers: which images they want, and the finished frames.
#include "OutputProxy.h"

OutputProxy::OutputProxy(unsigned port, kttl::Logger* logger) : m_port(port) {
    setLogger(logger);
}

OutputProxy::~OutputProxy() = default;

void OutputProxy::getRequestedImages(ktsl::Set<kttl::String>& names, ktvl::Resolution&) const {
    names.clear();
}

void OutputProxy::updateFrameListeners(Frame&) {}
