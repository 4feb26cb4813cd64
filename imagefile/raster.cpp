#include "imagefile/raster.h"

#include <algorithm>
#include <cmath>

#include "imagefile/limits.h"

namespace gw {

std::size_t RasterImage::StrideFor(PixelFormat format, int width) {
    std::size_t bits = format == PixelFormat::ie1g ? 1 : format == PixelFormat::ie8p ? 8 : 24;
    return ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
}

bool RasterImage::Allocate(int width, int height, PixelFormat format) {
    Clear();
    if (!ImageSizeAllowed(width, height)) return false;
    width_ = width;
    height_ = height;
    format_ = format;
    stride_ = StrideFor(format, width);
    pixels_.assign(stride_ * static_cast<std::size_t>(height), 0);
    return true;
}

void RasterImage::Clear() {
    width_ = height_ = 0;
    stride_ = 0;
    format_ = PixelFormat::ie24RGB;
    pixels_.clear();
    pixels_.shrink_to_fit();
    palette_.clear();
    alpha_.clear();
    alpha_.shrink_to_fit();
}

void RasterImage::AddAlpha(std::uint8_t fill) {
    if (HasAlpha() || Empty()) return;
    alpha_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill);
}

bool RasterImage::AlphaAllOpaque() const {
    return std::all_of(alpha_.begin(), alpha_.end(), [](std::uint8_t a) { return a == 255; });
}

Rgb RasterImage::PixelRgb(int x, int y) const {
    const std::uint8_t* row = Row(y);
    switch (format_) {
        case PixelFormat::ie1g: {
            bool white = (row[x >> 3] >> (7 - (x & 7))) & 1;
            std::uint8_t v = white ? 255 : 0;
            return {v, v, v};
        }
        case PixelFormat::ie8p: {
            std::uint8_t i = row[x];
            return i < palette_.size() ? palette_[i] : Rgb{};
        }
        case PixelFormat::ie24RGB:
        default: {
            const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
            return {p[2], p[1], p[0]};
        }
    }
}

RasterImage RasterImage::ToRgb24() const {
    if (format_ == PixelFormat::ie24RGB) return *this;
    RasterImage out;
    if (Empty() || !out.Allocate(width_, height_, PixelFormat::ie24RGB)) return out;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) out.SetPixelRgb(x, y, PixelRgb(x, y));
    out.alpha_ = alpha_;
    return out;
}

int DpiFromPixelsPerMetre(std::int64_t pixelsPerMetre) {
    if (pixelsPerMetre < 1) return 300;
    double dpi = std::round(static_cast<double>(pixelsPerMetre) * 2.54 / 100.0);
    return dpi > 1e6 ? 1000000 : static_cast<int>(dpi);
}

std::uint32_t PixelsPerMetreFromDpi(int dpi) {
    if (dpi <= 0) return 0;
    double ppm = std::round(static_cast<double>(dpi) / 2.54 * 100.0);
    return ppm > 2147483647.0 ? 2147483647u : static_cast<std::uint32_t>(ppm);
}

int BitsForColorCount(std::uint64_t n) {
    int bits = 0;
    while (bits < 64 && (std::uint64_t{1} << bits) < n) ++bits;
    return bits;
}

}  // namespace gw
