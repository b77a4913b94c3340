/* kt_kernel: the structuring element that decides how close two foreground pixels must be to belong
 * to one blob. */
#pragma once

#include <cstdint>

/* Cell values of a kernel. */
enum {
    KT_KERNEL_INSIDE = 0,      /* the cell belongs to the element */
    KT_KERNEL_OUTSIDE = 65535  /* the cell lies outside the element */
};

/* Element shapes. */
enum {
    KT_KERNEL_SQUARE = 0,
    KT_KERNEL_ELLIPSE = 1
};

typedef struct kt_kernel {
    uint32_t type;        /* KT_KERNEL_SQUARE or KT_KERNEL_ELLIPSE */
    uint32_t width;       /* odd, pixels */
    uint32_t height;      /* odd, pixels */
    uint32_t half_width;  /* width / 2 */
    uint32_t half_height; /* height / 2 */
    uint16_t* cells;      /* width x height, row-major: cell (i, j) at i + width x j; owned */
} kt_kernel;

/* Largest accepted kernel side in pixels. Bounds the cell allocation and the window the labeller scans
 * per foreground pixel; far above any element a camera pipeline uses. */
#define KT_KERNEL_MAX_SIDE 1023u

/* Builds a kernel into a zeroed or freed record (a live one would leak: use kt_free_kernel first).
 * An even width or height is raised by one. Type KT_KERNEL_ELLIPSE: cell (i, j) is inside when the
 * ellipse centred at (width/2, height/2) with the kernel's width and height as axes contains
 * (i + 0.5, j + 0.5); any other type: every cell inside.
 * Returns 1; 0 (record untouched) for a null kernel, a zero side or one above KT_KERNEL_MAX_SIDE, or
 * when the cells cannot be allocated (prints
 * "kt_init_kernel(...) - Unable to allocate memory for pKernelBuf."). */
int kt_init_kernel(kt_kernel* kernel, uint32_t width, uint32_t height, uint32_t type);

/* Frees the cells and zeroes the record. Null ignored; safe twice. */
void kt_free_kernel(kt_kernel* kernel);

/* 1 when the record can be walked by its shape: non-null cells, non-zero sides no larger than
 * KT_KERNEL_MAX_SIDE, halves equal to the integer halves of the sides. */
int kt_kernel_valid(const kt_kernel* kernel);
