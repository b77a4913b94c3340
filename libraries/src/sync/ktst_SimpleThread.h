// ktst::SimpleThread: one detached thread whose body is process().
#pragma once

#include "ktst_BasicThread.h"

namespace ktst {

class SimpleThread : public BasicThread<1> {
public:
    void process(int) override { process(); }
    // The thread body; it should return soon after the stop event is signalled.
    virtual void process() = 0;
};

}  // namespace ktst
