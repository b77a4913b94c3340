#include "kt_detection_kernel.h"

#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"
#include "kt_detection_report.h"
#include "kt_ellipse.h"

int kt_init_kernel(kt_kernel* kernel, uint32_t width, uint32_t height, uint32_t type) {
    if (!kernel || width == 0 || height == 0) return 0;
    if (width > KT_KERNEL_MAX_SIDE || height > KT_KERNEL_MAX_SIDE) return 0;
    // The element needs a centre cell, so both sides are odd.
    if ((width & 1u) == 0) ++width;
    if ((height & 1u) == 0) ++height;

    uint16_t* cells = static_cast<uint16_t*>(kt_calloc(static_cast<size_t>(width) * height,
                                                       sizeof(uint16_t)));
    if (!cells) {
        kt_detection_report("kt_init_kernel(...) - Unable to allocate memory for pKernelBuf.");
        return 0;
    }
    if (type == KT_KERNEL_ELLIPSE) {
        kt_ellipse ellipse;
        const kt_fpoint centre = {static_cast<float>(width) * 0.5f,
                                  static_cast<float>(height) * 0.5f};
        kt_init_ellipse(&ellipse, &centre, static_cast<float>(width), static_cast<float>(height));
        for (uint32_t j = 0; j < height; ++j)
            for (uint32_t i = 0; i < width; ++i)
                cells[i + width * j] =
                    kt_ellipse_contains(&ellipse, static_cast<float>(i) + 0.5f,
                                        static_cast<float>(j) + 0.5f)
                        ? KT_KERNEL_INSIDE
                        : KT_KERNEL_OUTSIDE;
    }
    // Any other type keeps every cell at 0 (inside) from the zero-filled allocation.
    kernel->type = type;
    kernel->width = width;
    kernel->height = height;
    kernel->half_width = width / 2;
    kernel->half_height = height / 2;
    kernel->cells = cells;
    return 1;
}

void kt_free_kernel(kt_kernel* kernel) {
    if (!kernel) return;
    std::free(kernel->cells);
    std::memset(kernel, 0, sizeof(*kernel));
}

int kt_kernel_valid(const kt_kernel* kernel) {
    return kernel && kernel->cells && kernel->width != 0 && kernel->height != 0 &&
                   kernel->width <= KT_KERNEL_MAX_SIDE && kernel->height <= KT_KERNEL_MAX_SIDE &&
                   kernel->half_width == kernel->width / 2 &&
                   kernel->half_height == kernel->height / 2
               ? 1
               : 0;
}
