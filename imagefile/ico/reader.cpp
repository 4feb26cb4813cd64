#include "imagefile/ico/reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "imagefile/formats/codec.h"
#include "imagefile/formats/png.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

constexpr std::uint16_t kTypeIcon = 1;
constexpr std::uint16_t kTypeCursor = 2;
constexpr std::uint64_t kHeaderSize = 6;
constexpr std::uint64_t kEntrySize = 16;
constexpr std::uint64_t kBitmapHeaderSize = 40;
constexpr int kFormatIco = 6;
constexpr int kFormatCur = 7;

struct DirEntry {
    std::uint8_t width = 0;
    std::uint8_t height = 0;
    std::uint8_t colorCount = 0;
    std::uint8_t reserved = 0;
    std::uint16_t planes = 0;    // cursor: hot spot x
    std::uint16_t bitCount = 0;  // cursor: hot spot y
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
};

DirEntry ReadEntry(ByteReader& r) {
    DirEntry e;
    e.width = r.u8();
    e.height = r.u8();
    e.colorCount = r.u8();
    e.reserved = r.u8();
    e.planes = r.u16le();
    e.bitCount = r.u16le();
    e.size = r.u32le();
    e.offset = r.u32le();
    return e;
}

// The fields of a BITMAPINFOHEADER the readers use; width and height taken as unsigned.
struct BitmapHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitCount = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
};

BitmapHeader ParseBitmapHeader(std::span<const std::uint8_t> bytes) {
    ByteReader r(bytes);
    BitmapHeader h;
    r.skip(4);
    h.width = r.u32le();
    h.height = r.u32le();
    r.skip(2);
    h.bitCount = r.u16le();
    r.skip(8);
    h.xPelsPerMeter = r.i32le();
    h.yPelsPerMeter = r.i32le();
    return h;
}

bool IsContainerStream(const ByteReader& stream, std::uint16_t type) {
    ByteReader r = stream;
    const std::size_t start = r.pos();
    if (r.remaining() <= 22) return false;
    if (r.u16le() != 0) return false;
    if (r.u16le() != type) return false;
    const std::uint16_t count = r.u16le();
    if (count == 0) return false;
    for (std::uint16_t i = 0; i < count; ++i) {
        DirEntry e = ReadEntry(r);
        if (!r.ok() || e.reserved != 0 || e.size == 0 || e.offset < r.pos() - start) return false;
    }
    return true;
}

// Depth shown for one directory entry in IconDepthList.
int EntryDepth(const DirEntry& e, bool cursor) {
    // In a cursor the bit-count field holds the hot spot, so only the colour count tells.
    if (!cursor && e.bitCount != 0) return e.bitCount;
    if (e.colorCount != 0) return BitsForColorCount(e.colorCount);
    return 24;
}

void FillSizeLists(const ByteReader& stream, std::uint64_t p0, std::uint16_t count,
                   FileParams& params, bool cursor) {
    params.IconSizeList.fill({0, 0});
    params.IconDepthList.fill(0);
    ByteReader r(stream.data());
    r.seek(p0 + kHeaderSize);
    const int n = std::min<int>(count, static_cast<int>(params.IconSizeList.size()));
    for (int i = 0; i < n; ++i) {
        DirEntry e = ReadEntry(r);
        if (!r.ok()) break;
        if (e.width == 0 || e.height == 0) continue;
        params.IconSizeList[static_cast<std::size_t>(i)] = {e.width, e.height};
        params.IconDepthList[static_cast<std::size_t>(i)] = EntryDepth(e, cursor);
    }
}

void SetResolution(const BitmapHeader& h, FileParams& params) {
    params.HorizontalDpi = DpiFromPixelsPerMetre(h.xPelsPerMeter);
    params.VerticalDpi = DpiFromPixelsPerMetre(h.yPelsPerMeter);
}

// Reads n colour-table quads (blue, green, red, unused); missing bytes read as black.
std::vector<Rgb> ReadColorTable(ByteReader& r, std::size_t n) {
    std::vector<Rgb> table(n);
    for (Rgb& c : table) {
        c.b = r.u8();
        c.g = r.u8();
        c.r = r.u8();
        r.u8();
    }
    return table;
}

// Up to n bytes from the current position: a short stream gives what is there.
std::span<const std::uint8_t> TakeUpTo(ByteReader& r, std::uint64_t n) {
    std::uint64_t avail = std::min<std::uint64_t>(n, r.remaining());
    std::span<const std::uint8_t> s = r.at(r.pos(), avail);
    r.skip(avail);
    return s;
}

std::uint64_t RowBytes(std::uint64_t width, std::uint64_t bits) {
    return (width * bits + 31) / 32 * 4;
}

bool Bit(std::span<const std::uint8_t> row, int x) {
    std::size_t byte = static_cast<std::size_t>(x) >> 3;
    return byte < row.size() && ((row[byte] >> (7 - (x & 7))) & 1);
}

// What one bitmap payload decodes to.
struct DibLayout {
    int width = 0;
    int height = 0;
    int depth = 0;
    Rgb background;
    const std::vector<Rgb>* table = nullptr;
};

// Reads the mask rows and calls apply(x, y) for every set bit. Rows run from the bottom.
template <typename F>
void ForEachMaskBit(ByteReader& r, int w, int h, F&& apply) {
    const std::uint64_t rowLen = RowBytes(static_cast<std::uint64_t>(w), 1);
    for (int i = 0; i < h; ++i) {
        const int y = h - 1 - i;
        std::span<const std::uint8_t> row = TakeUpTo(r, rowLen);
        for (int x = 0; x < w; ++x)
            if (Bit(row, x)) apply(x, y);
    }
}

bool MaskFits(const ByteReader& r, int w, int h) {
    return r.remaining() / static_cast<std::uint64_t>(h) >=
           RowBytes(static_cast<std::uint64_t>(w), 1);
}

void ApplyMaskAsAlpha(ByteReader& r, RasterImage& img) {
    std::fill(img.Alpha().begin(), img.Alpha().end(), 255);
    ForEachMaskBit(r, img.Width(), img.Height(), [&](int x, int y) { img.AlphaRow(y)[x] = 0; });
}

void DecodeOneBit(ByteReader& r, const DibLayout& L, RasterImage& img) {
    const std::uint64_t rowLen = RowBytes(static_cast<std::uint64_t>(L.width), 1);
    const bool whiteBackground = L.background == Rgb{255, 255, 255};
    const bool packed = img.Format() == PixelFormat::ie1g;
    for (int i = 0; i < L.height; ++i) {
        const int y = L.height - 1 - i;
        std::span<const std::uint8_t> row = TakeUpTo(r, rowLen);
        if (packed) {
            std::memcpy(img.Row(y), row.data(), row.size());
        } else {
            for (int x = 0; x < L.width; ++x) {
                std::uint8_t v = Bit(row, x) ? 255 : 0;
                img.SetPixelRgb(x, y, {v, v, v});
            }
        }
    }
    ForEachMaskBit(r, L.width, L.height, [&](int x, int y) {
        img.AlphaRow(y)[x] = 0;
        if (!packed) {
            img.SetPixelRgb(x, y, L.background);
            return;
        }
        // Transparent (stored 0) and inverting (stored 1) pixels swap under a white background.
        std::uint8_t& byte = img.Row(y)[x >> 3];
        if (whiteBackground) byte ^= static_cast<std::uint8_t>(0x80 >> (x & 7));
    });
}

void DecodeIndexed(ByteReader& r, const DibLayout& L, RasterImage& img) {
    const int d = L.depth;
    const std::uint64_t rowLen = RowBytes(static_cast<std::uint64_t>(L.width), d);
    const std::vector<Rgb>& table = *L.table;
    for (int i = 0; i < L.height; ++i) {
        const int y = L.height - 1 - i;
        std::span<const std::uint8_t> row = TakeUpTo(r, rowLen);
        const int stored = static_cast<int>(row.size() * 8 / static_cast<std::size_t>(d));
        const int n = std::min(L.width, stored);
        for (int x = 0; x < n; ++x) {
            std::uint8_t index =
                d == 8 ? row[static_cast<std::size_t>(x)]
                       : static_cast<std::uint8_t>(
                             (row[static_cast<std::size_t>(x) >> 1] >> ((x & 1) ? 0 : 4)) & 15);
            img.SetPixelRgb(x, y, index < table.size() ? table[index] : Rgb{});
        }
    }
    ForEachMaskBit(r, L.width, L.height, [&](int x, int y) {
        img.AlphaRow(y)[x] = 0;
        img.SetPixelRgb(x, y, L.background);
    });
}

void DecodeTrueColor(ByteReader& r, const DibLayout& L, RasterImage& img) {
    const int bytesPerPixel = L.depth / 8;
    const std::uint64_t rowLen = RowBytes(static_cast<std::uint64_t>(L.width), L.depth);
    bool allZeroAlpha = true;
    for (int i = 0; i < L.height; ++i) {
        const int y = L.height - 1 - i;
        std::span<const std::uint8_t> row = TakeUpTo(r, rowLen);
        const int n = std::min(L.width, static_cast<int>(row.size() / bytesPerPixel));
        std::uint8_t* out = img.Row(y);
        std::uint8_t* alpha = img.AlphaRow(y);
        for (int x = 0; x < n; ++x) {
            const std::uint8_t* p = row.data() + static_cast<std::size_t>(x) * bytesPerPixel;
            out[3 * x] = p[0];
            out[3 * x + 1] = p[1];
            out[3 * x + 2] = p[2];
            if (bytesPerPixel == 4) alpha[x] = p[3];
        }
        if (n < L.width || bytesPerPixel == 3) allZeroAlpha = false;
        for (int x = 0; x < n && allZeroAlpha; ++x) allZeroAlpha = alpha[x] == 0;
    }
    const bool useMask = bytesPerPixel == 3 || allZeroAlpha;
    if (!useMask) return;
    if (MaskFits(r, L.width, L.height)) {
        ApplyMaskAsAlpha(r, img);
    } else if (allZeroAlpha) {
        // Zero alpha everywhere carries no transparency; without a mask the icon is opaque.
        std::fill(img.Alpha().begin(), img.Alpha().end(), 255);
    }
}

// Decodes colour rows and mask into a new image; false when the size is not allowed or a large
// picture's rows are not there.
bool DecodeDib(ByteReader& r, const DibLayout& L, PixelFormat format, RasterImage& image) {
    const std::uint64_t rows = RowBytes(static_cast<std::uint64_t>(L.width), L.depth) *
                               static_cast<std::uint64_t>(L.height);
    if (!DataCanFill(L.width, L.height, rows, r.remaining(), MaxRatio::kNone)) return false;
    RasterImage img;
    if (!img.Allocate(L.width, L.height, format)) return false;
    img.AddAlpha(255);
    switch (L.depth) {
        case 1:
            DecodeOneBit(r, L, img);
            break;
        case 4:
        case 8:
            DecodeIndexed(r, L, img);
            break;
        case 24:
        case 32:
            DecodeTrueColor(r, L, img);
            break;
        default:
            break;  // other depths keep their size, their pixels stay black
    }
    if (img.AlphaAllOpaque()) img.RemoveAlpha();
    image = std::move(img);
    return true;
}

// Hands the bytes to another format's reader, keeping the image and parameters in place.
ImageError ReadWithCodec(const FormatCodec& codec, std::span<const std::uint8_t> data,
                         RasterImage& image, FileParams& params) {
    if (!codec.Read) return ImageError::NoReader;
    ImageHolder holder;
    holder.Image = std::move(image);
    holder.Params = std::move(params);
    struct Restore {
        ImageHolder& from;
        RasterImage& image;
        FileParams& params;
        ~Restore() {
            image = std::move(from.Image);
            params = std::move(from.Params);
        }
    } restore{holder, image, params};
    return codec.Read(holder, data, ReadOptions{});
}

// Reads the container header; false when there is not even a header.
bool ReadHeader(const ByteReader& stream, std::uint16_t& count) {
    ByteReader r = stream;
    r.skip(4);
    count = r.u16le();
    return r.ok();
}

bool ReadChosenEntry(const ByteReader& stream, std::uint64_t p0, int k, DirEntry& e) {
    ByteReader r(stream.data());
    r.seek(p0 + kHeaderSize + kEntrySize * static_cast<std::uint64_t>(k));
    e = ReadEntry(r);
    return r.ok();
}

// The steps both containers take before decoding: the header, the index k, the size lists and
// the chosen directory entry with the position of its image data.
ImageError ChooseEntry(const ByteReader& stream, int k, bool cursor, FileParams& params,
                       DirEntry& e, std::uint64_t& imagePos) {
    const std::uint64_t p0 = stream.pos();
    std::uint16_t count = 0;
    if (!ReadHeader(stream, count)) return ImageError::Truncated;
    if (k < 0 || k >= count) return ImageError::NoSuchImage;
    FillSizeLists(stream, p0, count, params, cursor);
    if (!ReadChosenEntry(stream, p0, k, e)) return ImageError::Truncated;
    imagePos = p0 + e.offset;
    return ImageError::None;
}

// Decodes the bitmap whose colour table r has just passed and leaves the stream after it.
ImageError DecodeImage(ByteReader& stream, ByteReader& r, const DibLayout& layout,
                       PixelFormat format, RasterImage& image) {
    const bool decoded = DecodeDib(r, layout, format, image);
    stream.seek(r.pos());
    return decoded ? ImageError::None : ImageError::Truncated;
}

void FinishHolderRead(ImageHolder& holder, int fileType) {
    FileParams& p = holder.Params;
    if (p.HorizontalDpi < 2) p.HorizontalDpi = 300;
    if (p.VerticalDpi < 2) p.VerticalDpi = 300;
    p.FileType = fileType;
    p.FileName.clear();
}

void StartHolderRead(ImageHolder& holder) {
    holder.Params.Comments.clear();
    holder.Image.RemoveAlpha();
}

}  // namespace

bool IsIconStream(const ByteReader& stream) {
    return IsContainerStream(stream, kTypeIcon);
}

bool IsCursorStream(const ByteReader& stream) {
    return IsContainerStream(stream, kTypeCursor);
}

ImageError ReadIconImage(ByteReader& stream, RasterImage& image, FileParams& params) {
    const std::uint64_t p0 = stream.pos();
    std::uint16_t count = 0;
    if (!ReadHeader(stream, count)) return ImageError::Truncated;
    std::span<const std::uint8_t> start = stream.at(p0, 2);
    if (start[0] == 'B' && start[1] == 'M') {
        return ReadWithCodec(kBmpCodec, stream.data().subspan(static_cast<std::size_t>(p0)), image,
                             params);
    }
    DirEntry e;
    std::uint64_t imagePos = 0;
    if (const ImageError error =
            ChooseEntry(stream, params.ICO_ImageIndex, false, params, e, imagePos);
        error != ImageError::None)
        return error;
    std::span<const std::uint8_t> head = stream.at(imagePos, kBitmapHeaderSize);
    if (head.empty()) return ImageError::Truncated;
    if (StartsWithPngSignature(head)) {
        return ReadWithCodec(kPngCodec, stream.data().subspan(static_cast<std::size_t>(imagePos)),
                             image, params);
    }

    const BitmapHeader bh = ParseBitmapHeader(head);
    SetResolution(bh, params);
    int d = bh.bitCount;
    if (d == 0) d = e.bitCount;
    if (d == 0 && e.colorCount != 0) d = BitsForColorCount(e.colorCount);
    if (d == 0) return ImageError::Damaged;
    params.ChannelCount = d <= 8 ? 1 : d == 32 ? 4 : 3;
    params.BitsPerChannel = d <= 8 ? d : 8;

    // The bitmap header wins over a directory size that disagrees with it, unless it is absurd.
    std::uint64_t w = e.width != 0 ? e.width : bh.width;
    std::uint64_t h = e.height != 0 ? e.height : bh.height / 2;
    if (e.width != 0 && e.width != bh.width && bh.width != 0 && bh.width < 2048 &&
        bh.height < 2048) {
        w = bh.width;
        h = bh.height / 2;
    }
    if (!ImageSizeAllowed(static_cast<std::int64_t>(w), static_cast<std::int64_t>(h)))
        return ImageError::TooLarge;

    ByteReader r(stream.data());
    r.seek(imagePos + kBitmapHeaderSize);
    if (d <= 8) {
        params.Palette = ReadColorTable(r, std::size_t{1} << d);
        params.PaletteCount = 1 << d;
    } else {
        params.Palette.clear();
        params.PaletteCount = 0;
    }
    params.ImageWidth = static_cast<int>(w);
    params.ImageHeight = static_cast<int>(h);

    DibLayout layout{static_cast<int>(w), static_cast<int>(h), d, params.IconBackground,
                     &params.Palette};
    return DecodeImage(stream, r, layout, d == 1 ? PixelFormat::ie1g : PixelFormat::ie24RGB, image);
}

ImageError ReadCursorImage(ByteReader& stream, RasterImage& image, FileParams& params) {
    DirEntry e;
    std::uint64_t imagePos = 0;
    if (const ImageError error =
            ChooseEntry(stream, params.CUR_ImageIndex, true, params, e, imagePos);
        error != ImageError::None)
        return error;
    const int w = e.width != 0 ? e.width : 256;
    const int h = e.height != 0 ? e.height : 256;
    params.CursorHotSpotX = e.planes;
    params.CursorHotSpotY = e.bitCount;

    std::span<const std::uint8_t> head = stream.at(imagePos, kBitmapHeaderSize);
    if (head.empty()) return ImageError::Truncated;
    const BitmapHeader bh = ParseBitmapHeader(head);
    SetResolution(bh, params);
    int d = bh.bitCount;
    if (d == 0 && e.colorCount != 0) d = BitsForColorCount(e.colorCount);
    if (d == 0) return ImageError::Damaged;
    params.BitsPerChannel = d;
    params.ChannelCount = 1;

    ByteReader r(stream.data());
    r.seek(imagePos + kBitmapHeaderSize);
    std::uint64_t tableSize = e.colorCount == 255 ? 256 : e.colorCount;
    if (tableSize == 0) tableSize = d <= 8 ? std::uint64_t{1} << d : 257;
    if (tableSize <= 256) {
        params.Palette = ReadColorTable(r, static_cast<std::size_t>(tableSize));
        params.PaletteCount = static_cast<int>(tableSize);
    } else {
        params.Palette.clear();
        params.PaletteCount = 0;
    }
    params.ImageWidth = w;
    params.ImageHeight = h;

    // Only 1-bit rows fit the packed format; a two-entry table with deeper pixels gets colour.
    const PixelFormat format = tableSize == 2 && d == 1 ? PixelFormat::ie1g : PixelFormat::ie24RGB;
    DibLayout layout{w, h, d, params.CursorBackground, &params.Palette};
    return DecodeImage(stream, r, layout, format, image);
}

ImageError LoadImageStream(ImageHolder& holder, ByteReader& stream) {
    StartHolderRead(holder);
    const ImageError error = ReadIconImage(stream, holder.Image, holder.Params);
    FinishHolderRead(holder, kFormatIco);
    return error;
}

ImageError LoadCursorStream(ImageHolder& holder, ByteReader& stream) {
    StartHolderRead(holder);
    const ImageError error = ReadCursorImage(stream, holder.Image, holder.Params);
    FinishHolderRead(holder, kFormatCur);
    return error;
}

}  // namespace gw
