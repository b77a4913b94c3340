// FrameDigest: a fingerprint of what the pipeline saw and decided on one frame, so that two runs over
// the same frames (two platforms, two builds) can be compared line by line.
#pragma once

#include <cstdint>
#include <string>

#include "Event.h"
#include "ProcessFrame.h"
#include "ktsl_List.h"

// One text line for frame `index`, after the pipeline has processed `frame` and raised `events`:
//   frame=<n> fg=<fraction> mask=<hash|-> blobs=<count>:<hash> objects=<count>:<hash> events=<count>:<hash>
// fg is the frame's foreground-pixels attribute; mask hashes the closed foreground image ("-" when the
// frame carries none); blobs hash the "Moving" detections' boxes and confidences; objects their ids,
// states and newest boxes; events their spy types, types, subtitles, object ids and confidences. Wall-clock
// times are left out: they differ between any two runs. Hashes are 64-bit FNV-1a over fixed-width
// little-endian fields, the same on every platform.
std::string frameDigest(uint64_t index, const ProcessFrame& frame, const ktsl::List<Event>& events);
