// Helpers shared by the blob-tracker tests: a list that frees itself, blob lists built from boxes,
// default inputs and painted frames.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "image_test_util.h"
#include "kt_tracker.h"

namespace kttest {

using Box = std::array<uint32_t, 4>;  // x, y, width, height

// A kt_object_list that frees itself.
struct List {
    kt_object_list l{};
    explicit List(int static_mode = 0) { kt_object_list_init(&l, static_mode); }
    ~List() { kt_object_list_free(&l); }
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    kt_object_list* get() { return &l; }
    std::vector<kt_object*> objects() const {
        std::vector<kt_object*> v;
        for (kt_object* o = l.head; o; o = o->next) v.push_back(o);
        return v;
    }
};

// A blob list held in a vector (linked in order); confidences default to 1.
struct Blobs {
    std::vector<kt_vertex> v;
    Blobs(const std::vector<Box>& boxes = {}, const std::vector<float>& conf = {}) { set(boxes, conf); }
    void set(const std::vector<Box>& boxes, const std::vector<float>& conf = {}) {
        v.assign(boxes.size(), kt_vertex{});
        for (size_t i = 0; i < boxes.size(); ++i) {
            v[i] = kt_vertex{boxes[i][0], boxes[i][1], boxes[i][2], boxes[i][3], i < conf.size() ? conf[i] : 1.0f,
                             i + 1 < boxes.size() ? &v[i + 1] : nullptr};
        }
    }
    const kt_vertex* head() const { return v.empty() ? nullptr : &v[0]; }
    int count() const { return int(v.size()); }
};

// The object tracker's usual settings: maturity 5, merges up to 5, 1 s coasting.
inline kt_tracker_input input(const kt_image* image, const Blobs& blobs, uint32_t now) {
    kt_tracker_input in{};
    in.image = image;
    in.blobs = blobs.head();
    in.blob_count = blobs.count();
    in.min_new_confidence = 0.5f;
    in.now = now;
    in.lost_timeout = 1000;
    in.maturity = 5;
    in.max_per_blob = 5;
    return in;
}

// Paints a box of one colour (b, g, r) into a four-channel image and, when given, a mask.
inline void paint(Image& img, Image* mask, const Box& b, unsigned char bl, unsigned char gr, unsigned char rd) {
    for (uint32_t y = b[1]; y < b[1] + b[3] && y < img.img.height; ++y)
        for (uint32_t x = b[0]; x < b[0] + b[2] && x < img.img.width; ++x) {
            img.at(x, y, 0) = bl, img.at(x, y, 1) = gr, img.at(x, y, 2) = rd;
            if (mask) mask->at(x, y) = 255;
        }
}

inline Box box_of(const kt_bbox& b) { return {b.x, b.y, b.width, b.height}; }

}  // namespace kttest
