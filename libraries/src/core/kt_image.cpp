#include "kt_image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"

int kt_image_bytes(uint32_t width, uint32_t height, uint32_t channels, uint32_t* size) {
    if (!size) return 0;
    uint64_t bytes = static_cast<uint64_t>(width) * height;
    if (bytes > UINT32_MAX) return 0;
    bytes *= channels;
    if (bytes > UINT32_MAX) return 0;
    *size = static_cast<uint32_t>(bytes);
    return 1;
}

int kt_init_image(kt_image* image, uint32_t width, uint32_t height, uint32_t channels) {
    if (!image) return 0;
    uint32_t size = 0;
    if (!kt_image_bytes(width, height, channels, &size)) {
        std::memset(image, 0, sizeof(*image));
        return 0;
    }
    image->width = width;
    image->height = height;
    image->channels = channels;
    image->size = size;
    image->data = nullptr;
    if (size == 0) return 1;
    image->data = static_cast<unsigned char*>(kt_calloc(size, 1));
    if (!image->data) {
        std::printf("kt_init_image(...) - Unable to allocate memory for new buffer.\n");
        std::fflush(stdout);
        return 0;
    }
    return 1;
}

void kt_free_image(kt_image* image) {
    if (!image) return;
    std::free(image->data);
    std::memset(image, 0, sizeof(*image));
}

int kt_ensure_image(kt_image* image, uint32_t width, uint32_t height, uint32_t channels) {
    if (!image) return 0;
    uint32_t size = 0;
    if (!kt_image_bytes(width, height, channels, &size)) return 0;
    if (image->width == width && image->height == height && image->channels == channels &&
        image->size == size && (image->data || size == 0))
        return 1;
    kt_free_image(image);
    return kt_init_image(image, width, height, channels);
}

int kt_resize_image(kt_image* image, uint32_t width, uint32_t height, uint32_t channels,
                    unsigned char fill) {
    if (!kt_ensure_image(image, width, height, channels)) return 0;
    if (image->data) std::memset(image->data, fill, image->size);
    return 1;
}

int kt_image_valid(const kt_image* image) {
    return image && image->data && image->size != 0 ? 1 : 0;
}

uint32_t kt_image_index(const kt_image* image, uint32_t x, uint32_t y) {
    if (!image) return 0;
    return image->channels * (x + image->width * y);
}

int kt_image_consistent(const kt_image* image) {
    if (!kt_image_valid(image)) return 0;
    uint32_t size = 0;
    return kt_image_bytes(image->width, image->height, image->channels, &size) &&
                   size == image->size
               ? 1
               : 0;
}
