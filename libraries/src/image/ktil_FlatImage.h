// ktil::FlatImage<N>: an image object holding one kt_image record of N bytes per pixel.
#pragma once

#include <cstring>
#include <utility>

#include "kt_image.h"
#include "ktil_ImageBase.h"

namespace ktil {

// The record is owned and freed here. Resizing keeps the buffer when the shape is unchanged, so
// per-frame users that resize every frame allocate nothing in steady state.
template <unsigned N>
class FlatImage : public ImageBase {
    static_assert(N == 1 || N == 3 || N == 4, "flat images have 1, 3 or 4 bytes per pixel");

public:
    static const unsigned kChannels = N;

    FlatImage() = default;
    FlatImage(const FlatImage& other) : ImageBase() { copyFrom(other.m_image); }
    FlatImage(FlatImage&& other) noexcept : ImageBase() { std::swap(m_image, other.m_image); }
    FlatImage& operator=(const FlatImage& other) {
        if (this != &other) copyFrom(other.m_image);
        return *this;
    }
    FlatImage& operator=(FlatImage&& other) noexcept {
        std::swap(m_image, other.m_image);
        return *this;
    }
    ~FlatImage() override { kt_free_image(&m_image); }

    // Makes the image width x height: pixels kept when the shape is unchanged, else zero. False when
    // the byte count overflows or the buffer cannot be had (the image is then empty or without data).
    bool resize(unsigned width, unsigned height) {
        return kt_ensure_image(&m_image, width, height, N) == 1 && (m_image.size == 0 || m_image.data != nullptr);
    }
    // resize, then every byte set to `value`.
    bool resize(unsigned width, unsigned height, unsigned char value) {
        if (!resize(width, height)) return false;
        if (m_image.size != 0) std::memset(m_image.data, value, m_image.size);
        return true;
    }
    // Copies a consistent source of N channels, keeping the buffer when the shape fits. False (image
    // unchanged) for another channel count or an inconsistent source.
    bool assign(const kt_image& source) {
        if (source.channels != N || kt_image_consistent(&source) != 1) return false;
        return copyFrom(source);
    }
    // Exchanges records with `other`, which must be empty or hold N channels; false otherwise.
    bool swap(kt_image& other) {
        if (other.data != nullptr && other.channels != N) return false;
        std::swap(m_image, other);
        return true;
    }
    void free() { kt_free_image(&m_image); }

    kt_image& image() { return m_image; }
    const kt_image& image() const { return m_image; }
    unsigned char* data() { return m_image.data; }
    const unsigned char* data() const { return m_image.data; }

    unsigned getWidth() const override { return m_image.width; }
    unsigned getHeight() const override { return m_image.height; }
    unsigned getChannels() const override { return N; }
    const kt_image* getFlat() const override { return &m_image; }

private:
    bool copyFrom(const kt_image& source) {
        if (source.data == nullptr) {
            kt_free_image(&m_image);
            return true;
        }
        if (!resize(source.width, source.height)) return false;
        std::memcpy(m_image.data, source.data, m_image.size);
        return true;
    }

    kt_image m_image{};
};

}  // namespace ktil
