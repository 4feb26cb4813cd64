#pragma once
// Small pieces the library-backed readers and writers share: resolution units, the
// black-and-white and palette layouts the writers derive from a declared depth.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imagefile/ops/quantize.h"
#include "imagefile/raster.h"

namespace gw {

// Pixels per metre for a file's resolution field (PixelsPerMetreFromDpi: 0 for 0 dpi or less).
inline std::uint32_t PixelsPerMetreField(int dpi) {
    return PixelsPerMetreFromDpi(dpi);
}
// A resolution from a value in the given unit: dots per inch or per centimetre; 0 when the
// value is not positive.
int DpiFromUnit(double value, bool perCentimetre);

// Luminance 0..255 of a colour.
std::uint8_t Luminance(Rgb c);
bool IsGrey(Rgb c);
bool AllGrey(const std::vector<Rgb>& colors);
// True when every grey level of the palette is exactly representable with the bit depth.
bool GreyLevelsFit(const std::vector<Rgb>& colors, int bits);

// The image as 1-bit rows (first pixel in the most significant bit, 1 = white), each
// (width + 7) / 8 bytes: an ie1g image unchanged, others thresholded at half luminance.
std::vector<std::uint8_t> BlackWhiteRows(const RasterImage& image);

// A palette image for a writer, with its transparent entry.
using IndexedImage = ReducedImage;

enum class TransparentSlot { None, First, Last };

// Reduces the image to at most maxColors colours and, with a transparent slot, adds one
// more entry (coloured transparentColor) that every pixel with alpha below 255 takes.
// False when the reduction yields nothing (an empty image).
bool BuildIndexedImage(const RasterImage& image, int maxColors, TransparentSlot slot,
                       Rgb transparentColor, IndexedImage* out);

// Smallest of 1, 2, 4, 8 bits that numbers n entries and is at least minBits (at most 8).
int PaletteBitsFor(std::size_t n, int minBits);

}  // namespace gw
