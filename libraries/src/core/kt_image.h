/* kt_image: the plain image record shared by the detection core, the image classes and the frame
 * loop, and its lifetime functions. Rows are unpadded; pixel (x, y) starts at byte
 * channels x (x + width x y). Channels: 1 gray/label/mask (masks hold 0 or 255), 3 colour,
 * 4 colour blue-green-red-fourth. */
#pragma once

#include <cstdint>

typedef struct kt_image {
    unsigned char* data; /* owned; width x height x channels bytes, or null */
    uint32_t width;      /* pixels per row */
    uint32_t height;     /* rows */
    uint32_t channels;   /* bytes per pixel */
    uint32_t size;       /* buffer length in bytes, always width x height x channels */
} kt_image;

/* Byte count width x height x channels written to *size; returns 0 (and leaves *size alone) when the
 * product does not fit in 32 bits or size is null. Every shape taken from outside goes through here. */
int kt_image_bytes(uint32_t width, uint32_t height, uint32_t channels, uint32_t* size);

/* Sets the shape of an uninitialised (or freed) record and allocates its zero-filled buffer.
 * Does not free a previous buffer: use kt_ensure_image on a live record.
 * Returns 1; a zero-byte shape gives 1 with data null. Returns 0 for a null image; for a shape whose
 * byte count overflows 32 bits (record left all zero); and when the allocation fails (record keeps
 * the new shape with data null, after printing
 * "kt_init_image(...) - Unable to allocate memory for new buffer." to standard output). */
int kt_init_image(kt_image* image, uint32_t width, uint32_t height, uint32_t channels);

/* Frees data (if any) and zeroes all five fields. Null is ignored. */
void kt_free_image(kt_image* image);

/* Per-frame shape check: returns 1 at once, pixels kept, when width, height and channels already
 * match and the buffer is present (or the shape is empty). Otherwise frees and re-creates the record
 * with zero pixels as kt_init_image does (same message and result on allocation failure).
 * Null image or overflowing shape: 0, record untouched. */
int kt_ensure_image(kt_image* image, uint32_t width, uint32_t height, uint32_t channels);

/* kt_ensure_image, then every byte set to fill. Returns kt_ensure_image's result. */
int kt_resize_image(kt_image* image, uint32_t width, uint32_t height, uint32_t channels,
                    unsigned char fill);

/* 1 when image is non-null, has data and a non-zero size, else 0. Does not check the shape. */
int kt_image_valid(const kt_image* image);

/* Byte offset channels x (x + width x y) of pixel (x, y); 0 for a null image. The caller ensures
 * x < width and y < height. */
uint32_t kt_image_index(const kt_image* image, uint32_t x, uint32_t y);

/* 1 when the record is valid and size equals width x height x channels (the invariant every
 * function relies on before walking a buffer by its shape). */
int kt_image_consistent(const kt_image* image);
