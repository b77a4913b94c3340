/* kt_hsv: single-pixel conversion between RGB bytes and hue-saturation-value floats. */
#pragma once

/* h in degrees 0..360, s and v in 0..1 from r, g, b in 0..255. Ties in the maximum go to red, then
 * green. A gray pixel gives h 0, s 0 (black too). Returns 1; 0 for null outputs. */
int kt_rgb_to_hsv(unsigned char r, unsigned char g, unsigned char b, float* h, float* s, float* v);

/* Inverse of kt_rgb_to_hsv: each component times 255, truncated and clamped to 0..255. Returns 1;
 * 0 (outputs untouched) for null outputs or any negative or non-finite input. */
int kt_hsv_to_rgb(float h, float s, float v, unsigned char* r, unsigned char* g, unsigned char* b);
