#pragma once
// Colour reduction of true-colour images to a palette of at most 16 or 256 colours.

#include <cstdint>
#include <vector>

#include "imagefile/raster.h"

namespace gw {

// A palette image: the colours, one index per pixel and, for writers, the transparent entry.
struct ReducedImage {
    std::vector<Rgb> Palette;           // the colours found, at most the target count
    std::vector<std::uint8_t> Indices;  // one per pixel, row by row from the top, unpadded
    int TransparentIndex = -1;          // -1: none
};

// Reduces an image (any pixel format; ie24RGB is the usual case) to at most maxColors colours
// (2..256). The alpha plane plays no part.
ReducedImage ReduceColors(const RasterImage& image, int maxColors);

}  // namespace gw
