// Windows and OS/2 bitmaps: every bit depth, RLE4/RLE8, bit fields, top-down rows.
#include <algorithm>
#include <bit>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;
constexpr std::size_t kFileHeaderSize = 14;

bool KnownHeaderSize(std::uint32_t size) {
    return size == 12 || (size >= 16 && size <= 64 && size % 4 == 0) || size == 108 || size == 124;
}

struct BmpInfo {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    unsigned bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colorsUsed = 0;
    std::int64_t xPelsPerMeter = 0;
    std::int64_t yPelsPerMeter = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    bool alphaMaskGiven = false;
    std::uint64_t tableStart = 0;  // first byte after the header and any separate masks
};

bool ParseInfo(const ByteReader& file, BmpInfo& info) {
    ByteReader size(file.at(kFileHeaderSize, 4));
    info.headerSize = size.u32le();
    if (!size.ok() || !KnownHeaderSize(info.headerSize)) return false;
    ByteReader h(file.at(kFileHeaderSize, info.headerSize));
    if (h.size() == 0) return false;
    h.skip(4);
    if (info.headerSize == 12) {
        info.width = h.u16le();
        info.height = h.u16le();
        h.u16le();
        info.bitCount = h.u16le();
    } else {
        // Fields an OS/2 header leaves out read as zero from the bounded header view.
        info.width = h.i32le();
        std::int64_t height = h.i32le();
        h.u16le();
        info.bitCount = h.u16le();
        info.compression = h.u32le();
        h.u32le();
        info.xPelsPerMeter = h.i32le();
        info.yPelsPerMeter = h.i32le();
        info.colorsUsed = h.u32le();
        h.u32le();
        info.topDown = height < 0;
        info.height = height < 0 ? -height : height;
    }
    info.tableStart = kFileHeaderSize + info.headerSize;
    const bool os2v2 = info.headerSize != 12 && info.headerSize != 40 && info.headerSize <= 64 &&
                       info.headerSize != 52 && info.headerSize != 56;
    if (info.compression == kBiBitfields || info.compression == kBiAlphaBitfields) {
        // In OS/2 2.x headers these values mean Huffman and RLE24, which are not supported.
        if (os2v2) return false;
        if (info.headerSize >= 52) {
            ByteReader m(file.at(kFileHeaderSize + 40, info.headerSize - 40));
            for (int i = 0; i < 3; ++i) info.masks[i] = m.u32le();
            if (info.headerSize >= 56) {
                info.masks[3] = m.u32le();
                info.alphaMaskGiven = true;
            }
        } else {
            const int count = info.compression == kBiAlphaBitfields ? 4 : 3;
            ByteReader m(file.at(info.tableStart, 4u * count));
            if (m.size() == 0) return false;
            for (int i = 0; i < count; ++i) info.masks[i] = m.u32le();
            info.alphaMaskGiven = count == 4;
            info.tableStart += 4u * count;
        }
    }
    return true;
}

bool DepthAndCompressionValid(const BmpInfo& info) {
    switch (info.compression) {
        case kBiRgb:
            return info.bitCount == 1 || info.bitCount == 2 || info.bitCount == 4 ||
                   info.bitCount == 8 || info.bitCount == 16 || info.bitCount == 24 ||
                   info.bitCount == 32;
        case kBiRle8:
            return info.bitCount == 8 && !info.topDown;
        case kBiRle4:
            return info.bitCount == 4 && !info.topDown;
        case kBiBitfields:
        case kBiAlphaBitfields:
            return info.bitCount == 16 || info.bitCount == 32;
        default:
            return false;
    }
}

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;
    explicit Channel(std::uint32_t m) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    std::uint8_t Get(std::uint32_t v) const { return ScaleToByte((v & mask) >> shift, max); }
};

// Rows in file order map to image rows bottom-up unless the header says top-down.
int ImageRow(const BmpInfo& info, std::int64_t fileRow) {
    return static_cast<int>(info.topDown ? fileRow : info.height - 1 - fileRow);
}

bool DecodeIndexed(const ByteReader& file, std::uint64_t offset, std::uint64_t stride,
                   const BmpInfo& info, RasterImage& image) {
    const unsigned bits = info.bitCount;
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(info.width) * bits + 7) / 8;
    for (std::int64_t i = 0; i < info.height; ++i) {
        auto src = file.at(offset + static_cast<std::uint64_t>(i) * stride, rowBytes);
        if (src.empty()) return false;
        std::uint8_t* dst = image.Row(ImageRow(info, i));
        const unsigned perByte = 8 / bits, mask = (1u << bits) - 1;
        for (std::int64_t x = 0; x < info.width; ++x) {
            unsigned byte = src[static_cast<std::size_t>(x / perByte)];
            unsigned shift = 8 - bits * static_cast<unsigned>(x % perByte + 1);
            dst[x] = static_cast<std::uint8_t>((byte >> shift) & mask);
        }
    }
    return true;
}

bool DecodeRgb24(const ByteReader& file, std::uint64_t offset, std::uint64_t stride,
                 const BmpInfo& info, RasterImage& image) {
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(info.width) * 3;
    for (std::int64_t i = 0; i < info.height; ++i) {
        auto src = file.at(offset + static_cast<std::uint64_t>(i) * stride, rowBytes);
        if (src.empty()) return false;
        std::copy(src.begin(), src.end(), image.Row(ImageRow(info, i)));
    }
    return true;
}

bool DecodeBitfields(const ByteReader& file, std::uint64_t offset, std::uint64_t stride,
                     const BmpInfo& info, RasterImage& image) {
    std::uint32_t masks[4];
    std::copy(std::begin(info.masks), std::end(info.masks), masks);
    if (info.compression == kBiRgb) {
        if (info.bitCount == 16) {
            masks[0] = 0x7c00, masks[1] = 0x03e0, masks[2] = 0x001f, masks[3] = 0;
        } else {
            // The fourth byte of plain 32-bit rows often carries alpha; an all-zero one does not.
            masks[0] = 0xff0000, masks[1] = 0xff00, masks[2] = 0xff, masks[3] = 0xff000000;
        }
    } else if (!info.alphaMaskGiven) {
        masks[3] = 0;
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    const unsigned bytesPerPixel = info.bitCount / 8;
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(info.width) * bytesPerPixel;
    if (alpha.mask) image.AddAlpha(0);
    bool anyAlpha = false;
    for (std::int64_t i = 0; i < info.height; ++i) {
        auto src = file.at(offset + static_cast<std::uint64_t>(i) * stride, rowBytes);
        if (src.empty()) return false;
        const int y = ImageRow(info, i);
        std::uint8_t* dst = image.Row(y);
        std::uint8_t* a = alpha.mask ? image.AlphaRow(y) : nullptr;
        for (std::int64_t x = 0; x < info.width; ++x, dst += 3) {
            const std::uint8_t* p = src.data() + x * bytesPerPixel;
            std::uint32_t v = bytesPerPixel == 2 ? static_cast<std::uint32_t>(p[0] | (p[1] << 8))
                                                 : p[0] | (p[1] << 8) | (p[2] << 16) |
                                                       (static_cast<std::uint32_t>(p[3]) << 24);
            dst[0] = blue.Get(v);
            dst[1] = green.Get(v);
            dst[2] = red.Get(v);
            if (a) {
                a[x] = alpha.Get(v);
                anyAlpha |= a[x] != 0;
            }
        }
    }
    if (image.HasAlpha() && (!anyAlpha || image.AlphaAllOpaque())) image.RemoveAlpha();
    return true;
}

// Run-length data: runs past the row end are clipped, moves past the last row end the image,
// and data that stops early leaves the rest at index 0.
void DecodeRle(ByteReader r, const BmpInfo& info, RasterImage& image) {
    const bool four = info.compression == kBiRle4;
    std::int64_t x = 0, y = 0;
    auto put = [&](std::uint8_t index) {
        if (x < info.width && y < info.height) image.Row(ImageRow(info, y))[x] = index;
        ++x;
    };
    while (r.remaining() >= 2 && y < info.height) {
        const unsigned n = r.u8(), v = r.u8();
        if (n > 0) {
            for (unsigned k = 0; k < n && x < info.width; ++k)
                put(four ? static_cast<std::uint8_t>(k % 2 == 0 ? v >> 4 : v & 15)
                         : static_cast<std::uint8_t>(v));
            continue;
        }
        if (v == 0) {
            x = 0;
            ++y;
        } else if (v == 1) {
            break;
        } else if (v == 2) {
            x += r.u8();
            y += r.u8();
            if (!r.ok()) break;
        } else {
            const std::uint64_t bytes = four ? (v + 1) / 2 : v;
            auto src = r.take(bytes);
            if (src.size() < bytes) break;
            if (bytes & 1) r.skip(1);
            for (unsigned k = 0; k < v && x < info.width; ++k)
                put(four ? static_cast<std::uint8_t>(k % 2 == 0 ? src[k / 2] >> 4 : src[k / 2] & 15)
                         : src[k]);
        }
    }
}

bool ProbeBmp(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    if (r.u8() != 'B' || r.u8() != 'M') return false;
    r.seek(kFileHeaderSize);
    std::uint32_t headerSize = r.u32le();
    return r.ok() && KnownHeaderSize(headerSize);
}

ImageError ReadBmp(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader file(data);
    if (file.u8() != 'B' || file.u8() != 'M') return ImageError::Damaged;
    file.u32le();
    file.u32le();
    const std::uint32_t offBits = file.u32le();
    BmpInfo info;
    if (!file.ok() || !ParseInfo(file, info) || !DepthAndCompressionValid(info))
        return ImageError::Truncated;
    if (!ImageSizeAllowed(info.width, info.height)) return ImageError::TooLarge;

    const bool indexed = info.bitCount <= 8;
    std::vector<Rgb> palette;
    std::uint64_t tableEnd = info.tableStart;
    if (indexed) {
        const std::uint64_t entrySize = info.headerSize == 12 ? 3 : 4;
        std::uint64_t count = std::uint64_t{1} << info.bitCount;
        if (info.colorsUsed != 0 && info.colorsUsed < count) count = info.colorsUsed;
        // Without a declared count, a pixel offset that leaves room for fewer entries says how
        // many were written.
        if (info.colorsUsed == 0 && offBits > info.tableStart &&
            (offBits - info.tableStart) / entrySize < count)
            count = (offBits - info.tableStart) / entrySize;
        ByteReader t(data);
        t.seek(info.tableStart);
        for (std::uint64_t i = 0; i < count && t.remaining() >= entrySize; ++i) {
            Rgb c;
            c.b = t.u8();
            c.g = t.u8();
            c.r = t.u8();
            if (entrySize == 4) t.u8();
            palette.push_back(c);
        }
        tableEnd = info.tableStart + count * entrySize;
    }
    // An offset that points into the header or into the declared colour table is wrong: the
    // pixels follow the table, as other readers take them.
    const std::uint64_t offset = offBits >= tableEnd && offBits < data.size() ? offBits : tableEnd;

    RasterImage image;
    const bool rle = info.compression == kBiRle8 || info.compression == kBiRle4;
    if (rle) {
        if (!file.has(offset, 0) ||
            !DataCanFill(info.width, info.height, data.size() - offset, MaxRatio::kRun255))
            return ImageError::Damaged;
        if (!image.Allocate(static_cast<int>(info.width), static_cast<int>(info.height),
                            PixelFormat::ie8p) ||
            !file.has(offset, 0))
            return ImageError::TooLarge;
        ByteReader r(data);
        r.seek(offset);
        DecodeRle(r, info, image);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(info.width) * info.bitCount;
        const std::uint64_t stride = (bits + 31) / 32 * 4;
        std::uint64_t total = 0;
        // The last row's padding may be missing; the rest of the raster must be there.
        if (!CheckedMul(stride, static_cast<std::uint64_t>(info.height - 1), &total) ||
            !CheckedAdd(total, (bits + 7) / 8, &total) || !file.has(offset, total))
            return ImageError::Damaged;
        if (!image.Allocate(static_cast<int>(info.width), static_cast<int>(info.height),
                            indexed ? PixelFormat::ie8p : PixelFormat::ie24RGB))
            return ImageError::TooLarge;
        bool ok = indexed               ? DecodeIndexed(file, offset, stride, info, image)
                  : info.bitCount == 24 ? DecodeRgb24(file, offset, stride, info, image)
                                        : DecodeBitfields(file, offset, stride, info, image);
        if (!ok) return ImageError::Damaged;
    }
    if (indexed) {
        image.Palette() = palette;
        image = ExpandIndexed(image, info.bitCount == 1);
        if (image.Empty()) return ImageError::Damaged;
    }

    FileParams& p = holder.Params;
    if (indexed) {
        p.ChannelCount = 1;
        p.BitsPerChannel = static_cast<int>(info.bitCount);
        p.Palette = palette;
        p.PaletteCount = static_cast<int>(palette.size());
    } else {
        p.ChannelCount = image.HasAlpha() ? 4 : 3;
        p.BitsPerChannel = 8;
        p.Palette.clear();
        p.PaletteCount = 0;
    }
    p.ImageWidth = image.Width();
    p.ImageHeight = image.Height();
    p.HorizontalDpi = DpiFromPixelsPerMetre(info.xPelsPerMeter);
    p.VerticalDpi = DpiFromPixelsPerMetre(info.yPelsPerMeter);
    p.BMP_HeaderSize = static_cast<int>(info.headerSize);
    p.BMP_Compression = static_cast<int>(info.compression);
    holder.Image = std::move(image);
    return ImageError::None;
}

ImageError WriteBmp(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    const RasterImage& image = holder.Image;
    if (image.Empty()) return ImageError::CannotEncode;
    FileParams& p = holder.Params;
    const unsigned bpp = p.BitsPerChannel == 1   ? 1
                         : p.BitsPerChannel == 4 ? 4
                         : p.ChannelCount == 1   ? 8
                         : image.HasAlpha()      ? 32
                                                 : 24;
    const std::uint64_t w = static_cast<std::uint64_t>(image.Width());
    const std::uint64_t h = static_cast<std::uint64_t>(image.Height());
    const std::uint64_t stride = (w * bpp + 31) / 32 * 4;
    const std::uint64_t tableBytes = bpp <= 8 ? (std::uint64_t{4} << bpp) : 0;
    const std::uint64_t offBits = kFileHeaderSize + 40 + tableBytes;
    const std::uint64_t fileSize = offBits + stride * h;
    if (fileSize > 0xffffffffu) return ImageError::CannotEncode;

    RasterImage storage;
    ReducedImage reduced;
    const bool bitCopy = bpp == 1 && image.Format() == PixelFormat::ie1g;
    if (bitCopy) {
        reduced.Palette = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
    } else if (bpp <= 8) {
        if (!ReduceToPalette(image, 1 << bpp, reduced)) return ImageError::CannotEncode;
    }

    out.reserve(out.size() + fileSize);
    PutU8(out, 'B');
    PutU8(out, 'M');
    PutU32le(out, static_cast<std::uint32_t>(fileSize));
    PutU32le(out, 0);
    PutU32le(out, static_cast<std::uint32_t>(offBits));
    PutU32le(out, 40);
    PutU32le(out, static_cast<std::uint32_t>(w));
    PutU32le(out, static_cast<std::uint32_t>(h));
    PutU16le(out, 1);
    PutU16le(out, bpp);
    PutU32le(out, kBiRgb);
    PutU32le(out, static_cast<std::uint32_t>(stride * h));
    PutU32le(out, PixelsPerMetreFromDpi(p.HorizontalDpi));
    PutU32le(out, PixelsPerMetreFromDpi(p.VerticalDpi));
    PutU32le(out, 0);
    PutU32le(out, 0);
    if (bpp <= 8) {
        for (std::size_t i = 0; i < (std::size_t{1} << bpp); ++i) {
            Rgb c = i < reduced.Palette.size() ? reduced.Palette[i] : Rgb{};
            PutU8(out, c.b);
            PutU8(out, c.g);
            PutU8(out, c.r);
            PutU8(out, 0);
        }
    }

    const RasterImage& rgb = bpp > 8 ? AsRgb24(image, storage) : image;
    for (std::uint64_t fileRow = 0; fileRow < h; ++fileRow) {
        const int y = static_cast<int>(h - 1 - fileRow);
        const std::size_t rowStart = out.size();
        if (bitCopy) {
            const std::uint8_t* src = image.Row(y);
            out.insert(out.end(), src, src + (w + 7) / 8);
        } else if (bpp <= 8) {
            const std::uint8_t* idx = reduced.Indices.data() + static_cast<std::size_t>(y) * w;
            const unsigned perByte = 8 / bpp;
            for (std::uint64_t x = 0; x < w; x += perByte) {
                unsigned byte = 0;
                for (unsigned k = 0; k < perByte; ++k)
                    byte = (byte << bpp) | (x + k < w ? idx[x + k] : 0u);
                PutU8(out, byte);
            }
        } else {
            const std::uint8_t* src = rgb.Row(y);
            for (std::uint64_t x = 0; x < w; ++x, src += 3) {
                out.insert(out.end(), src, src + 3);
                if (bpp == 32) PutU8(out, 255);
            }
        }
        out.resize(rowStart + stride, 0);
    }
    if (bpp == 4 || bpp == 8) {
        p.Palette = reduced.Palette;
        p.PaletteCount = static_cast<int>(reduced.Palette.size());
    }
    return ImageError::None;
}

}  // namespace

const FormatCodec kBmpCodec{ProbeBmp, ReadBmp, WriteBmp};

}  // namespace gw
