// ZSoft PaintBrush PCX, versions 0 to 5: 1-, 2-, 4- and 8-bit planes, 24- and 32-bit colour.
#include <algorithm>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::uint8_t kManufacturer = 10;
constexpr std::uint8_t kVgaPaletteMarker = 12;
constexpr std::size_t kVgaPaletteSize = 768;

// The colours of the standard EGA palette, used when the header carries no palette.
constexpr Rgb kEgaPalette[16] = {{0, 0, 0},     {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
                                 {170, 0, 0},   {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
                                 {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
                                 {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};

struct PcxHeader {
    unsigned version = 0, encoding = 0, bitsPerPixel = 0, planes = 0;
    unsigned xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    unsigned hDpi = 0, vDpi = 0, bytesPerLine = 0;
    std::vector<Rgb> headerPalette;  // 16 entries

    std::int64_t Width() const { return std::int64_t{xMax} - xMin + 1; }
    std::int64_t Height() const { return std::int64_t{yMax} - yMin + 1; }
};

bool ParseHeader(std::span<const std::uint8_t> data, PcxHeader& h) {
    ByteReader r(data);
    if (r.u8() != kManufacturer) return false;
    h.version = r.u8();
    h.encoding = r.u8();
    h.bitsPerPixel = r.u8();
    h.xMin = r.u16le();
    h.yMin = r.u16le();
    h.xMax = r.u16le();
    h.yMax = r.u16le();
    h.hDpi = r.u16le();
    h.vDpi = r.u16le();
    h.headerPalette.resize(16);
    for (Rgb& c : h.headerPalette) {
        c.r = r.u8();
        c.g = r.u8();
        c.b = r.u8();
    }
    r.u8();
    h.planes = r.u8();
    h.bytesPerLine = r.u16le();
    r.seek(kHeaderSize);
    if (!r.ok()) return false;
    if (h.version != 0 && (h.version < 2 || h.version > 5)) return false;
    if (h.encoding > 1 || h.xMax < h.xMin || h.yMax < h.yMin) return false;
    const unsigned b = h.bitsPerPixel, p = h.planes;
    const bool layoutKnown = (b == 1 && p >= 1 && p <= 4) || (b == 2 && p == 1) ||
                             (b == 4 && p == 1) || (b == 8 && (p == 1 || p == 3 || p == 4));
    if (!layoutKnown) return false;
    return h.bytesPerLine > 0 && h.bytesPerLine >= (h.Width() * b + 7) / 8;
}

bool ProbePcx(std::span<const std::uint8_t> data) {
    PcxHeader h;
    return ParseHeader(data, h);
}

// Hands out scan lines one at a time from raw or run-length data. Runs may cross lines;
// data that stops early leaves the remaining bytes zero.
class LineSource {
  public:
    LineSource(ByteReader r, bool rle) : r_(r), rle_(rle) {}
    void Next(std::vector<std::uint8_t>& line) {
        std::fill(line.begin(), line.end(), 0);
        std::size_t i = 0;
        while (i < line.size()) {
            if (pending_ > 0) {
                const std::size_t n = std::min<std::size_t>(pending_, line.size() - i);
                std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(i), n, value_);
                i += n;
                pending_ -= static_cast<unsigned>(n);
                continue;
            }
            if (r_.remaining() == 0) return;
            std::uint8_t b = r_.u8();
            if (rle_ && b >= 0xc0) {
                pending_ = b & 0x3f;
                value_ = r_.u8();
                if (!r_.ok()) return;
            } else {
                line[i++] = b;
            }
        }
    }

  private:
    ByteReader r_;
    bool rle_;
    unsigned pending_ = 0;
    std::uint8_t value_ = 0;
};

ImageError InfoPcx(std::span<const std::uint8_t> data, ImageInfo& info) {
    PcxHeader h;
    if (!ParseHeader(data, h)) return ImageError::Damaged;
    if (!ImageSizeAllowed(h.Width(), h.Height())) return ImageError::TooLarge;
    const unsigned b = h.bitsPerPixel, planes = h.planes;
    const bool trueColour = b == 8 && planes >= 3;
    info.Width = static_cast<int>(h.Width());
    info.Height = static_cast<int>(h.Height());
    info.HasAlpha = trueColour && planes == 4;
    info.ChannelCount = trueColour ? (info.HasAlpha ? 4 : 3) : 1;
    info.BitsPerChannel = trueColour ? 8 : static_cast<int>(b * planes);
    return ImageError::None;
}

ImageError ReadPcx(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    PcxHeader h;
    if (!ParseHeader(data, h)) return ImageError::Damaged;
    const std::int64_t w = h.Width(), hgt = h.Height();
    if (!ImageSizeAllowed(w, hgt)) return ImageError::TooLarge;
    const std::size_t lineBytes = static_cast<std::size_t>(h.bytesPerLine) * h.planes;
    ByteReader r(data);
    r.seek(kHeaderSize);
    if (h.encoding == 0) {
        std::uint64_t need = 0;
        if (!CheckedMul(lineBytes, static_cast<std::uint64_t>(hgt), &need) ||
            !r.has(kHeaderSize, need))
            return ImageError::Damaged;
    } else if (!DataCanFill(std::max<std::int64_t>(w, static_cast<std::int64_t>(lineBytes)), hgt,
                            std::uint64_t{lineBytes} * static_cast<std::uint64_t>(hgt),
                            r.remaining(), MaxRatio::kRun63)) {
        // Every line decodes all its bytes, however few pixels it has, so a large line count
        // times a long line must be backed by data too.
        return ImageError::Damaged;
    }

    const unsigned b = h.bitsPerPixel, planes = h.planes;
    const bool mono = b == 1 && planes == 1;
    const bool trueColour = b == 8 && planes >= 3;
    std::vector<Rgb> palette;
    if (!mono && !trueColour) {
        const unsigned bits = b * planes;
        if (bits == 8) {
            auto tail =
                data.size() >= kHeaderSize + kVgaPaletteSize + 1
                    ? ByteReader(data).at(data.size() - kVgaPaletteSize - 1, kVgaPaletteSize + 1)
                    : std::span<const std::uint8_t>{};
            if (!tail.empty() && tail[0] == kVgaPaletteMarker) {
                for (std::size_t i = 0; i < 256; ++i)
                    palette.push_back(Rgb{tail[1 + 3 * i], tail[2 + 3 * i], tail[3 + 3 * i]});
            } else {
                for (unsigned i = 0; i < 256; ++i) {
                    const auto v = static_cast<std::uint8_t>(i);
                    palette.push_back(Rgb{v, v, v});
                }
            }
        } else {
            const bool headerEmpty = std::all_of(h.headerPalette.begin(), h.headerPalette.end(),
                                                 [](Rgb c) { return c == Rgb{}; });
            const bool useEga = h.version == 3 || headerEmpty;
            for (unsigned i = 0; i < (1u << bits); ++i)
                palette.push_back(useEga ? kEgaPalette[i] : h.headerPalette[i]);
        }
    }

    RasterImage image;
    const PixelFormat format = mono         ? PixelFormat::ie1g
                               : trueColour ? PixelFormat::ie24RGB
                                            : PixelFormat::ie8p;
    if (!image.Allocate(static_cast<int>(w), static_cast<int>(hgt), format))
        return ImageError::TooLarge;
    if (planes == 4 && b == 8) image.AddAlpha(255);
    LineSource source(r, h.encoding == 1);
    std::vector<std::uint8_t> line(lineBytes);
    const std::size_t bpl = h.bytesPerLine;
    for (int y = 0; y < image.Height(); ++y) {
        source.Next(line);
        std::uint8_t* dst = image.Row(y);
        if (mono) {
            std::copy_n(line.begin(), (static_cast<std::size_t>(w) + 7) / 8, dst);
        } else if (trueColour) {
            for (std::int64_t x = 0; x < w; ++x) {
                dst[3 * x + 2] = line[static_cast<std::size_t>(x)];
                dst[3 * x + 1] = line[bpl + static_cast<std::size_t>(x)];
                dst[3 * x + 0] = line[2 * bpl + static_cast<std::size_t>(x)];
                if (planes == 4) image.AlphaRow(y)[x] = line[3 * bpl + static_cast<std::size_t>(x)];
            }
        } else {
            const unsigned perByte = 8 / b, mask = (1u << b) - 1;
            for (std::int64_t x = 0; x < w; ++x) {
                unsigned index = 0;
                for (unsigned p = 0; p < planes; ++p) {
                    const unsigned byte = line[p * bpl + static_cast<std::size_t>(x / perByte)];
                    const unsigned shift = 8 - b * static_cast<unsigned>(x % perByte + 1);
                    index |= ((byte >> shift) & mask) << (p * b);
                }
                dst[x] = static_cast<std::uint8_t>(index);
            }
        }
    }
    if (image.HasAlpha() && image.AlphaAllOpaque()) image.RemoveAlpha();
    if (mono) ClearPaddingBits(image);
    if (format == PixelFormat::ie8p) {
        image.Palette() = palette;
        image = ExpandIndexed(image, false);
        if (image.Empty()) return ImageError::Damaged;
    }

    FileParams& p = holder.Params;
    if (trueColour) {
        p.ChannelCount = image.HasAlpha() ? 4 : 3;
        p.BitsPerChannel = 8;
    } else {
        p.ChannelCount = 1;
        p.BitsPerChannel = static_cast<int>(b * planes);
    }
    p.Palette = palette;
    p.PaletteCount = static_cast<int>(palette.size());
    p.ImageWidth = image.Width();
    p.ImageHeight = image.Height();
    p.HorizontalDpi = h.hDpi > 0 ? static_cast<int>(h.hDpi) : 300;
    p.VerticalDpi = h.vDpi > 0 ? static_cast<int>(h.vDpi) : 300;
    p.PCX_Version = static_cast<int>(h.version);
    p.PCX_RLE = h.encoding == 1;
    holder.Image = std::move(image);
    return ImageError::None;
}

// One plane line, run-length encoded; runs stay within the line.
void EncodeLine(const std::uint8_t* line, std::size_t n, std::vector<std::uint8_t>& out) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 63 && line[i + run] == line[i]) ++run;
        if (run > 1 || line[i] >= 0xc0) PutU8(out, 0xc0 | run);
        PutU8(out, line[i]);
        i += run;
    }
}

ImageError WritePcx(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    const RasterImage& image = holder.Image;
    FileParams& p = holder.Params;
    if (p.ChannelCount > 3) p.ChannelCount = 3;
    if (image.Empty() || image.Width() > 0xffff || image.Height() > 0xffff)
        return ImageError::CannotEncode;
    enum class Kind { Mono, Colours16, Colours256, Rgb24 } kind;
    if (p.BitsPerChannel == 1)
        kind = Kind::Mono;
    else if (p.ChannelCount >= 3)
        kind = Kind::Rgb24;
    else
        kind = p.BitsPerChannel <= 4 ? Kind::Colours16 : Kind::Colours256;

    const std::size_t w = static_cast<std::size_t>(image.Width());
    const unsigned bits = kind == Kind::Colours256 || kind == Kind::Rgb24 ? 8 : 1;
    const unsigned planes = kind == Kind::Colours16 ? 4 : kind == Kind::Rgb24 ? 3 : 1;
    std::size_t bpl = (w * bits + 7) / 8;
    bpl += bpl & 1;  // lines have an even byte count
    if (bpl > 0xffff) return ImageError::CannotEncode;

    RasterImage storage;
    const RasterImage* src = &image;
    ReducedImage reduced;
    std::vector<std::uint8_t> monoRows;
    if (kind == Kind::Mono) {
        monoRows = BlackWhiteRows(image);
    } else if (kind == Kind::Rgb24) {
        src = &AsRgb24(image, storage);
    } else if (!ReduceToPalette(image, kind == Kind::Colours16 ? 16 : 256, reduced)) {
        return ImageError::CannotEncode;
    }

    PutU8(out, kManufacturer);
    PutU8(out, 5);
    PutU8(out, 1);
    PutU8(out, bits);
    PutU16le(out, 0);
    PutU16le(out, 0);
    PutU16le(out, static_cast<unsigned>(w - 1));
    PutU16le(out, static_cast<unsigned>(image.Height() - 1));
    PutU16le(out, static_cast<unsigned>(std::clamp(p.HorizontalDpi, 0, 0xffff)));
    PutU16le(out, static_cast<unsigned>(std::clamp(p.VerticalDpi, 0, 0xffff)));
    for (std::size_t i = 0; i < 16; ++i) {
        Rgb c{};
        if (kind == Kind::Mono && i == 1) c = Rgb{255, 255, 255};
        if (kind == Kind::Colours16 && i < reduced.Palette.size()) c = reduced.Palette[i];
        PutU8(out, c.r);
        PutU8(out, c.g);
        PutU8(out, c.b);
    }
    PutU8(out, 0);
    PutU8(out, planes);
    PutU16le(out, static_cast<unsigned>(bpl));
    PutU16le(out, 1);
    PutU16le(out, 0);
    PutU16le(out, 0);
    out.resize(out.size() + (kHeaderSize - 74), 0);

    std::vector<std::uint8_t> line(bpl);
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* idx = reduced.Indices.empty()
                                      ? nullptr
                                      : reduced.Indices.data() + static_cast<std::size_t>(y) * w;
        for (unsigned plane = 0; plane < planes; ++plane) {
            std::fill(line.begin(), line.end(), 0);
            switch (kind) {
                case Kind::Mono:
                    std::copy_n(monoRows.data() + static_cast<std::size_t>(y) * ((w + 7) / 8),
                                (w + 7) / 8, line.begin());
                    break;
                case Kind::Rgb24:
                    for (std::size_t x = 0; x < w; ++x) line[x] = src->Row(y)[3 * x + 2 - plane];
                    break;
                case Kind::Colours256:
                    std::copy_n(idx, w, line.begin());
                    break;
                case Kind::Colours16:
                    for (std::size_t x = 0; x < w; ++x)
                        if ((idx[x] >> plane) & 1)
                            line[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
                    break;
            }
            EncodeLine(line.data(), bpl, out);
        }
    }
    if (kind == Kind::Colours256) {
        PutU8(out, kVgaPaletteMarker);
        for (std::size_t i = 0; i < 256; ++i) {
            Rgb c = i < reduced.Palette.size() ? reduced.Palette[i] : Rgb{};
            PutU8(out, c.r);
            PutU8(out, c.g);
            PutU8(out, c.b);
        }
    }
    if (!reduced.Palette.empty()) {
        p.Palette = reduced.Palette;
        p.PaletteCount = static_cast<int>(reduced.Palette.size());
    }
    return ImageError::None;
}

}  // namespace

const FormatCodec kPcxCodec{ProbePcx, ReadPcx, WritePcx, InfoPcx};

}  // namespace gw
