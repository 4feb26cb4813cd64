#pragma once
// DICOM pictures through DCMTK: the first frame of an uncompressed grey or colour image.

#include "imagefile/formats/codec.h"

namespace gw {

// Reader only; the probe looks for "DICM" after the 128-byte preamble.
extern const FormatCodec kDicomCodec;

}  // namespace gw
