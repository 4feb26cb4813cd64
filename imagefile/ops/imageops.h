#pragma once
// The small image operations export and the export dialog's sample rely on: transparency by
// colour, pixel colours, colour selection and filling, copying between holders.

#include <cstdint>
#include <functional>

#include "imagefile/raster.h"

namespace gw {

// A colour of the user interface as stored in settings: an explicit colour with red in the low
// byte, green in the second and blue in the third, or (when negative) a system colour whose
// index is the low byte.
using ColorValue = std::int32_t;

// Gives the current explicit colour value of system colour `index` (0..30 are defined).
using SystemColorResolver = std::function<ColorValue(int index)>;

// The standard Windows system colours, for when no resolver is supplied; 0 for unknown indexes.
ColorValue DefaultSystemColor(int index);

// Resolves a system colour (through `resolver`, or the default table when it is empty), then
// splits red, green and blue.
Rgb ColorToTriple(ColorValue color, const SystemColorResolver& resolver = {});

// Colour of pixel (x, y), rows counted from the top; (0, 0, 0) outside the image.
Rgb ReadPixelColor(const RasterImage& image, int x, int y);

// Gives alpha `alpha` to every pixel (every selected pixel, when there is a selection) whose
// colour lies within [lo, hi] per channel. Creates an opaque alpha plane first when there is
// none, and keeps it even when nothing matched. ie1g: when lo.r is 0 the black pixels match,
// otherwise the white ones. Other pixel formats keep their alpha.
void MakeColorTransparent(ImageHolder& holder, Rgb lo, Rgb hi, std::uint8_t alpha);

// The selection becomes exactly the pixels whose colour is t (none selected when none match).
void SelectColor(ImageHolder& holder, Rgb t);
// Sets the colour of every selected pixel of an ie24RGB image to t; alpha and other pixel
// formats are left alone.
void FillSelection(ImageHolder& holder, Rgb t);
void ClearSelection(ImageHolder& holder);
// True when the holder has a selection of its image's size with at least one pixel in it.
bool HasSelection(const ImageHolder& holder);

bool HasAlpha(const ImageHolder& holder);

// Copies the image (pixels, size, pixel format, palette, alpha plane or its absence), the
// display background colour and the resolution of `source` into `target`.
void Assign(ImageHolder& target, const ImageHolder& source);

// Makes the image a single pixel of the holder's background colour (an empty sample).
void BlankView(ImageHolder& holder);

// The transparency applied to a freshly loaded picture: every pixel of the bottom-left pixel's
// colour becomes fully transparent and, in ie24RGB images, takes colour `fill`, so that later
// resampling blends `fill` rather than the old background into the edges. Does nothing to an
// empty image.
void MakeBackgroundTransparent(ImageHolder& holder, Rgb fill);
void MakeBackgroundTransparent(ImageHolder& holder, ColorValue fill,
                               const SystemColorResolver& resolver = {});

}  // namespace gw
