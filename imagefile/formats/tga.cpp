// Truevision Targa: colour-mapped, true-colour and grey images, raw or run-length encoded.
#include <algorithm>
#include <cstring>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr char kFooterSignature[] = "TRUEVISION-XFILE.";  // followed by a zero byte
constexpr std::size_t kFooterSize = 26;

struct TgaHeader {
    unsigned idLength = 0, mapType = 0, imageType = 0;
    unsigned mapFirst = 0, mapLength = 0, mapEntryBits = 0;
    unsigned width = 0, height = 0, depth = 0, descriptor = 0;

    unsigned Base() const { return imageType & 7; }
    bool Rle() const { return imageType & 8; }
    bool TopDown() const { return descriptor & 0x20; }
    bool RightToLeft() const { return descriptor & 0x10; }
    unsigned AlphaBits() const { return descriptor & 15; }
    std::uint64_t MapBytes() const {
        return mapType == 1 ? std::uint64_t{mapLength} * ((mapEntryBits + 7) / 8) : 0;
    }
};

bool ParseHeader(ByteReader& r, TgaHeader& h) {
    h.idLength = r.u8();
    h.mapType = r.u8();
    h.imageType = r.u8();
    h.mapFirst = r.u16le();
    h.mapLength = r.u16le();
    h.mapEntryBits = r.u8();
    r.u16le();
    r.u16le();
    h.width = r.u16le();
    h.height = r.u16le();
    h.depth = r.u8();
    h.descriptor = r.u8();
    return r.ok();
}

bool MapEntryBitsValid(unsigned bits) {
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// The checks a Targa file, which has no signature, must pass.
bool HeaderConsistent(const TgaHeader& h) {
    if (h.mapType > 1 || h.width == 0 || h.height == 0) return false;
    if (h.imageType != 1 && h.imageType != 2 && h.imageType != 3 && h.imageType != 9 &&
        h.imageType != 10 && h.imageType != 11)
        return false;
    if (h.mapType == 1 && !MapEntryBitsValid(h.mapEntryBits)) return false;
    if (h.AlphaBits() > h.depth) return false;
    switch (h.Base()) {
        case 1:
            return h.mapType == 1 && h.mapLength > 0 && (h.depth == 8 || h.depth == 16);
        case 2:
            return h.depth == 15 || h.depth == 16 || h.depth == 24 || h.depth == 32;
        default:
            return h.depth == 8 || h.depth == 16 || (h.depth == 1 && !h.Rle());
    }
}

bool ProbeTga(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    TgaHeader h;
    if (!ParseHeader(r, h) || !HeaderConsistent(h) || (h.descriptor & 0xc0) != 0) return false;
    // The identification field and the colour map must fit, with some image data after them.
    return r.has(kHeaderSize, h.idLength + h.MapBytes() + 1);
}

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

Rgba Decode15(unsigned v, bool attributeIsAlpha) {
    Rgba c;
    c.r = ScaleToByte((v >> 10) & 31, 31);
    c.g = ScaleToByte((v >> 5) & 31, 31);
    c.b = ScaleToByte(v & 31, 31);
    c.a = attributeIsAlpha ? ((v & 0x8000) ? 255 : 0) : 255;
    return c;
}

// One stored pixel (or colour-map entry) of 1 to 4 bytes into a colour.
Rgba DecodeTrue(const std::uint8_t* p, unsigned bits, bool attributeIsAlpha) {
    if (bits <= 16) return Decode15(static_cast<unsigned>(p[0] | (p[1] << 8)), attributeIsAlpha);
    Rgba c;
    c.b = p[0];
    c.g = p[1];
    c.r = p[2];
    c.a = bits == 32 ? p[3] : 255;
    return c;
}

// The extension area's attributes type, when the file has a version 2 footer: 0 none,
// 1 and 2 undefined data to ignore, 3 alpha, 4 premultiplied alpha. -1 when absent.
int AttributesType(const ByteReader& file) {
    if (file.size() < kHeaderSize + kFooterSize) return -1;
    auto foot = file.at(file.size() - kFooterSize, kFooterSize);
    if (std::memcmp(foot.data() + 8, kFooterSignature, sizeof kFooterSignature) != 0) return -1;
    ByteReader f(foot);
    const std::uint32_t ext = f.u32le();
    if (ext == 0) return -1;
    auto area = file.at(ext, 495);
    if (area.empty() || (area[0] | (area[1] << 8)) < 495) return -1;
    return area[494];
}

ImageError ReadTga(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader r(data);
    TgaHeader h;
    if (!ParseHeader(r, h) || !HeaderConsistent(h)) return ImageError::Damaged;
    if (!ImageSizeAllowed(h.width, h.height)) return ImageError::TooLarge;
    r.skip(h.idLength);

    std::vector<Rgba> map;
    if (h.mapType == 1) {
        const unsigned entryBytes = (h.mapEntryBits + 7) / 8;
        auto bytes = r.take(h.MapBytes());
        if (bytes.empty()) return ImageError::Damaged;
        map.resize(h.mapLength);
        for (unsigned i = 0; i < h.mapLength; ++i)
            map[i] = DecodeTrue(bytes.data() + i * entryBytes, h.mapEntryBits, false);
    }
    if (!r.ok()) return ImageError::Truncated;

    const int attributes = AttributesType(ByteReader(data));
    const bool alphaIgnored = attributes >= 0 && attributes <= 2;
    const unsigned base = h.Base();
    const bool attributeIsAlpha = h.depth == 16 && base == 2 && h.AlphaBits() == 1;
    const std::uint64_t w = h.width, hgt = h.height;

    RasterImage image;
    if (h.depth == 1) {
        // One-bit grey rows, packed from the most significant bit, 1 = white.
        const std::uint64_t rowBytes = (w + 7) / 8;
        if (!r.has(r.pos(), rowBytes * hgt) ||
            !image.Allocate(h.width, h.height, PixelFormat::ie1g))
            return ImageError::TooLarge;
        for (std::uint64_t fileRow = 0; fileRow < hgt; ++fileRow) {
            auto src = r.take(rowBytes);
            const int y = static_cast<int>(h.TopDown() ? fileRow : hgt - 1 - fileRow);
            std::uint8_t* dst = image.Row(y);
            for (std::uint64_t x = 0; x < w; ++x) {
                const std::uint64_t tx = h.RightToLeft() ? w - 1 - x : x;
                if ((src[x >> 3] >> (7 - (x & 7))) & 1)
                    dst[tx >> 3] |= static_cast<std::uint8_t>(0x80 >> (tx & 7));
            }
        }
    } else {
        const unsigned bytesPerPixel = (h.depth + 7) / 8;
        std::uint64_t pixelBytes = 0;
        CheckedMul(w * hgt, bytesPerPixel, &pixelBytes);
        if (!h.Rle() && !r.has(r.pos(), pixelBytes)) return ImageError::Damaged;
        // A packet of one byte and one pixel repeats that pixel at most 128 times.
        if (h.Rle() && !DataCanFill(h.width, h.height, pixelBytes, r.remaining(), 128))
            return ImageError::Damaged;
        if (!image.Allocate(h.width, h.height, PixelFormat::ie24RGB)) return ImageError::TooLarge;
        image.AddAlpha(255);
        bool anyAlpha = false, anyNonZeroAlpha = false;
        std::uint64_t n = 0;
        const std::uint64_t total = w * hgt;
        auto put = [&](const std::uint8_t* p) {
            Rgba c;
            if (base == 1) {
                const unsigned index = bytesPerPixel == 1 ? p[0] : p[0] | (p[1] << 8);
                if (index >= h.mapFirst && index - h.mapFirst < map.size())
                    c = map[index - h.mapFirst];
                else
                    c = Rgba{0, 0, 0, 255};
            } else if (base == 2) {
                c = DecodeTrue(p, h.depth, attributeIsAlpha);
            } else {
                c.r = c.g = c.b = p[0];
                c.a = h.depth == 16 ? p[1] : 255;
            }
            const std::uint64_t fileRow = n / w, fileCol = n % w;
            const int y = static_cast<int>(h.TopDown() ? fileRow : hgt - 1 - fileRow);
            const int x = static_cast<int>(h.RightToLeft() ? w - 1 - fileCol : fileCol);
            image.SetPixelRgb(x, y, Rgb{c.r, c.g, c.b});
            image.AlphaRow(y)[x] = c.a;
            anyAlpha |= c.a != 255;
            anyNonZeroAlpha |= c.a != 0;
            ++n;
        };
        if (!h.Rle()) {
            auto src = r.take(pixelBytes);
            for (std::uint64_t i = 0; i < total; ++i) put(src.data() + i * bytesPerPixel);
        } else {
            // Packets may cross rows; a packet running past the image or data ends decoding.
            while (n < total && r.remaining() > 0) {
                const unsigned packet = r.u8();
                const std::uint64_t count = std::min<std::uint64_t>((packet & 0x7f) + 1, total - n);
                if (packet & 0x80) {
                    auto px = r.take(bytesPerPixel);
                    if (px.empty()) break;
                    for (std::uint64_t k = 0; k < count; ++k) put(px.data());
                } else {
                    auto px = r.take(count * bytesPerPixel);
                    if (px.empty()) break;
                    for (std::uint64_t k = 0; k < count; ++k) put(px.data() + k * bytesPerPixel);
                }
            }
        }
        // Alpha that is all zero is an unused attribute channel, not a transparent image.
        if (!anyAlpha || !anyNonZeroAlpha || alphaIgnored) image.RemoveAlpha();
    }

    FileParams& p = holder.Params;
    if (base == 1) {
        p.ChannelCount = 1;
        p.BitsPerChannel = 8;
        p.Palette.clear();
        for (std::size_t i = 0; i < map.size() && i < 256; ++i)
            p.Palette.push_back(Rgb{map[i].r, map[i].g, map[i].b});
    } else {
        if (base == 3)
            p.ChannelCount = h.depth == 16 ? 2 : 1;
        else
            p.ChannelCount = image.HasAlpha() ? 4 : 3;
        p.BitsPerChannel = h.depth == 1 ? 1 : 8;
        p.Palette.clear();
    }
    p.PaletteCount = static_cast<int>(p.Palette.size());
    p.ImageWidth = image.Width();
    p.ImageHeight = image.Height();
    p.HorizontalDpi = p.VerticalDpi = 300;
    p.TGA_Compressed = h.Rle();
    holder.Image = std::move(image);
    return ImageError::None;
}

// Appends one row of pixels (each bytesPerPixel long) run-length encoded; packets stay
// within the row.
void EncodeRleRow(const std::uint8_t* row, std::size_t count, unsigned bytesPerPixel,
                  std::vector<std::uint8_t>& out) {
    auto same = [&](std::size_t a, std::size_t b) {
        return std::memcmp(row + a * bytesPerPixel, row + b * bytesPerPixel, bytesPerPixel) == 0;
    };
    std::size_t i = 0;
    while (i < count) {
        std::size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run)) ++run;
        if (run >= 2) {
            PutU8(out, 0x80 | (run - 1));
            out.insert(out.end(), row + i * bytesPerPixel, row + (i + 1) * bytesPerPixel);
            i += run;
            continue;
        }
        std::size_t raw = 1;
        while (i + raw < count && raw < 128 && !(i + raw + 1 < count && same(i + raw, i + raw + 1)))
            ++raw;
        PutU8(out, raw - 1);
        out.insert(out.end(), row + i * bytesPerPixel, row + (i + raw) * bytesPerPixel);
        i += raw;
    }
}

ImageError WriteTga(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    const RasterImage& image = holder.Image;
    if (image.Empty() || image.Width() > 0xffff || image.Height() > 0xffff)
        return ImageError::CannotEncode;
    FileParams& p = holder.Params;
    enum class Kind { Bits1, Colours16, Colours256, Rgb24, Rgba32 } kind;
    if (p.ChannelCount == 1)
        kind = p.BitsPerChannel <= 1   ? Kind::Bits1
               : p.BitsPerChannel <= 4 ? Kind::Colours16
                                       : Kind::Colours256;
    else
        kind = image.HasAlpha() ? Kind::Rgba32 : Kind::Rgb24;
    const bool rle = p.TGA_Compressed && (kind == Kind::Colours256 || kind == Kind::Rgb24);

    const std::size_t w = static_cast<std::size_t>(image.Width());
    const int hgt = image.Height();
    ReducedImage reduced;
    RasterImage storage;
    std::vector<std::uint8_t> bits;  // black-and-white rows, top first
    const RasterImage* src = &image;
    unsigned imageType = 2, depth = 24, descriptor = 0;
    switch (kind) {
        case Kind::Bits1:
            bits = BlackWhiteRows(image);
            imageType = 3;
            depth = 1;
            break;
        case Kind::Colours16:
        case Kind::Colours256:
            if (!ReduceToPalette(image, kind == Kind::Colours16 ? 16 : 256, reduced))
                return ImageError::CannotEncode;
            imageType = rle ? 9 : 1;
            depth = 8;
            break;
        case Kind::Rgb24:
            src = &AsRgb24(image, storage);
            imageType = rle ? 10 : 2;
            break;
        case Kind::Rgba32:
            src = &AsRgb24(image, storage);
            depth = 32;
            descriptor = 8;
            break;
    }

    const std::size_t mapLength = reduced.Palette.size();
    PutU8(out, 0);
    PutU8(out, mapLength ? 1 : 0);
    PutU8(out, imageType);
    PutU16le(out, 0);
    PutU16le(out, static_cast<unsigned>(mapLength));
    PutU8(out, mapLength ? 24 : 0);
    PutU16le(out, 0);
    PutU16le(out, 0);
    PutU16le(out, static_cast<unsigned>(w));
    PutU16le(out, static_cast<unsigned>(hgt));
    PutU8(out, depth);
    PutU8(out, descriptor);
    for (const Rgb& c : reduced.Palette) {
        PutU8(out, c.b);
        PutU8(out, c.g);
        PutU8(out, c.r);
    }

    // Rows bottom first.
    std::vector<std::uint8_t> row;
    for (int y = hgt - 1; y >= 0; --y) {
        row.clear();
        if (kind == Kind::Bits1) {
            const std::uint8_t* s = bits.data() + static_cast<std::size_t>(y) * ((w + 7) / 8);
            row.assign(s, s + (w + 7) / 8);
        } else if (mapLength) {
            const std::uint8_t* idx = reduced.Indices.data() + static_cast<std::size_t>(y) * w;
            row.assign(idx, idx + w);
        } else {
            const std::uint8_t* s = src->Row(y);
            for (std::size_t x = 0; x < w; ++x, s += 3) {
                row.insert(row.end(), s, s + 3);
                if (depth == 32) row.push_back(image.AlphaRow(y)[x]);
            }
        }
        if (rle)
            EncodeRleRow(row.data(), w, depth / 8, out);
        else
            out.insert(out.end(), row.begin(), row.end());
    }
    // A version 2 footer without extension or developer areas.
    PutU32le(out, 0);
    PutU32le(out, 0);
    out.insert(out.end(), kFooterSignature, kFooterSignature + sizeof kFooterSignature);

    if (kind == Kind::Bits1 || kind == Kind::Colours16 || kind == Kind::Rgba32)
        p.TGA_Compressed = false;
    if (mapLength) {
        p.Palette = reduced.Palette;
        p.PaletteCount = static_cast<int>(mapLength);
    }
    return ImageError::None;
}

}  // namespace

const FormatCodec kTgaCodec{ProbeTga, ReadTga, WriteTga};

}  // namespace gw
