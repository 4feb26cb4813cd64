#pragma once
// Portable bitmap, graymap and pixmap files: which of the three a writer produces.

#include <cstdint>
#include <string_view>
#include <vector>

#include "imagefile/error.h"
#include "imagefile/raster.h"

namespace gw {

enum class PnmKind {
    Auto,     // bitmap for black-and-white images, graymap for grey ones, pixmap otherwise
    Bitmap,   // P4
    Graymap,  // P5
    Pixmap    // P6
};

// The kind a file name's extension asks for: ".pbm", ".pgm", ".ppm" (any case); Auto otherwise
// (".pxm" among them).
PnmKind PnmKindForExtension(std::string_view extension);

// Writes the holder's image as a binary portable file of that kind (kPnmCodec.Write is Auto).
ImageError WritePnm(ImageHolder& holder, std::vector<std::uint8_t>& out, PnmKind kind);

}  // namespace gw
