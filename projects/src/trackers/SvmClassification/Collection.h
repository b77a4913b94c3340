// Collection: the plug-in interface of a process that can gather training data while tracking.
#pragma once

#include "ktpl_Plugin.h"
#include "kttl_String.h"

class Collection : public ktpl::Plugin {
  public:
    virtual kttl::String getCollectionType() const = 0;
    // Whether frames also feed training-data upkeep (the camera application never collects).
    virtual void setCollecting(bool collecting) = 0;
    virtual bool isCollecting() const = 0;
};
