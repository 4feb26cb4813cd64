// Photoshop documents (PSD, and PSB for reading): the merged image is read; written files hold
// the merged image and one layer with the picture.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

enum Mode : unsigned {
    kBitmap = 0,
    kGrey = 1,
    kIndexed = 2,
    kRgb = 3,
    kCmyk = 4,
    kMultichannel = 7,
    kDuotone = 8,
    kLab = 9
};

constexpr std::uint16_t kResolutionInfo = 0x03ed;
constexpr std::uint16_t kTransparencyIndex = 0x0417;
constexpr std::uint16_t kIndexedColourCount = 0x0416;
constexpr unsigned kMaxWriteDimension = 30000;

std::uint64_t U64be(ByteReader& r) {
    const std::uint64_t high = r.u32be();
    return high << 32 | r.u32be();
}

struct PsdHeader {
    unsigned version = 1;
    unsigned channels = 0;
    std::uint32_t height = 0, width = 0;
    unsigned depth = 0;
    unsigned mode = 0;
};

bool ParseHeader(ByteReader& r, PsdHeader& h) {
    if (r.u32be() != 0x38425053) return false;  // "8BPS"
    h.version = r.u16be();
    r.skip(6);
    h.channels = r.u16be();
    h.height = r.u32be();
    h.width = r.u32be();
    h.depth = r.u16be();
    h.mode = r.u16be();
    return r.ok() && (h.version == 1 || h.version == 2);
}

unsigned ColourChannels(unsigned mode) {
    switch (mode) {
        case kRgb:
            return 3;
        case kCmyk:
            return 4;
        default:
            return 1;
    }
}

bool LayoutSupported(const PsdHeader& h) {
    if (h.channels < 1 || h.channels > 56 || h.channels < ColourChannels(h.mode)) return false;
    switch (h.mode) {
        case kBitmap:
            return h.depth == 1;
        case kIndexed:
            return h.depth == 8;
        case kGrey:
        case kRgb:
        case kCmyk:
        case kMultichannel:
        case kDuotone:
            return h.depth == 8 || h.depth == 16;
        default:
            return false;
    }
}

bool ProbePsd(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    PsdHeader h;
    return ParseHeader(r, h);
}

struct Resources {
    int hDpi = 300, vDpi = 300;
    int transparentIndex = -1;
    int colourCount = 256;
};

void ParseResources(std::span<const std::uint8_t> block, Resources& res) {
    ByteReader r(block);
    while (r.remaining() >= 12) {
        const std::uint32_t signature = r.u32be();
        if (signature != 0x3842494d && signature != 0x4d655361) return;  // "8BIM", "MeSa"
        const std::uint16_t id = r.u16be();
        const unsigned nameLength = r.u8();
        r.skip(nameLength + ((nameLength + 1) & 1));
        const std::uint32_t size = r.u32be();
        auto payload = r.take(size);
        if (!r.ok()) return;
        r.skip(size & 1);
        ByteReader p(payload);
        if (id == kResolutionInfo && payload.size() >= 16) {
            const std::uint32_t h = p.u32be();
            p.skip(4);
            const std::uint32_t v = p.u32be();
            // Fixed-point pixels per inch, whatever unit the document displays.
            res.hDpi = std::max(1, static_cast<int>(std::lround(h / 65536.0)));
            res.vDpi = std::max(1, static_cast<int>(std::lround(v / 65536.0)));
        } else if (id == kTransparencyIndex && payload.size() >= 2) {
            res.transparentIndex = p.u16be();
        } else if (id == kIndexedColourCount && payload.size() >= 2) {
            res.colourCount = std::min<int>(256, p.u16be());
        }
    }
}

// One PackBits row into exactly out.size() bytes; output past the row is dropped and a short
// input leaves the rest zero.
void UnpackBits(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
    std::fill(out.begin(), out.end(), 0);
    std::size_t i = 0, o = 0;
    while (i < in.size() && o < out.size()) {
        const int n = static_cast<std::int8_t>(in[i++]);
        if (n >= 0) {
            for (int k = 0; k <= n && i < in.size(); ++k, ++i)
                if (o < out.size()) out[o++] = in[i];
        } else if (n != -128) {
            if (i >= in.size()) break;
            const std::uint8_t v = in[i++];
            for (int k = 0; k < 1 - n && o < out.size(); ++k) out[o++] = v;
        }
    }
}

struct PlaneReader {
    const ByteReader* file = nullptr;
    bool rle = false;
    std::uint64_t rowBytes = 0;
    std::uint64_t height = 0;
    std::uint64_t rawStart = 0;                // raw: first byte of channel 0
    std::vector<std::uint64_t> rowCounts;      // rle: byte count of every row, channel-major
    std::vector<std::uint64_t> channelStarts;  // rle: first byte of every channel

    // Row y of channel c; zeros where the data is missing.
    void Row(unsigned c, std::uint64_t y, std::vector<std::uint8_t>& out) const {
        if (!rle) {
            auto src = file->at(rawStart + (c * height + y) * rowBytes, rowBytes);
            if (src.empty())
                std::fill(out.begin(), out.end(), 0);
            else
                std::copy(src.begin(), src.end(), out.begin());
            return;
        }
        // Rows of a channel are read in order, so the offset is carried along.
        if (y == 0) offset_ = channelStarts[c];
        const std::uint64_t count = rowCounts[c * height + y];
        UnpackBits(file->at(offset_, count), out);
        offset_ += count;
    }

  private:
    mutable std::uint64_t offset_ = 0;
};

std::uint8_t Sample(const std::vector<std::uint8_t>& row, std::uint64_t x, unsigned depth) {
    if (depth == 16) {
        const unsigned v = static_cast<unsigned>(row[2 * x] << 8 | row[2 * x + 1]);
        return ScaleToByte(v, 65535);
    }
    return row[x];
}

ImageError ReadPsd(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader r(data);
    PsdHeader h;
    if (!ParseHeader(r, h) || !LayoutSupported(h) || !ImageSizeAllowed(h.width, h.height))
        return ImageError::TooLarge;
    const bool big = h.version == 2;

    // Colour mode data: the palette of indexed documents.
    const std::uint32_t modeLength = r.u32be();
    auto modeData = r.take(modeLength);
    std::vector<Rgb> palette;
    if (h.mode == kIndexed) {
        if (modeData.size() < 768) return ImageError::Truncated;
        for (int i = 0; i < 256; ++i)
            palette.push_back(Rgb{modeData[i], modeData[256 + i], modeData[512 + i]});
    }
    Resources res;
    const std::uint32_t resourceLength = r.u32be();
    ParseResources(r.take(resourceLength), res);
    if (!r.ok()) return ImageError::Truncated;
    if (h.mode == kIndexed) palette.resize(static_cast<std::size_t>(std::max(1, res.colourCount)));

    // Layer and mask information: only whether the merged image's first extra channel is
    // its transparency (a negative layer count, or no layers at all).
    const std::uint64_t layerLength = big ? U64be(r) : r.u32be();
    bool extraIsAlpha = true;
    if (layerLength > 0) {
        ByteReader layers(r.at(r.pos(), layerLength));
        const std::uint64_t infoLength = big ? U64be(layers) : layers.u32be();
        if (layers.ok() && infoLength >= 2) {
            const std::int16_t count = static_cast<std::int16_t>(layers.u16be());
            extraIsAlpha = count < 0 || !layers.ok();
        }
    }
    if (!r.skip(layerLength)) return ImageError::Truncated;

    const unsigned compression = r.u16be();
    if (!r.ok() || compression > 1) return ImageError::Truncated;
    const unsigned colour = ColourChannels(h.mode);
    const bool hasAlpha = (h.mode != kBitmap && h.mode != kIndexed && h.mode != kMultichannel &&
                           h.channels > colour && extraIsAlpha) ||
                          (h.mode == kIndexed && res.transparentIndex >= 0);
    const std::uint64_t w = h.width, hgt = h.height;
    const unsigned decoded = colour + (hasAlpha && h.mode != kIndexed ? 1 : 0);
    PlaneReader planes;
    planes.file = &r;
    planes.rle = compression == 1;
    planes.rowBytes = (w * h.depth + 7) / 8;
    planes.height = hgt;
    planes.rawStart = r.pos();
    if (planes.rle) {
        const unsigned countBytes = big ? 4 : 2;
        std::uint64_t rows = 0, tableBytes = 0;
        CheckedMul(h.channels, hgt, &rows);
        CheckedMul(rows, countBytes, &tableBytes);
        ByteReader table(r.at(r.pos(), tableBytes));
        if (table.size() == 0) return ImageError::Damaged;
        planes.rowCounts.resize(rows);
        std::uint64_t offset = r.pos() + tableBytes;
        for (std::uint64_t i = 0; i < rows; ++i) {
            if (i % hgt == 0) planes.channelStarts.push_back(offset);
            planes.rowCounts[i] = big ? table.u32be() : table.u16be();
            offset += planes.rowCounts[i];
        }
        std::uint64_t used = 0;
        CheckedMul(planes.rowBytes * hgt, decoded, &used);
        const std::uint64_t packed =
            r.pos() + tableBytes <= r.size() ? r.size() - r.pos() - tableBytes : 0;
        if (!DataCanFill(h.width, h.height, used, packed, MaxRatio::kRun128))
            return ImageError::Damaged;
    } else {
        // Channels past the decoded ones may be cut; the decoded ones must be whole.
        std::uint64_t used = 0;
        CheckedMul(planes.rowBytes * hgt, decoded, &used);
        if (!r.has(r.pos(), used)) return ImageError::Damaged;
    }

    RasterImage image;
    if (!image.Allocate(static_cast<int>(w), static_cast<int>(hgt),
                        h.mode == kBitmap ? PixelFormat::ie1g : PixelFormat::ie24RGB))
        return ImageError::TooLarge;
    if (hasAlpha) image.AddAlpha(255);

    std::vector<std::uint8_t> row(planes.rowBytes);
    for (unsigned c = 0; c < decoded; ++c) {
        for (std::uint64_t y = 0; y < hgt; ++y) {
            planes.Row(c, y, row);
            std::uint8_t* dst = image.Row(static_cast<int>(y));
            if (h.mode == kBitmap) {
                // Bit 1 is black in the document and white in the image.
                for (std::uint64_t i = 0; i < planes.rowBytes; ++i)
                    dst[i] = static_cast<std::uint8_t>(~row[i]);
                continue;
            }
            if (c == colour) {
                std::uint8_t* a = image.AlphaRow(static_cast<int>(y));
                for (std::uint64_t x = 0; x < w; ++x) a[x] = Sample(row, x, h.depth);
                continue;
            }
            for (std::uint64_t x = 0; x < w; ++x) {
                const std::uint8_t v = Sample(row, x, h.depth);
                std::uint8_t* p = dst + 3 * x;
                if (h.mode == kIndexed) {
                    const Rgb col = v < palette.size() ? palette[v] : Rgb{};
                    p[0] = col.b, p[1] = col.g, p[2] = col.r;
                    if (hasAlpha && v == res.transparentIndex)
                        image.AlphaRow(static_cast<int>(y))[x] = 0;
                } else if (colour == 1) {
                    p[0] = p[1] = p[2] = v;
                } else if (c < 3) {
                    p[2 - c] = v;
                } else {
                    // Stored CMYK is inverted (255 = no ink): red = c' × k' / 255 and so on.
                    for (int k = 0; k < 3; ++k)
                        p[k] = static_cast<std::uint8_t>((p[k] * v + 127) / 255);
                }
            }
        }
    }
    if (image.HasAlpha() && image.AlphaAllOpaque()) image.RemoveAlpha();
    ClearPaddingBits(image);

    FileParams& p = holder.Params;
    switch (h.mode) {
        case kBitmap:
            p.ChannelCount = 1, p.BitsPerChannel = 1;
            break;
        case kIndexed:
            p.ChannelCount = 1, p.BitsPerChannel = 8;
            break;
        default:
            p.ChannelCount = static_cast<int>(colour + (image.HasAlpha() ? 1 : 0));
            p.BitsPerChannel = static_cast<int>(h.depth);
    }
    p.Palette = palette;
    p.PaletteCount = static_cast<int>(palette.size());
    p.ImageWidth = image.Width();
    p.ImageHeight = image.Height();
    p.HorizontalDpi = res.hDpi;
    p.VerticalDpi = res.vDpi;
    holder.Image = std::move(image);
    return ImageError::None;
}

void PutPascalString(std::vector<std::uint8_t>& out, const char* text, std::size_t multiple) {
    const std::size_t n = std::strlen(text);
    PutU8(out, static_cast<unsigned>(n));
    out.insert(out.end(), text, text + n);
    for (std::size_t k = n + 1; k % multiple != 0; ++k) PutU8(out, 0);
}

ImageError WritePsd(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    const RasterImage& image = holder.Image;
    if (image.Empty() || static_cast<unsigned>(image.Width()) > kMaxWriteDimension ||
        static_cast<unsigned>(image.Height()) > kMaxWriteDimension)
        return ImageError::CannotEncode;
    RasterImage storage;
    const RasterImage& rgb = AsRgb24(image, storage);
    const bool alpha = image.HasAlpha();
    const unsigned channels = alpha ? 4 : 3;
    const std::uint32_t w = static_cast<std::uint32_t>(image.Width());
    const std::uint32_t h = static_cast<std::uint32_t>(image.Height());
    const std::uint64_t planeBytes = std::uint64_t{w} * h;

    // Planar channel data: red, green, blue, then alpha.
    auto appendPlane = [&](unsigned c) {
        for (std::uint32_t y = 0; y < h; ++y) {
            const std::uint8_t* src = rgb.Row(static_cast<int>(y));
            if (c == 3) {
                const std::uint8_t* a = image.AlphaRow(static_cast<int>(y));
                out.insert(out.end(), a, a + w);
            } else {
                for (std::uint32_t x = 0; x < w; ++x) out.push_back(src[3 * x + 2 - c]);
            }
        }
    };

    PutU32be(out, 0x38425053);  // "8BPS"
    PutU16be(out, 1);
    out.resize(out.size() + 6, 0);
    PutU16be(out, channels);
    PutU32be(out, h);
    PutU32be(out, w);
    PutU16be(out, 8);
    PutU16be(out, kRgb);
    PutU32be(out, 0);  // no colour mode data

    // Resolution in fixed-point pixels per inch, displayed in inches.
    PutU32be(out, 28);
    PutU32be(out, 0x3842494d);
    PutU16be(out, kResolutionInfo);
    PutU16be(out, 0);  // empty name, padded
    PutU32be(out, 16);
    const FileParams& p = holder.Params;
    for (int dpi : {p.HorizontalDpi, p.VerticalDpi}) {
        PutU32be(out, static_cast<std::uint32_t>(std::clamp(dpi, 1, 32767)) << 16);
        PutU16be(out, 1);
        PutU16be(out, 1);
    }

    // One layer holding the picture; its transparency channel (-1) comes first when present.
    std::vector<std::uint8_t> record;
    PutU32be(record, 0);
    PutU32be(record, 0);
    PutU32be(record, h);
    PutU32be(record, w);
    PutU16be(record, channels);
    const std::uint32_t channelLength = static_cast<std::uint32_t>(2 + planeBytes);
    if (alpha) {
        PutU16be(record, 0xffff);
        PutU32be(record, channelLength);
    }
    for (unsigned c = 0; c < 3; ++c) {
        PutU16be(record, c);
        PutU32be(record, channelLength);
    }
    PutU32be(record, 0x3842494d);  // "8BIM"
    PutU32be(record, 0x6e6f726d);  // "norm"
    PutU8(record, 255);            // opacity
    PutU8(record, 0);              // clipping
    PutU8(record, 0);              // flags: visible
    PutU8(record, 0);
    std::vector<std::uint8_t> extra;
    PutU32be(extra, 0);  // no layer mask
    PutU32be(extra, 0);  // no blending ranges
    PutPascalString(extra, "Layer 1", 4);
    PutU32be(record, static_cast<std::uint32_t>(extra.size()));
    record.insert(record.end(), extra.begin(), extra.end());

    const std::uint64_t channelData = channels * std::uint64_t{channelLength};
    std::uint64_t layerInfo = 2 + record.size() + channelData;
    layerInfo += layerInfo & 1;
    const std::uint64_t section = 4 + layerInfo + 4;
    if (section > 0xffffffffu) return ImageError::CannotEncode;
    PutU32be(out, static_cast<std::uint32_t>(section));
    PutU32be(out, static_cast<std::uint32_t>(layerInfo));
    PutU16be(out, alpha ? 0xffff : 1);  // -1: the merged image's extra channel is its alpha
    out.insert(out.end(), record.begin(), record.end());
    const unsigned order[4] = {3, 0, 1, 2};
    for (unsigned i = alpha ? 0 : 1; i < 4; ++i) {
        PutU16be(out, 0);  // raw
        appendPlane(order[i]);
    }
    if ((2 + record.size() + channelData) & 1) PutU8(out, 0);
    PutU32be(out, 0);  // no global layer mask

    // The merged image.
    PutU16be(out, 0);
    for (unsigned c = 0; c < channels; ++c) appendPlane(c);
    return ImageError::None;
}

}  // namespace

const FormatCodec kPsdCodec{ProbePsd, ReadPsd, WritePsd};

}  // namespace gw
