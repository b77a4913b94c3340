/* kt_pnm: ASCII PGM/PPM files of images, for debugging. */
#pragma once

#include "kt_image.h"

/* Longest path (terminator included) kt_write_image builds from the base path and extension. */
#define KT_PNM_PATH_MAX 4096

/* Writes base_path + ".pgm" (one channel, "P2") or ".ppm" (three or four channels, "P3") in ASCII:
 * header "P2\n" or "P3\n", "width height\n", "255\n", then one pixel per line. Three-channel pixels
 * are written as bytes 0 1 2, four-channel ones as bytes 2 1 0 (red first). Returns 1; 0 for null or
 * invalid images, other channel counts, a path that does not fit KT_PNM_PATH_MAX, or an I/O error. */
int kt_write_image(const kt_image* image, const char* base_path);

/* Reads an ASCII "P2 width height 255" (into a one-channel image) or "P3 ..." (into a four-channel
 * image: blue, green, red, 0) file. Refuses (0) unknown types, zero sizes, sizes whose byte count
 * overflows 32 bits or that the file is too short to hold, values outside 0..255 and files that end
 * early. The image is only changed once the whole file has been read successfully. */
int kt_read_image(kt_image* image, const char* path);
