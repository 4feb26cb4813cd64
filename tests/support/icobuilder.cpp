#include "support/icobuilder.h"

#include <zlib.h>

#include <cstring>

namespace gw::test {
namespace {

void Put8(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put8(out, v);
    Put8(out, v >> 8);
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v);
    Put16(out, v >> 16);
}
void Put32be(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put8(out, v >> 24);
    Put8(out, v >> 16);
    Put8(out, v >> 8);
    Put8(out, v);
}

std::size_t RowBytes(std::size_t width, std::size_t bits) {
    return (width * bits + 31) / 32 * 4;
}

std::uint32_t PixelAt(const DibSpec& s, int x, int y) {
    std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(s.width) +
                    static_cast<std::size_t>(x);
    return i < s.pixels.size() ? s.pixels[i] : 0;
}

void PutBitmapHeader(std::vector<std::uint8_t>& out, const DibSpec& s, std::int32_t height,
                     std::uint32_t colorBytes) {
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(s.headerWidth.value_or(s.width)));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, s.headerBitCount.value_or(static_cast<std::uint16_t>(s.bitCount)));
    Put32(out, 0);
    Put32(out, s.imageSizeField.value_or(colorBytes));
    Put32(out, static_cast<std::uint32_t>(s.xPelsPerMeter));
    Put32(out, static_cast<std::uint32_t>(s.yPelsPerMeter));
    Put32(out, 0);
    Put32(out, 0);
}

void PutColorTableAndRows(std::vector<std::uint8_t>& out, const DibSpec& s) {
    for (const Rgb& c : s.colorTable) {
        Put8(out, c.b);
        Put8(out, c.g);
        Put8(out, c.r);
        Put8(out, 0);
    }
    const std::size_t rowLen =
        RowBytes(static_cast<std::size_t>(s.width), static_cast<std::size_t>(s.bitCount));
    for (int y = s.height - 1; y >= 0; --y) {
        const std::size_t start = out.size();
        out.resize(start + rowLen, 0);
        std::uint8_t* row = out.data() + start;
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t v = PixelAt(s, x, y);
            const std::size_t ux = static_cast<std::size_t>(x);
            switch (s.bitCount) {
                case 1:
                    if (v & 1) row[ux >> 3] |= static_cast<std::uint8_t>(0x80 >> (ux & 7));
                    break;
                case 4:
                    row[ux >> 1] |= static_cast<std::uint8_t>((v & 15) << ((ux & 1) ? 0 : 4));
                    break;
                case 8:
                    row[ux] = static_cast<std::uint8_t>(v);
                    break;
                case 24:
                case 32: {
                    std::uint8_t* p = row + ux * static_cast<std::size_t>(s.bitCount / 8);
                    p[0] = static_cast<std::uint8_t>(v);
                    p[1] = static_cast<std::uint8_t>(v >> 8);
                    p[2] = static_cast<std::uint8_t>(v >> 16);
                    if (s.bitCount == 32) p[3] = static_cast<std::uint8_t>(v >> 24);
                    break;
                }
                default:
                    break;
            }
        }
    }
}

std::uint32_t ColorBytes(const DibSpec& s) {
    return static_cast<std::uint32_t>(
        RowBytes(static_cast<std::size_t>(s.width), static_cast<std::size_t>(s.bitCount)) *
        static_cast<std::size_t>(s.height));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type,
              const std::vector<std::uint8_t>& data) {
    Put32be(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    Put32be(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::vector<std::uint8_t> BuildIconContainer(const std::vector<IcoEntry>& entries,
                                             std::uint16_t type,
                                             std::optional<std::uint16_t> count) {
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, type);
    Put16(out, count.value_or(static_cast<std::uint16_t>(entries.size())));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const IcoEntry& e : entries) {
        Put8(out, e.width);
        Put8(out, e.height);
        Put8(out, e.colorCount);
        Put8(out, e.reserved);
        Put16(out, e.planes);
        Put16(out, e.bitCount);
        Put32(out, e.size.value_or(static_cast<std::uint32_t>(e.payload.size())));
        Put32(out, e.offset.value_or(offset));
        offset += static_cast<std::uint32_t>(e.payload.size());
    }
    for (const IcoEntry& e : entries) out.insert(out.end(), e.payload.begin(), e.payload.end());
    return out;
}

std::vector<std::uint8_t> BuildDib(const DibSpec& layout) {
    std::vector<std::uint8_t> out;
    PutBitmapHeader(out, layout, layout.headerHeight.value_or(2 * layout.height),
                    ColorBytes(layout));
    PutColorTableAndRows(out, layout);
    if (layout.withMask) {
        const std::size_t rowLen = RowBytes(static_cast<std::size_t>(layout.width), 1);
        for (int y = layout.height - 1; y >= 0; --y) {
            const std::size_t start = out.size();
            out.resize(start + rowLen, 0);
            for (int x = 0; x < layout.width; ++x) {
                std::size_t i =
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(layout.width) +
                    static_cast<std::size_t>(x);
                if (i < layout.mask.size() && layout.mask[i])
                    out[start + (static_cast<std::size_t>(x) >> 3)] |=
                        static_cast<std::uint8_t>(0x80 >> (x & 7));
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> BuildBmpFile(const DibSpec& layout) {
    std::vector<std::uint8_t> dib;
    PutBitmapHeader(dib, layout, layout.headerHeight.value_or(layout.height), ColorBytes(layout));
    PutColorTableAndRows(dib, layout);
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, static_cast<std::uint32_t>(14 + dib.size()));
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(14 + 40 + 4 * layout.colorTable.size()));
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

std::vector<std::uint8_t> BuildPng(int width, int height, const std::vector<std::uint32_t>& argb) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x);
            std::uint32_t v = i < argb.size() ? argb[i] : 0;
            raw.push_back(static_cast<std::uint8_t>(v >> 16));
            raw.push_back(static_cast<std::uint8_t>(v >> 8));
            raw.push_back(static_cast<std::uint8_t>(v));
            raw.push_back(static_cast<std::uint8_t>(v >> 24));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6);
    packed.resize(packedSize);

    std::vector<std::uint8_t> out{137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<std::uint8_t> ihdr;
    Put32be(ihdr, static_cast<std::uint32_t>(width));
    Put32be(ihdr, static_cast<std::uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    PutChunk(out, "IHDR", ihdr);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    return out;
}

std::vector<std::uint8_t> BuildExtractedIconStream(const DibSpec& layout) {
    IcoEntry e;
    e.width = static_cast<std::uint8_t>(layout.width & 0xff);
    e.height = static_cast<std::uint8_t>(layout.height & 0xff);
    e.colorCount = static_cast<std::uint8_t>(layout.bitCount & 0xff);
    e.reserved = static_cast<std::uint8_t>(layout.bitCount >> 8);
    e.planes = 0;
    e.bitCount = 0;
    e.payload = BuildDib(layout);
    return BuildIconContainer({e});
}

std::uint16_t U16At(std::span<const std::uint8_t> b, std::size_t pos) {
    return static_cast<std::uint16_t>(b[pos] | (b[pos + 1] << 8));
}

std::uint32_t U32At(std::span<const std::uint8_t> b, std::size_t pos) {
    return U16At(b, pos) | (static_cast<std::uint32_t>(U16At(b, pos + 2)) << 16);
}

std::vector<ParsedEntry> ParseIconDirectory(std::span<const std::uint8_t> bytes) {
    std::vector<ParsedEntry> entries;
    if (bytes.size() < 6) return entries;
    const std::size_t count = U16At(bytes, 4);
    if (bytes.size() < 6 + 16 * count) return entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t p = 6 + 16 * i;
        entries.push_back({bytes[p], bytes[p + 1], bytes[p + 2], bytes[p + 3], U16At(bytes, p + 4),
                           U16At(bytes, p + 6), U32At(bytes, p + 8), U32At(bytes, p + 12)});
    }
    return entries;
}

}  // namespace gw::test
