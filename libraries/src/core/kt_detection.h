/* kt_detection: the short-memory motion detector (frame differencing over a queue of motion images),
 * which also carries the structuring kernel and the connected-components state used on its mask. */
#pragma once

#include <cstdint>

#include "kt_conncomp.h"
#include "kt_detection_kernel.h"
#include "kt_image.h"
#include "kt_queue.h"

/* Labels the connected-components graph holds before it first grows. */
#define KT_DETECTION_GRAPH_CAPACITY 64u
/* Frames skipped between the two compared frames, minus one: frame n is compared with frame n-K-1. */
#define KT_DETECTION_DEFAULT_SKIP 1u

typedef struct kt_detection {
    kt_queue diff_queue;   /* the last N motion images */
    kt_image mask;         /* current foreground mask, one channel, 0 or 255 */
    kt_conncomp conncomp;  /* connected-components state */
    kt_image* prev_frame;  /* heap frame last evicted from frame_queue; receives the next frame */
    kt_queue frame_queue;  /* the last K frames */
    kt_image* spare_diff;  /* heap motion image last evicted from diff_queue, reused next */
    kt_image sum;          /* byte sum of the motion images in diff_queue, modulo 256 */
    kt_kernel kernel;      /* structuring element of the connected components */
    float sensitivity;     /* 0..1; sets the change threshold */
    uint32_t initialized;  /* non-zero after a successful kt_detection_init */
} kt_detection;

/* Sets up a detector (a previously initialised one is first released; otherwise the record must be
 * zeroed): sensitivity, a kernel of kernel_width x kernel_height of kernel_type, a connected-components
 * graph of KT_DETECTION_GRAPH_CAPACITY labels, empty mask and sum, K = 1 and N = image_queue_length.
 * Returns 1; 0 for a null detector or N = 0, and when a part cannot be created (prints
 * "kt_detection_init(...) - Unable to initialize connected components." or
 * "kt_detection_init(...) - Unable to initialize kernel."); on failure the record is left zeroed. */
int kt_detection_init(float sensitivity, uint32_t kernel_width, uint32_t kernel_height,
                      uint32_t kernel_type, uint32_t image_queue_length, kt_detection* detector);

/* Releases everything the detector owns (queued images, prev_frame, spare_diff, mask, sum, kernel,
 * connected components) and zeroes the record. Null or uninitialised: nothing. */
void kt_detection_deinit(kt_detection* detector);

/* Restarts the warm-up with unchanged settings: deinit, init with the same sensitivity, kernel and N,
 * then the same K. Returns 1; 0 for a null or uninitialised detector or when re-creating fails (the
 * detector is then uninitialised). */
int kt_detection_reset(kt_detection* detector);

/* Replaces the motion-image queue by an empty one of n images (freeing the queued ones and
 * spare_diff) and clears sum and mask, so the running sum matches the new, empty queue.
 * Returns 1; 0 for a null or uninitialised detector, n = 0, or when the queue cannot be created (the
 * old queue is then kept). */
int kt_set_imageq_len(uint32_t n, kt_detection* detector);

/* Replaces the frame queue by an empty one of k frames and forgets prev_frame, which restarts the
 * warm-up on the next frame. Returns as kt_set_imageq_len. */
int kt_set_skip_imageq_len(uint32_t k, kt_detection* detector);

/* N and K; 0xFFFFFFFF for a null detector (0 when uninitialised). */
uint32_t kt_get_imageq_len(const kt_detection* detector);
uint32_t kt_get_skip_imageq_len(const kt_detection* detector);

/* Replaces the kernel by a new one (kt_init_kernel rules). Returns 1; 0 for a null or uninitialised
 * detector or when the kernel cannot be built (the old kernel is then kept). */
int kt_set_kernel(uint32_t width, uint32_t height, uint32_t type, kt_detection* detector);

/* sum and mask become width x height, one channel, all 0. Returns 1; 0 for a null detector or an
 * allocation failure. */
int kt_resize_images(uint32_t width, uint32_t height, kt_detection* detector);

/* Returns image when its shape is already width x height x channels (pixels kept); otherwise
 * re-creates it with that shape (zero pixels). A null image is first allocated on the heap (free it
 * with kt_free_image and free()). Returns null after printing
 * "kt_get_diff_image(...) - Unable to allocate memory for pImage." (the record) or
 * "kt_get_diff_image(...) - Unable to initialize pImage" (the pixels); a record allocated here is then
 * freed again, a caller's record is left empty. */
kt_image* kt_get_image(kt_image* image, uint32_t width, uint32_t height, uint32_t channels);
