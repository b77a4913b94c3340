// ktst::WorkerThread: a two-request worker; request 0 is "new event", request 1 "timer".
#pragma once

#include "ktst_WorkerThreadEx.h"

namespace ktst {

class WorkerThread : public WorkerThreadEx<2> {
public:
    explicit WorkerThread(uint32_t timeoutMs = WAIT_INFINITE) : WorkerThreadEx<2>(timeoutMs) {}

    int onEvent(unsigned char index) override {
        if (index == 0)
            onNewEvent();
        else
            onTimer();
        return 0;
    }
    virtual void onNewEvent() {}
    virtual void onTimer() {}
};

}  // namespace ktst
