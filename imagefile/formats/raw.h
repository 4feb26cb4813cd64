#pragma once
// Camera raw pictures through LibRaw: the developed RGB image, or the camera's own preview
// when a small picture is asked for.

#include "imagefile/formats/codec.h"

namespace gw {

// Reader only. The probe knows the camera files that are not TIFF-structured; TIFF-structured
// ones (NEF, CR2, PEF, ...) are recognised as TIFF and named camera raw by their extension.
extern const FormatCodec kCameraRawCodec;

}  // namespace gw
