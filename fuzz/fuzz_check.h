#pragma once
// What every decoded image must satisfy, whatever bytes it came from.

#include <cstddef>

#include "imagefile/raster.h"

namespace gw::fuzz {

inline void CheckImage(const RasterImage& image) {
    if (image.Empty()) return;
    const std::size_t w = static_cast<std::size_t>(image.Width());
    const std::size_t h = static_cast<std::size_t>(image.Height());
    if (image.Stride() != RasterImage::StrideFor(image.Format(), image.Width())) __builtin_trap();
    if (image.Pixels().size() < image.Stride() * h) __builtin_trap();
    if (image.HasAlpha() && image.Alpha().size() != w * h) __builtin_trap();
    // Reads a sample of the pixels so that a short pixel buffer shows up.
    unsigned sum = 0;
    for (int y = 0; y < image.Height(); y += 7)
        for (int x = 0; x < image.Width(); x += 7) sum += image.PixelRgb(x, y).r;
    __asm__ volatile("" : : "r"(sum));
}

}  // namespace gw::fuzz
