/* kt_bbox: the axis-aligned box of the detection core, covering columns x .. x+width-1 and rows
 * y .. y+height-1. */
#pragma once

#include <cstdint>

#include "kt_point.h"
#include "kt_segment.h"

typedef struct kt_bbox {
    uint32_t x;
    uint32_t y;
    uint32_t width;
    uint32_t height;
} kt_bbox;

/* Copies the four fields from source to destination; nulls ignored. */
void kt_bbox_cpy(kt_bbox* destination, const kt_bbox* source);

/* Keeps the box left of column W-1 and above row H-1: when x + width > W - 1, width becomes
 * W - x - 1 (0 when x >= W - 1); likewise height against H - 1. Null ignored. */
void kt_bbox_restrict(kt_bbox* box, uint32_t W, uint32_t H);

/* (x + width/2, y + height/2) with integer halves into *point; nulls ignored. */
void kt_bbox_center(const kt_bbox* box, kt_point* point);

/* 1 when x <= px < x + width and y <= py < y + height; 0 otherwise or for nulls. */
int kt_bbox_contains(const kt_bbox* box, const kt_point* point);

/* 1 when the box lies within a width x height image (x + width <= width, y + height <= height,
 * summed without wrapping); 0 otherwise or for null. The check every box-walking function makes
 * before it touches a pixel. */
int kt_bbox_inside(const kt_bbox* box, uint32_t width, uint32_t height);

/* Grows the box by left/top/right/bottom pixels; left and top only as far as 0 (l = min(left, x),
 * t = min(top, y)). Width and height saturate at UINT32_MAX. Null ignored. */
void kt_bbox_inflate(kt_bbox* box, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom);

/* Intersection area of two boxes, 0 when they are disjoint or either is null. 64-bit so that no
 * pair of 32-bit boxes overflows. */
uint64_t kt_bbox_overlap(const kt_bbox* a, const kt_bbox* b);

/* width x height in 64 bits; 0 for null. */
uint64_t kt_bbox_area(const kt_bbox* box);

/* 1 when the segment crosses any of the box's four edges (kt_intersects against the segments
 * through the corners x, y, x+width, y+height); a segment wholly inside does not count. Nulls: 0. */
int kt_bbox_intersects(const kt_bbox* box, const kt_segment* segment);
