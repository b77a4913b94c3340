// ktil::ImageJPEG: a picture held as JPEG bytes, encoded and decoded through libjpeg.
#include "ktil_ImageJPEG.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace ktil {

namespace {

// Bound on libjpeg's whole-image buffers (progressive pictures): enough for 4096 x 4096 colour.
const long kMaxDecoderBytes = 192L * 1024 * 1024;

// libjpeg calls error_exit on any error and expects it not to return; jumping back to the call
// site is its documented way out. The functions that set the jump hold only plain locals.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void onError(j_common_ptr info) { longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1); }
void onMessage(j_common_ptr) {}

// Every 8x8 block of a picture costs at least one bit of entropy-coded data (its DC code), so no
// whole JPEG holds more than 512 pixels per byte. A header announcing more is a lie or a truncated
// file, refused before the output buffer is allocated from it.
const unsigned long long kMaxPixelsPerByte = 512;

bool sizeFits(unsigned width, unsigned height, size_t length) {
    return width != 0 && height != 0 && width <= ImageJPEG::kMaxSide && height <= ImageJPEG::kMaxSide &&
           static_cast<unsigned long long>(width) * height <= kMaxPixelsPerByte * length;
}

void installErrors(ErrorManager& errors, j_common_ptr info) {
    info->err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onError;
    errors.pub.output_message = onMessage;
}

struct Header {
    unsigned width;
    unsigned height;
    unsigned components;
};

// Reads the header of `bytes`; false when it does not read or describes nothing we accept.
bool readHeader(const unsigned char* bytes, size_t length, Header* header) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    installErrors(errors, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(length));
    const bool ok = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK &&
                    sizeFits(info.image_width, info.image_height, length) &&
                    ((info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE) ||
                     (info.num_components == 3 && (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB)));
    header->width = info.image_width;
    header->height = info.image_height;
    header->components = static_cast<unsigned>(info.num_components);
    jpeg_destroy_decompress(&info);
    return ok;
}

// Decodes into the empty record `out` (allocated here; the caller frees it on failure too).
bool decodeInto(const unsigned char* bytes, size_t length, unsigned channels, kt_image* out) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    installErrors(errors, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = kMaxDecoderBytes;
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(length));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !sizeFits(info.image_width, info.image_height, length)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = channels == 1 ? JCS_GRAYSCALE : channels == 3 ? JCS_EXT_BGR : JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    uint32_t size = 0;
    if (static_cast<unsigned>(info.output_components) != channels ||
        kt_image_bytes(info.output_width, info.output_height, channels, &size) != 1 ||
        kt_init_image(out, info.output_width, info.output_height, channels) != 1 || out->data == nullptr) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const size_t stride = static_cast<size_t>(out->width) * channels;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out->data + static_cast<size_t>(info.output_scanline) * stride;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    }
    const bool complete = info.output_scanline == info.output_height;
    if (complete) jpeg_finish_decompress(&info);
    const bool clean = complete && errors.pub.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return clean;
}

// Encodes `image` into a buffer libjpeg allocates (*buffer, freed by the caller even on failure).
bool encodeInto(const kt_image* image, int quality, unsigned char** buffer, unsigned long* length) {
    jpeg_compress_struct info;
    ErrorManager errors;
    installErrors(errors, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, length);
    info.image_width = image->width;
    info.image_height = image->height;
    info.input_components = static_cast<int>(image->channels);
    info.in_color_space = image->channels == 1 ? JCS_GRAYSCALE : image->channels == 3 ? JCS_EXT_BGR : JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = static_cast<size_t>(image->width) * image->channels;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = image->data + static_cast<size_t>(info.next_scanline) * stride;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

bool ImageJPEG::encode(const kt_image& image, int quality) {
    if (kt_image_consistent(&image) != 1 || (image.channels != 1 && image.channels != 3 && image.channels != 4) ||
        image.width > kMaxSide || image.height > kMaxSide) {
        return false;
    }
    quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    const bool ok = encodeInto(&image, quality, &buffer, &length);
    if (ok) {
        m_bytes.assign(buffer, buffer + length);
        m_width = image.width;
        m_height = image.height;
        m_components = image.channels == 1 ? 1 : 3;
    }
    std::free(buffer);
    return ok;
}

bool ImageJPEG::setData(const unsigned char* bytes, size_t length) {
    Header header{};
    if (bytes == nullptr || length == 0 || !readHeader(bytes, length, &header)) return false;
    m_bytes.assign(bytes, bytes + length);
    m_width = header.width;
    m_height = header.height;
    m_components = header.components;
    return true;
}

bool ImageJPEG::decode(kt_image& out, unsigned channels) const {
    if (m_bytes.empty() || (channels != 1 && channels != 3 && channels != 4)) return false;
    kt_image decoded{};
    if (!decodeInto(m_bytes.data(), m_bytes.size(), channels, &decoded)) {
        kt_free_image(&decoded);
        return false;
    }
    if (channels == 4) {
        for (uint32_t i = 3; i < decoded.size; i += 4) decoded.data[i] = 0;
    }
    if (out.width == decoded.width && out.height == decoded.height && out.channels == channels && out.data != nullptr) {
        std::memcpy(out.data, decoded.data, decoded.size);  // keep the caller's buffer
        kt_free_image(&decoded);
    } else {
        kt_free_image(&out);
        out = decoded;
    }
    return true;
}

void ImageJPEG::clear() {
    m_bytes.clear();
    m_width = m_height = m_components = 0;
}

}  // namespace ktil
