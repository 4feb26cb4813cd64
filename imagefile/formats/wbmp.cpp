// Wireless bitmap (WBMP) type 0: uncompressed black and white, 1 = white.
#include <algorithm>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

// A multi-byte integer: seven bits a byte, most significant first, high bit = more follow.
bool UintVar(ByteReader& r, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t b = r.u8();
        if (!r.ok()) return false;
        value = (value << 7) | (b & 0x7f);
        if (!(b & 0x80)) return true;
    }
    return false;
}

struct WbmpHeader {
    std::uint32_t width = 0, height = 0;
    std::uint64_t rowBytes = 0;
};

// A type-0 header with a plausible size, and enough data for all the rows.
bool ParseHeader(ByteReader& r, WbmpHeader& h) {
    std::uint32_t type = 0;
    if (!UintVar(r, type) || type != 0) return false;
    const std::uint8_t fixed = r.u8();
    if (!r.ok() || (fixed & 0x9f) != 0) return false;
    if (!UintVar(r, h.width) || !UintVar(r, h.height)) return false;
    if (!ImageSizeAllowed(h.width, h.height)) return false;
    h.rowBytes = (std::uint64_t{h.width} + 7) / 8;
    return r.remaining() >= h.rowBytes * h.height;
}

bool ProbeWbmp(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    WbmpHeader h;
    return ParseHeader(r, h);
}

ImageError ReadWbmp(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader r(data);
    WbmpHeader h;
    RasterImage image;
    if (!ParseHeader(r, h) ||
        !image.Allocate(static_cast<int>(h.width), static_cast<int>(h.height), PixelFormat::ie1g))
        return ImageError::TooLarge;
    for (int y = 0; y < image.Height(); ++y) {
        auto src = r.take(h.rowBytes);
        std::copy(src.begin(), src.end(), image.Row(y));
    }
    ClearPaddingBits(image);
    FileParams& p = holder.Params;
    p.ChannelCount = 1;
    p.BitsPerChannel = 1;
    p.ImageWidth = image.Width();
    p.ImageHeight = image.Height();
    p.HorizontalDpi = p.VerticalDpi = 300;
    p.Palette.clear();
    p.PaletteCount = 0;
    holder.Image = std::move(image);
    return ImageError::None;
}

void PutUintVar(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = v & 0x7f;
        v >>= 7;
    } while (v);
    while (n-- > 0) PutU8(out, groups[n] | (n > 0 ? 0x80 : 0));
}

ImageError WriteWbmp(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    const RasterImage& image = holder.Image;
    if (image.Empty()) return ImageError::CannotEncode;
    PutU8(out, 0);
    PutU8(out, 0);
    PutUintVar(out, static_cast<std::uint32_t>(image.Width()));
    PutUintVar(out, static_cast<std::uint32_t>(image.Height()));
    const std::vector<std::uint8_t> rows = BlackWhiteRows(image);
    out.insert(out.end(), rows.begin(), rows.end());
    return ImageError::None;
}

ImageError InfoWbmp(std::span<const std::uint8_t> data, ImageInfo& info) {
    ByteReader r(data);
    WbmpHeader h;
    if (!ParseHeader(r, h)) return ImageError::TooLarge;
    info.Width = static_cast<int>(h.width);
    info.Height = static_cast<int>(h.height);
    info.ChannelCount = 1;
    info.BitsPerChannel = 1;
    return ImageError::None;
}

}  // namespace

const FormatCodec kWbmpCodec{ProbeWbmp, ReadWbmp, WriteWbmp, InfoWbmp};

}  // namespace gw
