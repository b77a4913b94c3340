/* kt_process: one step of the motion detector: difference the new frame against the frame K+1 calls
 * back, keep the last N motion images and their running sum, and derive the foreground mask. */
#pragma once

#include <cstdint>

#include "kt_detection.h"
#include "kt_image.h"

/* Change thresholds in grey levels for sensitivity 1 and 0: threshold = (1 - s) x range + floor. */
#define KT_DETECTION_THRESHOLD_FLOOR 10
#define KT_DETECTION_THRESHOLD_RANGE 65.0f

/* Change threshold of a sensitivity: truncate((1 - s) x 65) + 10 for 0 <= s <= 1 (1 gives 10, 0.5
 * gives 42, 0 gives 75); 0 (any change counts) outside 0..1. */
uint32_t kt_detection_threshold(float sensitivity);

/* Feeds one frame (one or four channels) to the detector. The first K + 1 frames only fill the frame
 * queue (warm-up); then each frame gives a motion image (255 / N where the frame differs from the one
 * K + 1 calls back by more than the threshold: absolute difference for one channel, sum of squared
 * differences of bytes 0..2 above threshold squared for four), queued with the last N. Once N motion
 * images are queued, mask = every pixel that moved in any of them, eroded once (3x3) using scratch.
 * output, when given, receives a copy of the mask (re-created to its shape if needed).
 * A frame of another size restarts the detector (kt_detection_reset) and its warm-up.
 * scratch must be one channel of the frame's size. No allocation in steady state.
 * Returns 1; 0 without change for a null or uninitialised detector, a null, inconsistent or
 * wrong-channel frame, or a bad scratch; 0 after printing the kt_get_image message when a buffer
 * cannot be allocated (the detector stays usable), or when the reset fails. */
int kt_process(const kt_image* frame, kt_image* scratch, kt_image* output, kt_detection* detector);

/* The change test on its own: output byte = value where current differs from previous by more than
 * threshold (as kt_process), else 0; then current is copied into previous's buffer. previous and
 * current must have the same shape (one or four channels), output one channel of that width and
 * height. Returns 1; 0 (nothing written) otherwise. */
int kt_threshold(kt_image* previous, const kt_image* current, kt_image* output, uint32_t threshold,
                 unsigned char value);

/* Running-sum update, byte by byte modulo 256: sum = sum - oldest + newest (sum + newest when oldest
 * is null), eight bytes per step. All one-size images. Returns 1; 0 (nothing written) otherwise. */
int kt_combine(kt_image* sum, const kt_image* oldest, const kt_image* newest);

/* kt_combine for one byte. */
inline unsigned char kt_combine_val(unsigned char sum, unsigned char oldest, unsigned char newest) {
    return static_cast<unsigned char>(sum - oldest + newest);
}
