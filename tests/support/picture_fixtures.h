#pragma once
// Small test pictures for the format readers and writers.

#include <cstdint>
#include <string>
#include <vector>

#include "imagefile/raster.h"

namespace gw::test {

// An ie24RGB image whose pixel (x, y) has red 10x + 3, green 7y + 1, blue (x + y) × 5.
RasterImage GradientImage(int width, int height);
// An ie24RGB image cycling through the colours: pixel (x, y) takes colors[(x + 2y) % n].
RasterImage ColourCycleImage(int width, int height, const std::vector<Rgb>& colors);
// An ie1g image with a checker of cells × cells pixels, white first.
RasterImage CheckerBits(int width, int height, int cell);
// Adds an alpha plane: 0 on the left column, 128 on the top row, 255 elsewhere.
void AddAlphaPattern(RasterImage& image);

// First position where two images' colours differ, as "x,y: (r,g,b) vs (r,g,b)", or empty.
std::string FirstColourDifference(const RasterImage& a, const RasterImage& b);
// The largest difference of any colour channel between two images of equal size.
int MaxChannelDifference(const RasterImage& a, const RasterImage& b);

}  // namespace gw::test
