#include "imagefile/ico/writer.h"

#include <algorithm>

#include "base/fileio.h"
#include "imagefile/formats/codec.h"
#include "imagefile/ops/quantize.h"

namespace gw {
namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;

void PutU8(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
}
void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU8(out, v);
    PutU8(out, v >> 8);
}
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16(out, v);
    PutU16(out, v >> 16);
}
void PutU16At(std::vector<std::uint8_t>& out, std::size_t pos, std::uint32_t v) {
    out[pos] = static_cast<std::uint8_t>(v);
    out[pos + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32At(std::vector<std::uint8_t>& out, std::size_t pos, std::uint32_t v) {
    PutU16At(out, pos, v);
    PutU16At(out, pos + 2, v >> 16);
}

std::size_t RowBytes(std::size_t width, std::size_t bits) {
    return (width * bits + 31) / 32 * 4;
}

// Bits per pixel an image is written with, from its declared depth.
int EntryBits(const RasterImage& image, const FileParams& p) {
    if (image.Format() == PixelFormat::ie1g) return 1;
    if (p.ChannelCount == 3 && p.BitsPerChannel == 8) return 24;
    if (p.ChannelCount == 4 && p.BitsPerChannel == 8) return 32;
    if (p.ChannelCount == 1 && p.BitsPerChannel == 1)
        // Colour rows do not fit the 1-bit layout: keep their colours.
        return image.Format() == PixelFormat::ie24RGB ? 24 : 8;
    if (p.ChannelCount == 1 && p.BitsPerChannel == 4) return 4;
    return 8;
}

// Colour table and one index per pixel (rows from the top, unpadded) of a 4- or 8-bit entry.
ReducedImage IndexedPixels(const RasterImage& image, FileParams& p, int bits) {
    const std::size_t tableSize = std::size_t{1} << bits;
    if (image.Format() == PixelFormat::ie8p) {
        ReducedImage own;
        own.Indices.reserve(static_cast<std::size_t>(image.Width()) *
                            static_cast<std::size_t>(image.Height()));
        bool fits = true;
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.Width(); ++x) {
                std::uint8_t index = image.Row(y)[x];
                fits = fits && index < tableSize;
                own.Indices.push_back(index);
            }
        if (fits) {
            own.Palette.assign(image.Palette().begin(),
                               image.Palette().begin() + static_cast<std::ptrdiff_t>(std::min(
                                                             tableSize, image.Palette().size())));
            return own;
        }
        // Indices beyond a 16-entry table: reduce the colours instead of truncating them.
    }
    ReducedImage reduced = ReduceColors(image, static_cast<int>(tableSize));
    p.Palette = reduced.Palette;
    p.PaletteCount = static_cast<int>(reduced.Palette.size());
    return reduced;
}

void WriteColorTable(std::vector<std::uint8_t>& out, const std::vector<Rgb>& colors,
                     std::size_t entries) {
    for (std::size_t i = 0; i < entries; ++i) {
        Rgb c = i < colors.size() ? colors[i] : Rgb{};
        PutU8(out, c.b);
        PutU8(out, c.g);
        PutU8(out, c.r);
        PutU8(out, 0);
    }
}

void WriteTrueColorRows(std::vector<std::uint8_t>& out, const RasterImage& image, int bits) {
    const RasterImage converted =
        image.Format() == PixelFormat::ie24RGB ? RasterImage{} : image.ToRgb24();
    const RasterImage& rgb = image.Format() == PixelFormat::ie24RGB ? image : converted;
    const std::size_t w = static_cast<std::size_t>(rgb.Width());
    const std::size_t rowLen = RowBytes(w, static_cast<std::size_t>(bits));
    std::size_t pos = out.size();
    out.resize(pos + rowLen * static_cast<std::size_t>(rgb.Height()), 0);
    for (int y = rgb.Height() - 1; y >= 0; --y, pos += rowLen) {
        const std::uint8_t* src = rgb.Row(y);
        std::uint8_t* dst = out.data() + pos;
        if (bits == 24) {
            std::copy(src, src + 3 * w, dst);
            continue;
        }
        const std::uint8_t* alpha = image.HasAlpha() ? image.AlphaRow(y) : nullptr;
        for (std::size_t x = 0; x < w; ++x, src += 3, dst += 4) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = alpha ? alpha[x] : 255;
        }
    }
}

void WriteOneBitRows(std::vector<std::uint8_t>& out, const RasterImage& image) {
    const std::size_t rowLen = RowBytes(static_cast<std::size_t>(image.Width()), 1);
    for (int y = image.Height() - 1; y >= 0; --y)
        out.insert(out.end(), image.Row(y), image.Row(y) + rowLen);
}

void WriteIndexedRows(std::vector<std::uint8_t>& out, const ReducedImage& px, int width, int height,
                      int bits) {
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t rowLen = RowBytes(w, static_cast<std::size_t>(bits));
    for (int y = height - 1; y >= 0; --y) {
        const std::uint8_t* src = px.Indices.data() + static_cast<std::size_t>(y) * w;
        const std::size_t start = out.size();
        out.resize(start + rowLen, 0);
        std::uint8_t* dst = out.data() + start;
        if (bits == 8) {
            std::copy(src, src + w, dst);
        } else {
            for (std::size_t x = 0; x < w; ++x)
                dst[x >> 1] |= static_cast<std::uint8_t>((src[x] & 15) << ((x & 1) ? 0 : 4));
        }
    }
}

// Partly transparent pixels count as transparent; an image without alpha has an empty mask.
void WriteMask(std::vector<std::uint8_t>& out, const RasterImage& image) {
    const std::size_t w = static_cast<std::size_t>(image.Width());
    const std::size_t rowLen = RowBytes(w, 1);
    for (int y = image.Height() - 1; y >= 0; --y) {
        const std::size_t start = out.size();
        out.resize(start + rowLen, 0);
        if (!image.HasAlpha()) continue;
        const std::uint8_t* alpha = image.AlphaRow(y);
        for (std::size_t x = 0; x < w; ++x)
            if (alpha[x] < 255) out[start + (x >> 3)] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    }
}

struct EntryInfo {
    int width = 0;
    int height = 0;
    int bits = 0;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
};

// The image as a PNG stream with its alpha; the holder's own PNG settings play no part, so
// every icon stores its PNG images alike.
ImageError WritePngEntry(const ImageHolder& holder, int bits, std::vector<std::uint8_t>& out) {
    ImageHolder png;
    png.Image = holder.Image;
    png.Params.HorizontalDpi = holder.Params.HorizontalDpi;
    png.Params.VerticalDpi = holder.Params.VerticalDpi;
    png.Params.ChannelCount = bits == 32 ? 4 : 3;
    return kPngCodec.Write(png, out);
}

EntryInfo WriteEntryData(ImageHolder& holder, std::vector<std::uint8_t>& out, std::size_t base,
                         const IconWriteOptions& options, ImageError& error) {
    const RasterImage& image = holder.Image;
    FileParams& p = holder.Params;
    if (image.Format() != PixelFormat::ie24RGB && image.Format() != PixelFormat::ie8p) {
        p.ChannelCount = 1;
        p.BitsPerChannel = 1;
    }
    p.Palette.clear();
    p.PaletteCount = 0;

    EntryInfo info;
    info.width = image.Width();
    info.height = image.Height();
    info.bits = EntryBits(image, p);
    const std::size_t start = out.size();
    info.offset = static_cast<std::uint32_t>(start - base);

    const bool trueColor = info.bits == 24 || info.bits == 32;
    if (options.PngFrom > 0 && trueColor && std::max(info.width, info.height) >= options.PngFrom) {
        if (const ImageError e = WritePngEntry(holder, info.bits, out); e != ImageError::None)
            error = e;
        info.size = static_cast<std::uint32_t>(out.size() - start);
        return info;
    }

    const std::uint64_t w = static_cast<std::uint64_t>(info.width);
    const std::uint64_t h = static_cast<std::uint64_t>(info.height);
    const std::uint64_t maskApprox = w * h / 8;
    std::uint64_t imageSize = 0;
    switch (info.bits) {
        case 24:
            imageSize = h * RowBytes(w, 24);
            break;
        case 32:
            imageSize = 0;
            break;
        case 1:
            imageSize = h * RowBytes(w, 1) + maskApprox;
            break;
        default:
            imageSize = maskApprox + h * RowBytes(w, static_cast<std::size_t>(info.bits));
    }

    PutU32(out, 40);
    PutU32(out, static_cast<std::uint32_t>(w));
    PutU32(out, static_cast<std::uint32_t>(2 * h));
    PutU16(out, 1);
    PutU16(out, static_cast<std::uint32_t>(info.bits));
    PutU32(out, 0);
    PutU32(out, static_cast<std::uint32_t>(imageSize));
    PutU32(out, PixelsPerMetreFromDpi(p.HorizontalDpi));
    PutU32(out, PixelsPerMetreFromDpi(p.VerticalDpi));
    PutU32(out, 0);
    PutU32(out, 0);

    switch (info.bits) {
        case 24:
        case 32:
            WriteTrueColorRows(out, image, info.bits);
            break;
        case 1:
            WriteColorTable(out, {{0, 0, 0}, {255, 255, 255}}, 2);
            WriteOneBitRows(out, image);
            break;
        default: {
            ReducedImage px = IndexedPixels(image, p, info.bits);
            WriteColorTable(out, px.Palette, std::size_t{1} << info.bits);
            WriteIndexedRows(out, px, info.width, info.height, info.bits);
        }
    }
    WriteMask(out, image);
    info.size = static_cast<std::uint32_t>(out.size() - start);
    return info;
}

// The declared depth that gives `bits` bits per pixel.
void DeclareDepth(FileParams& p, int bits) {
    p.ChannelCount = bits == 32 ? 4 : bits == 24 ? 3 : 1;
    p.BitsPerChannel = bits >= 24 ? 8 : bits;
}

// The bits an image is written with once its pixel format has had its say.
int WrittenBits(const ImageHolder& holder) {
    FileParams p = holder.Params;
    const PixelFormat f = holder.Image.Format();
    if (f != PixelFormat::ie24RGB && f != PixelFormat::ie8p) p.ChannelCount = p.BitsPerChannel = 1;
    return EntryBits(holder.Image, p);
}

}  // namespace

ImageError EncodeIconFile(std::span<ImageHolder> holders, int lastIndex,
                          std::vector<std::uint8_t>& out, const IconWriteOptions& options) {
    const std::size_t count =
        lastIndex < 0 ? 0 : std::min(holders.size(), static_cast<std::size_t>(lastIndex) + 1);

    // The images in file order: the holders as they are, or with their depth variants.
    std::vector<ImageHolder*> images;
    std::vector<ImageHolder> variants;
    variants.reserve(count * options.ExtraDepths.size());
    for (std::size_t j = 0; j < count; ++j) {
        images.push_back(&holders[j]);
        std::vector<int> done{WrittenBits(holders[j])};
        for (int bits : options.ExtraDepths) {
            if (std::find(done.begin(), done.end(), bits) != done.end()) continue;
            done.push_back(bits);
            ImageHolder& v = variants.emplace_back(holders[j]);
            // A black-and-white image has colours only once it is true colour.
            if (v.Image.Format() == PixelFormat::ie1g) v.Image = v.Image.ToRgb24();
            DeclareDepth(v.Params, bits);
            images.push_back(&v);
        }
    }
    if (!options.ExtraDepths.empty()) {
        std::vector<int> bits;
        for (const ImageHolder* h : images) bits.push_back(WrittenBits(*h));
        std::vector<std::size_t> order(images.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            if (bits[a] != bits[b]) return bits[a] > bits[b];
            const RasterImage& ia = images[a]->Image;
            const RasterImage& ib = images[b]->Image;
            return std::max(ia.Width(), ia.Height()) > std::max(ib.Width(), ib.Height());
        });
        std::vector<ImageHolder*> sorted;
        for (std::size_t i : order) sorted.push_back(images[i]);
        images = std::move(sorted);
    }

    const std::size_t n = images.size();
    const std::size_t base = out.size();
    std::size_t estimate = kHeaderSize + n * kEntrySize;
    for (const ImageHolder* holder : images) {
        const std::size_t w = static_cast<std::size_t>(holder->Image.Width());
        const std::size_t h = static_cast<std::size_t>(holder->Image.Height());
        estimate += 40 + 1024 + h * (RowBytes(w, 32) + RowBytes(w, 1));
    }
    out.reserve(base + estimate);
    PutU16(out, 0);
    PutU16(out, 1);
    PutU16(out, static_cast<std::uint32_t>(n));
    out.resize(base + kHeaderSize + n * kEntrySize, 0);

    ImageError error = ImageError::None;
    std::vector<EntryInfo> entries;
    entries.reserve(n);
    for (ImageHolder* holder : images)
        entries.push_back(WriteEntryData(*holder, out, base, options, error));

    std::size_t pos = base + kHeaderSize;
    for (const EntryInfo& e : entries) {
        const bool trueColor = e.bits == 24 || e.bits == 32;
        out[pos] = static_cast<std::uint8_t>(e.width & 0xff);
        out[pos + 1] = static_cast<std::uint8_t>(e.height & 0xff);
        out[pos + 2] = trueColor ? 0 : static_cast<std::uint8_t>(std::min(1 << e.bits, 255));
        out[pos + 3] = 0;
        PutU16At(out, pos + 4, trueColor ? 1 : 0);
        PutU16At(out, pos + 6, trueColor ? static_cast<std::uint32_t>(e.bits) : 0);
        PutU32At(out, pos + 8, e.size);
        PutU32At(out, pos + 12, e.offset);
        pos += kEntrySize;
    }
    return error;
}

ImageStatus WriteIconFile(const std::string& path, std::span<ImageHolder> holders, int lastIndex,
                          WriteMode mode, const IconWriteOptions& options) {
    std::vector<std::uint8_t> bytes;
    if (const ImageError e = EncodeIconFile(holders, lastIndex, bytes, options);
        e != ImageError::None)
        return e;
    if (auto written = WriteFileAtomic(path, bytes, mode); !written)
        return FromIoFailure(written.error());
    return {};
}

}  // namespace gw
