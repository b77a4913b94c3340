#include "kt_pnm.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

int kt_write_image(const kt_image* image, const char* base_path) {
    if (!base_path || !kt_image_consistent(image)) return 0;
    const uint32_t ch = image->channels;
    if (ch != 1 && ch != 3 && ch != 4) return 0;
    char path[KT_PNM_PATH_MAX];
    const int n = std::snprintf(path, sizeof(path), "%s.%s", base_path, ch == 1 ? "pgm" : "ppm");
    if (n < 0 || size_t(n) >= sizeof(path)) return 0;
    FILE* f = std::fopen(path, "w+");
    if (!f) return 0;
    bool ok = std::fprintf(f, "%s", ch == 1 ? "P2\n" : "P3\n") > 0 &&
              std::fprintf(f, "%d %d\n", int(image->width), int(image->height)) > 0 &&
              std::fprintf(f, "255\n") > 0;
    const unsigned char* p = image->data;
    const uint32_t pixels = image->width * image->height;
    for (uint32_t i = 0; ok && i < pixels; ++i, p += ch) {
        if (ch == 1)
            ok = std::fprintf(f, "%d\n", p[0]) > 0;
        else if (ch == 3)
            ok = std::fprintf(f, "%d %d %d\n", p[0], p[1], p[2]) > 0;
        else
            ok = std::fprintf(f, "%d %d %d\n", p[2], p[1], p[0]) > 0;
    }
    if (std::fclose(f) != 0) ok = false;
    return ok ? 1 : 0;
}

namespace {

// Reads the next whitespace-separated decimal number. Values above max_value (and signs, which no
// valid file has) are refused; a value is capped while scanning so a long digit run cannot overflow.
bool read_number(FILE* f, uint32_t max_value, uint32_t* out, bool skip_space = true) {
    int c = std::fgetc(f);
    if (skip_space) {
        while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            c = std::fgetc(f);
    }
    if (c < '0' || c > '9') return false;
    uint64_t v = 0;
    while (c >= '0' && c <= '9') {
        if (v <= max_value) v = v * 10 + uint32_t(c - '0');
        c = std::fgetc(f);
    }
    if (c != EOF) std::ungetc(c, f);
    if (v > max_value) return false;
    *out = uint32_t(v);
    return true;
}

}  // namespace

int kt_read_image(kt_image* image, const char* path) {
    if (!image || !path) return 0;
    FILE* f = std::fopen(path, "r");
    if (!f) return 0;
    int result = 0;
    kt_image tmp = {nullptr, 0, 0, 0, 0};
    do {
        struct stat st;
        // The file's length bounds what its header may claim; a stream of unknown length is refused.
        if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) break;
        uint32_t type = 0, width = 0, height = 0, maxval = 0;
        if (std::fgetc(f) != 'P' || !read_number(f, 9, &type, false)) break;
        if (type != 2 && type != 3) break;
        if (!read_number(f, UINT32_MAX, &width) || !read_number(f, UINT32_MAX, &height) ||
            !read_number(f, UINT32_MAX, &maxval) || maxval != 255)
            break;
        if (width == 0 || height == 0) break;
        const uint32_t channels = type == 2 ? 1 : 4;
        uint32_t bytes = 0;
        if (!kt_image_bytes(width, height, channels, &bytes)) break;
        // Every value takes at least one digit and one separator.
        const long here = std::ftell(f);
        if (here < 0) break;
        const uint64_t values = uint64_t(width) * height * (type == 2 ? 1 : 3);
        const uint64_t left = uint64_t(st.st_size) > uint64_t(here) ? uint64_t(st.st_size) - here : 0;
        if (values * 2 > left + 1) break;
        if (!kt_init_image(&tmp, width, height, channels)) break;
        bool ok = true;
        unsigned char* p = tmp.data;
        const uint32_t pixels = width * height;
        for (uint32_t i = 0; ok && i < pixels; ++i, p += channels) {
            uint32_t r = 0, g = 0, b = 0;
            if (type == 2) {
                ok = read_number(f, 255, &r);
                p[0] = static_cast<unsigned char>(r);
            } else {
                ok = read_number(f, 255, &r) && read_number(f, 255, &g) && read_number(f, 255, &b);
                p[0] = static_cast<unsigned char>(b);
                p[1] = static_cast<unsigned char>(g);
                p[2] = static_cast<unsigned char>(r);
                p[3] = 0;
            }
        }
        if (!ok) break;
        kt_free_image(image);
        *image = tmp;
        tmp = kt_image{nullptr, 0, 0, 0, 0};
        result = 1;
    } while (false);
    kt_free_image(&tmp);
    std::fclose(f);
    return result;
}
