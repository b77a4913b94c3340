// EventOrigin: the one video address under which this process's spies and the application file events.
#pragma once

// The address of this site's default source (any machine "*", any camera "*", site "localsite").
// Every spy stores its events' objects under it and the application reads them back with it, so it
// must never change between the two; it is also what stored event frames carry as "frame-origin".
constexpr const char* kDefaultEventOrigin = "vantorel://localsite/*/*";
