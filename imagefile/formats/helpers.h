#pragma once
// Small pieces the hand-written picture codecs share: sample scaling, palette images and
// byte output.

#include <cstdint>
#include <vector>

#include "imagefile/formats/codec.h"
#include "imagefile/ops/quantize.h"
#include "imagefile/raster.h"

namespace gw {

// A sample of 0..maxValue scaled to 0..255, rounded; values above maxValue give 255.
inline std::uint8_t ScaleToByte(std::uint32_t value, std::uint32_t maxValue) {
    if (maxValue == 0 || value >= maxValue) return maxValue == 0 ? 0 : 255;
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(value) * 255 + maxValue / 2) /
                                     maxValue);
}

// Turns an ie8p image (indices already bounded by the caller or not) into what readers deliver:
// ie1g when the palette is exactly black and white (in either order) and allowBlackWhite is
// set, ie24RGB otherwise. Indices beyond the palette come out black.
RasterImage ExpandIndexed(const RasterImage& indexed, bool allowBlackWhite);

// The picture reduced to at most maxColors colours, with the result checked for consistency
// (one index per pixel, every index inside a non-empty palette). False when it is not.
bool ReduceToPalette(const RasterImage& image, int maxColors, ReducedImage& out);

// Clears the bits past the last pixel of every row of an ie1g image filled from whole bytes.
void ClearPaddingBits(RasterImage& image);

// True when every pixel's red, green and blue are equal.
bool AllPixelsGrey(const RasterImage& image);

// The picture as ie24RGB: the image itself, or its conversion kept in storage.
const RasterImage& AsRgb24(const RasterImage& image, RasterImage& storage);

// What a full read recorded in the holder, as the header reader would tell it (image count 1).
ImageInfo InfoOfRead(const ImageHolder& holder);

// Byte output for the writers.
inline void PutU8(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
}
inline void PutU16le(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32le(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16le(out, v & 0xffff);
    PutU16le(out, v >> 16);
}
inline void PutU16be(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
inline void PutU32be(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16be(out, v >> 16);
    PutU16be(out, v & 0xffff);
}

}  // namespace gw
