// armhf_estimate: the camera's frame rate estimated from an instruction count. Emulation says nothing
// about time, so the 640x480 gray pipeline is counted natively under callgrind and scaled to a
// 1 GHz Cortex-A7 with a stated instructions-per-cycle and memory bandwidth.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// Cortex-A7: in-order, partially dual-issue. On streaming image loops with data-dependent branches it
// retires about half an instruction per cycle; higher figures hold only for cache-resident code.
constexpr double kA7InstructionsPerCycle = 0.5;
constexpr double kA7Hz = 1.0e9;
// The low end of such a camera's memory bandwidth; the estimate adds memory time to compute time
// (no overlap assumed on an in-order core).
constexpr double kA7BytesPerSecond = 1.0e9;

// Bytes the gray detection path streams per frame at width x height: the luma copy out of NV21 (2),
// frame differencing (change test and copies 4, running sum and threshold 5, erosion 4, output 2),
// the compact background comparison (frame, view, mask: 1 + view + 1), thresholding (2), four
// morphology passes (16), labelling (1), and one whole-model update per 500 ms of stream at 25 frames
// per second (frame, mask, the full records and the view). Object and event records are a few
// kilobytes and are left out.
double gray_pipeline_bytes(uint32_t width, uint32_t height);

// Runs `self --estimate-child [clip]` under valgrind's callgrind with instrumentation off until the
// child's client request turns it on for the counted frames; returns the instructions of the dumped
// part in `instructions`. False (with `error`) when valgrind is missing or the count is not found.
bool callgrind_instructions(const std::string& self, const std::string& clip, uint64_t& instructions,
                            std::string& error);

// The benchmark's last line:
//   armhf-estimate res=<w>x<h> insn_per_frame=<n> bytes_per_frame=<n> est_fps=<n>
std::string estimate_line(uint32_t width, uint32_t height, double insn_per_frame, double bytes_per_frame);

}  // namespace bench
