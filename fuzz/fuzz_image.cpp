// kt_read_image: the input is the whole PGM/PPM file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ScratchFile.h"
#include "kt_image.h"
#include "kt_pnm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratchFile("image");
    if (!fuzz::writeFile(path, data, size)) return 0;
    kt_image image = {};
    if (kt_read_image(&image, path.c_str()) == 1) {
        // A read image is consistent and fits the file: at least two characters per value.
        if (!kt_image_consistent(&image) || uint64_t(image.width) * image.height > size) std::abort();
    }
    kt_free_image(&image);
    return 0;
}
