#pragma once
// Resizing a holder's image.

#include <cstddef>

#include "imagefile/raster.h"

namespace gw {

enum class ResampleFilter {
    rfNone,
    rfTriangle,
    rfHermite,
    rfBell,
    rfBSpline,
    rfLanczos3,
    rfMitchell,
    rfNearest,
    rfLinear,
    rfFastLinear,
    rfBilinear,
    rfBicubic,
    rfProjectBW,
    rfProjectWB
};

struct ResampleOptions {
    // Threads for the horizontal pass of the kernel filters; 0 = one per processor. The result
    // does not depend on it.
    int Threads = 0;
    // Largest intermediate image the kernel filters keep at once; wider results are done in
    // column tiles (at least 16 columns each). The result does not depend on it.
    std::size_t MaxIntermediateBytes = std::size_t{64} << 20;
};

// Replaces the holder's image by a width × height version (both >= 1). Does nothing when the
// image is empty or already has that size. The selection is dropped with the old image.
void ResampleImage(ImageHolder& holder, int width, int height, ResampleFilter filter);
void ResampleImage(ImageHolder& holder, int width, int height, ResampleFilter filter,
                   const ResampleOptions& options);

// The resampled image (alpha plane resampled alongside), an unchanged copy when the size is the
// same, or an empty image when the source is empty or the new size is not allowed. ie1g stays ie1g
// for rfNone, rfProjectBW and rfProjectWB; every other result is ie24RGB.
RasterImage ResampleRaster(const RasterImage& source, int width, int height, ResampleFilter filter,
                           const ResampleOptions& options = {});

}  // namespace gw
