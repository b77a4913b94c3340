#include "kt_detection.h"

#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"
#include "kt_detection_report.h"

namespace {

void free_heap_image(kt_image** image) {
    if (!*image) return;
    kt_free_image(*image);
    std::free(*image);
    *image = nullptr;
}

// Replaces *queue by an empty queue of length images, freeing the queued images and *spare. When the
// new queue cannot be made, the old one and *spare are kept and 0 is returned.
int replace_queue(kt_queue* queue, kt_image** spare, uint32_t length) {
    kt_queue fresh;
    std::memset(&fresh, 0, sizeof(fresh));
    if (!kt_init_queue(&fresh, length)) return 0;
    kt_deinit_queue(queue);
    *queue = fresh;
    free_heap_image(spare);
    return 1;
}

}  // namespace

int kt_detection_init(float sensitivity, uint32_t kernel_width, uint32_t kernel_height,
                      uint32_t kernel_type, uint32_t image_queue_length, kt_detection* detector) {
    if (!detector || image_queue_length == 0) return 0;
    if (detector->initialized) kt_detection_deinit(detector);
    std::memset(detector, 0, sizeof(*detector));
    detector->sensitivity = sensitivity;
    if (!kt_conncomp_init(KT_DETECTION_GRAPH_CAPACITY, &detector->conncomp)) {
        kt_detection_report("kt_detection_init(...) - Unable to initialize connected components.");
        return 0;
    }
    if (!kt_init_kernel(&detector->kernel, kernel_width, kernel_height, kernel_type)) {
        kt_detection_report("kt_detection_init(...) - Unable to initialize kernel.");
        kt_conncomp_deinit(&detector->conncomp);
        std::memset(detector, 0, sizeof(*detector));
        return 0;
    }
    if (!kt_init_queue(&detector->frame_queue, KT_DETECTION_DEFAULT_SKIP) ||
        !kt_init_queue(&detector->diff_queue, image_queue_length)) {
        kt_deinit_queue(&detector->frame_queue);
        kt_free_kernel(&detector->kernel);
        kt_conncomp_deinit(&detector->conncomp);
        std::memset(detector, 0, sizeof(*detector));
        return 0;
    }
    detector->initialized = 1;
    return 1;
}

void kt_detection_deinit(kt_detection* detector) {
    if (!detector || !detector->initialized) return;
    kt_deinit_queue(&detector->diff_queue);
    kt_deinit_queue(&detector->frame_queue);
    free_heap_image(&detector->prev_frame);
    free_heap_image(&detector->spare_diff);
    kt_free_image(&detector->mask);
    kt_free_image(&detector->sum);
    kt_free_kernel(&detector->kernel);
    kt_conncomp_deinit(&detector->conncomp);
    std::memset(detector, 0, sizeof(*detector));
}

int kt_detection_reset(kt_detection* detector) {
    if (!detector || !detector->initialized) return 0;
    const float sensitivity = detector->sensitivity;
    const uint32_t width = detector->kernel.width, height = detector->kernel.height;
    const uint32_t type = detector->kernel.type;
    const uint32_t n = detector->diff_queue.capacity, k = detector->frame_queue.capacity;
    kt_detection_deinit(detector);
    if (!kt_detection_init(sensitivity, width, height, type, n, detector)) return 0;
    if (k != KT_DETECTION_DEFAULT_SKIP && !kt_set_skip_imageq_len(k, detector)) {
        kt_detection_deinit(detector);
        return 0;
    }
    return 1;
}

int kt_set_imageq_len(uint32_t n, kt_detection* detector) {
    if (!detector || !detector->initialized || n == 0) return 0;
    if (!replace_queue(&detector->diff_queue, &detector->spare_diff, n)) return 0;
    // The running sum must describe exactly the queued images, now none.
    if (detector->sum.data) std::memset(detector->sum.data, 0, detector->sum.size);
    if (detector->mask.data) std::memset(detector->mask.data, 0, detector->mask.size);
    return 1;
}

int kt_set_skip_imageq_len(uint32_t k, kt_detection* detector) {
    if (!detector || !detector->initialized || k == 0) return 0;
    return replace_queue(&detector->frame_queue, &detector->prev_frame, k);
}

uint32_t kt_get_imageq_len(const kt_detection* detector) {
    return detector ? detector->diff_queue.capacity : 0xFFFFFFFFu;
}

uint32_t kt_get_skip_imageq_len(const kt_detection* detector) {
    return detector ? detector->frame_queue.capacity : 0xFFFFFFFFu;
}

int kt_set_kernel(uint32_t width, uint32_t height, uint32_t type, kt_detection* detector) {
    if (!detector || !detector->initialized) return 0;
    kt_kernel kernel;
    std::memset(&kernel, 0, sizeof(kernel));
    if (!kt_init_kernel(&kernel, width, height, type)) return 0;
    kt_free_kernel(&detector->kernel);
    detector->kernel = kernel;
    return 1;
}

int kt_resize_images(uint32_t width, uint32_t height, kt_detection* detector) {
    if (!detector) return 0;
    return kt_resize_image(&detector->sum, width, height, 1, 0) &&
                   kt_resize_image(&detector->mask, width, height, 1, 0)
               ? 1
               : 0;
}

kt_image* kt_get_image(kt_image* image, uint32_t width, uint32_t height, uint32_t channels) {
    bool created = false;
    if (!image) {
        image = static_cast<kt_image*>(kt_calloc(1, sizeof(kt_image)));
        if (!image) {
            kt_detection_report("kt_get_diff_image(...) - Unable to allocate memory for pImage.");
            return nullptr;
        }
        created = true;
    }
    if (image->width == width && image->height == height && image->channels == channels &&
        (image->data || image->size == 0) && !created)
        return image;
    // A zero-sized shape has no buffer; treat it as a failure, since callers write into it.
    if (!kt_ensure_image(image, width, height, channels) || !image->data) {
        kt_detection_report("kt_get_diff_image(...) - Unable to initialize pImage");
        kt_free_image(image);
        if (created) std::free(image);
        return nullptr;
    }
    return image;
}
