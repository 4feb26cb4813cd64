#pragma once
// HD Photo (JPEG XR) pictures through jxrlib.

#include "imagefile/formats/codec.h"

namespace gw {

// Reader and lossless writer: 8-bit grey, BGR, or BGRA when the picture has transparency.
extern const FormatCodec kHdPhotoCodec;

}  // namespace gw
