// ktil::ImageBase: what every image object tells about itself, so one call can take any of them.
#pragma once

#include "kt_image.h"

namespace ktil {

class ImageJPEG;

class ImageBase {
public:
    virtual ~ImageBase();

    virtual unsigned getWidth() const = 0;
    virtual unsigned getHeight() const = 0;
    // Bytes per pixel of a flat image; colour components of an encoded one.
    virtual unsigned getChannels() const = 0;
    // The pixels as a plain record, or null for an encoded picture.
    virtual const kt_image* getFlat() const { return nullptr; }
    // The encoded picture, or null for a flat one.
    virtual const ImageJPEG* getJPEG() const { return nullptr; }

    bool isEmpty() const { return getWidth() == 0 || getHeight() == 0; }
};

}  // namespace ktil
