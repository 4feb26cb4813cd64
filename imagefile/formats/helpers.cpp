#include "imagefile/formats/helpers.h"

namespace gw {

bool AllPixelsGrey(const RasterImage& image) {
    if (image.Format() != PixelFormat::ie24RGB) {
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.Width(); ++x) {
                const Rgb c = image.PixelRgb(x, y);
                if (c.r != c.g || c.g != c.b) return false;
            }
        return true;
    }
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* p = image.Row(y);
        for (int x = 0; x < image.Width(); ++x, p += 3)
            if (p[0] != p[1] || p[1] != p[2]) return false;
    }
    return true;
}

ImageInfo InfoOfRead(const ImageHolder& holder) {
    const FileParams& p = holder.Params;
    ImageInfo info;
    info.Width = p.ImageWidth > 0 ? p.ImageWidth : holder.Image.Width();
    info.Height = p.ImageHeight > 0 ? p.ImageHeight : holder.Image.Height();
    info.BitsPerChannel = p.BitsPerChannel;
    info.ChannelCount = p.ChannelCount;
    info.HasAlpha = holder.Image.HasAlpha();
    return info;
}

RasterImage ExpandIndexed(const RasterImage& indexed, bool allowBlackWhite) {
    const std::vector<Rgb>& pal = indexed.Palette();
    const int w = indexed.Width(), h = indexed.Height();
    RasterImage out;
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    bool blackWhite =
        allowBlackWhite && pal.size() == 2 &&
        ((pal[0] == black && pal[1] == white) || (pal[0] == white && pal[1] == black));
    if (blackWhite) {
        if (!out.Allocate(w, h, PixelFormat::ie1g)) return out;
        const std::uint8_t whiteIndex = pal[1] == white ? 1 : 0;
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* src = indexed.Row(y);
            std::uint8_t* dst = out.Row(y);
            for (int x = 0; x < w; ++x)
                if (src[x] == whiteIndex) dst[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
    } else {
        if (!out.Allocate(w, h, PixelFormat::ie24RGB)) return out;
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* src = indexed.Row(y);
            std::uint8_t* dst = out.Row(y);
            for (int x = 0; x < w; ++x, dst += 3) {
                Rgb c = src[x] < pal.size() ? pal[src[x]] : black;
                dst[0] = c.b;
                dst[1] = c.g;
                dst[2] = c.r;
            }
        }
    }
    if (indexed.HasAlpha()) out.Alpha() = indexed.Alpha();
    return out;
}

bool ReduceToPalette(const RasterImage& image, int maxColors, ReducedImage& out) {
    out = ReduceColors(image, maxColors);
    const std::size_t pixels =
        static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(image.Height());
    if (out.Palette.empty() || out.Palette.size() > static_cast<std::size_t>(maxColors) ||
        out.Indices.size() != pixels)
        return false;
    for (std::uint8_t i : out.Indices)
        if (i >= out.Palette.size()) return false;
    return true;
}

void ClearPaddingBits(RasterImage& image) {
    const int w = image.Width();
    if (image.Format() != PixelFormat::ie1g || w % 8 == 0) return;
    const auto keep = static_cast<std::uint8_t>(0xff00 >> (w % 8));
    for (int y = 0; y < image.Height(); ++y) image.Row(y)[w / 8] &= keep;
}

const RasterImage& AsRgb24(const RasterImage& image, RasterImage& storage) {
    if (image.Format() == PixelFormat::ie24RGB) return image;
    storage = image.ToRgb24();
    return storage;
}

}  // namespace gw
