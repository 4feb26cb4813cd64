#include "imagefile/formats/support.h"

#include <algorithm>
#include <cmath>

#include "imagefile/ops/quantize.h"

namespace gw {

int DpiFromUnit(double value, bool perCentimetre) {
    if (!(value > 0)) return 0;
    double dpi = perCentimetre ? value * 2.54 : value;
    return dpi >= 1e9 ? 1000000000 : static_cast<int>(std::lround(dpi));
}

std::uint8_t Luminance(Rgb c) {
    return static_cast<std::uint8_t>((c.r * 299 + c.g * 587 + c.b * 114 + 500) / 1000);
}

bool IsGrey(Rgb c) {
    return c.r == c.g && c.g == c.b;
}

bool AllGrey(const std::vector<Rgb>& colors) {
    return std::all_of(colors.begin(), colors.end(), IsGrey);
}

bool GreyLevelsFit(const std::vector<Rgb>& colors, int bits) {
    if (bits >= 8) return true;
    int step = 255 / ((1 << bits) - 1);
    return std::all_of(colors.begin(), colors.end(), [step](Rgb c) { return c.r % step == 0; });
}

std::vector<std::uint8_t> BlackWhiteRows(const RasterImage& image) {
    const std::size_t rowBytes = (static_cast<std::size_t>(image.Width()) + 7) / 8;
    std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(image.Height()), 0);
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* out = rows.data() + rowBytes * static_cast<std::size_t>(y);
        if (image.Format() == PixelFormat::ie1g) {
            std::copy_n(image.Row(y), rowBytes, out);
            continue;
        }
        for (int x = 0; x < image.Width(); ++x)
            if (Luminance(image.PixelRgb(x, y)) >= 128) out[x >> 3] |= 0x80 >> (x & 7);
    }
    return rows;
}

bool BuildIndexedImage(const RasterImage& image, int maxColors, TransparentSlot slot,
                       Rgb transparentColor, IndexedImage* out) {
    if (image.Empty()) return false;
    const int limit = slot == TransparentSlot::None ? 256 : 255;
    ReducedImage reduced = ReduceColors(image, std::clamp(maxColors, 2, limit));
    const std::size_t pixels =
        static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(image.Height());
    if (reduced.Palette.empty() || reduced.Indices.size() != pixels) return false;
    out->Palette = std::move(reduced.Palette);
    out->Indices = std::move(reduced.Indices);
    out->TransparentIndex = -1;
    if (slot == TransparentSlot::None) return true;

    const bool first = slot == TransparentSlot::First;
    const int transparent = first ? 0 : static_cast<int>(out->Palette.size());
    if (first) {
        out->Palette.insert(out->Palette.begin(), transparentColor);
        for (std::uint8_t& i : out->Indices) ++i;
    } else {
        out->Palette.push_back(transparentColor);
    }
    out->TransparentIndex = transparent;
    if (image.HasAlpha()) {
        const std::uint8_t* alpha = image.Alpha().data();
        for (std::size_t i = 0; i < pixels; ++i)
            if (alpha[i] < 255) out->Indices[i] = static_cast<std::uint8_t>(transparent);
    }
    return true;
}

int PaletteBitsFor(std::size_t n, int minBits) {
    for (int bits : {1, 2, 4, 8})
        if (bits >= minBits && (std::size_t{1} << bits) >= n) return bits;
    return 8;
}

}  // namespace gw
