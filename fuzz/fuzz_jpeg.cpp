// JPEG data as a frame's image map carries it: byte 0 picks the decoded channel count (1, 3 or 4),
// the rest is the compressed picture.
#include <cstdint>
#include <cstdlib>

#include "kt_image.h"
#include "ktil_ImageJPEG.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const unsigned kChannels[] = {1, 3, 4};
    const unsigned channels = kChannels[data[0] % 3];
    ktil::ImageJPEG jpeg;
    if (!jpeg.setData(data + 1, size - 1)) return 0;
    kt_image out = {};
    if (jpeg.decode(out, channels)) {
        // A decoded picture is whole and of the announced shape.
        if (!kt_image_consistent(&out) || out.channels != channels || out.width != jpeg.getWidth() ||
            out.height != jpeg.getHeight()) {
            std::abort();
        }
    }
    kt_free_image(&out);
    return 0;
}
