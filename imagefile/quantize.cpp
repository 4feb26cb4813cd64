#include "imagefile/quantize.h"

namespace gw {

ReducedImage ReduceColors(const RasterImage& image, int maxColors) {
    (void)image;
    (void)maxColors;
    return {};
}

}  // namespace gw
