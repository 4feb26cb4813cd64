#pragma once
// Resizing a holder's image.

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

// Replaces the holder's image by a width × height version (both >= 1).
void ResampleImage(ImageHolder& holder, int width, int height, ResampleFilter filter);

}  // namespace gw
