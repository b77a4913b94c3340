// AdaptiveBackground: what the object tracker asks of a sibling process that models the background,
// to tell stationary objects that are really background from real ones.
#pragma once

#include "ktml_BoundingBox.h"
#include "ktpl_Plugin.h"

// No process of this system implements it; the tracker's false-object removal runs only when a
// sibling answers this interface id.
class AdaptiveBackground : public ktpl::Plugin {
  public:
    static const char* const kInterfaceId;
    // How much the region (frame pixels at the processing scale) looks like background, 0..1.
    virtual float backgroundLikeness(const ktml::BoundingBox<int>& region) = 0;
};
