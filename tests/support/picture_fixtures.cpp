#include "support/picture_fixtures.h"

#include <algorithm>
#include <cstdlib>

namespace gw::test {

RasterImage GradientImage(int width, int height) {
    RasterImage image;
    image.Allocate(width, height, PixelFormat::ie24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixelRgb(
                x, y,
                {static_cast<std::uint8_t>(10 * x + 3), static_cast<std::uint8_t>(7 * y + 1),
                 static_cast<std::uint8_t>((x + y) * 5)});
    return image;
}

RasterImage ColourCycleImage(int width, int height, const std::vector<Rgb>& colors) {
    RasterImage image;
    image.Allocate(width, height, PixelFormat::ie24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixelRgb(x, y, colors[static_cast<std::size_t>(x + 2 * y) % colors.size()]);
    return image;
}

RasterImage CheckerBits(int width, int height, int cell) {
    RasterImage image;
    image.Allocate(width, height, PixelFormat::ie1g);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (((x / cell) + (y / cell)) % 2 == 0) image.Row(y)[x >> 3] |= 0x80 >> (x & 7);
    return image;
}

void AddAlphaPattern(RasterImage& image) {
    image.AddAlpha(255);
    for (int x = 0; x < image.Width(); ++x) image.AlphaRow(0)[x] = 128;
    for (int y = 0; y < image.Height(); ++y) image.AlphaRow(y)[0] = 0;
}

std::string FirstColourDifference(const RasterImage& a, const RasterImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return "size " + std::to_string(a.Width()) + "x" + std::to_string(a.Height()) + " vs " +
               std::to_string(b.Width()) + "x" + std::to_string(b.Height());
    auto text = [](Rgb c) {
        return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) +
               ")";
    };
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (!(a.PixelRgb(x, y) == b.PixelRgb(x, y)))
                return std::to_string(x) + "," + std::to_string(y) + ": " + text(a.PixelRgb(x, y)) +
                       " vs " + text(b.PixelRgb(x, y));
    return {};
}

int MaxChannelDifference(const RasterImage& a, const RasterImage& b) {
    int worst = 0;
    for (int y = 0; y < std::min(a.Height(), b.Height()); ++y)
        for (int x = 0; x < std::min(a.Width(), b.Width()); ++x) {
            Rgb p = a.PixelRgb(x, y), q = b.PixelRgb(x, y);
            worst =
                std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    return worst;
}

}  // namespace gw::test
