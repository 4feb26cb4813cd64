// PNG through libpng. libpng reports errors by longjmp: every setjmp sits in a small function
// that works on plain buffers only, and the C++ side owns everything else.

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "base/fileio.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/png.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

bool ProbePng(std::span<const std::uint8_t> data) {
    return data.size() > 8 && StartsWithPngSignature(data);
}

[[noreturn]] void PngErrorFn(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngWarningFn(png_structp, png_const_charp) {}

// ---- reading ----

struct PngSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

void PngReadFn(png_structp png, png_bytep out, png_size_t n) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->size - src->pos) png_error(png, "unexpected end of data");
    std::memcpy(out, src->data + src->pos, n);
    src->pos += n;
}

class PngReadHandle {
  public:
    PngReadHandle() {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorFn, PngWarningFn);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngReadHandle() {
        if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    }
    PngReadHandle(const PngReadHandle&) = delete;
    PngReadHandle& operator=(const PngReadHandle&) = delete;
    bool ok() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

  private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

struct PngInfo {
    png_uint_32 width, height;
    int bitDepth, colorType, interlace, channels;
    bool hasTrns;
    int paletteCount;
    png_color palette[256];
    bool hasPhys;
    png_uint_32 physX, physY;
    int physUnit;
    bool hasBackground;
    png_color_16 background;
};

bool PngReadHeader(png_structp png, png_infop info, PngSource* src, PngInfo* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, src, PngReadFn);
    png_set_user_limits(png, static_cast<png_uint_32>(Limits::kMaxImageDimension),
                        static_cast<png_uint_32>(Limits::kMaxImageDimension));
    png_read_info(png, info);
    png_get_IHDR(png, info, &out->width, &out->height, &out->bitDepth, &out->colorType,
                 &out->interlace, nullptr, nullptr);
    out->channels = png_get_channels(png, info);
    out->hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    out->paletteCount = 0;
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) && palette) {
        out->paletteCount = std::clamp(count, 0, 256);
        std::memcpy(out->palette, palette, sizeof(png_color) * out->paletteCount);
    }
    out->hasPhys = png_get_pHYs(png, info, &out->physX, &out->physY, &out->physUnit) != 0;
    png_color_16p background = nullptr;
    out->hasBackground = png_get_bKGD(png, info, &background) && background;
    if (out->hasBackground) out->background = *background;
    return true;
}

enum class PngOutput { Bits, Bgr, Bgra };

// Called after each row of the last pass has been read into rows[y].
using PngRowDone = void (*)(void* context, png_uint_32 y);

bool PngReadRows(png_structp png, png_infop info, PngOutput output, png_bytep* rows,
                 png_uint_32 height, std::size_t rowBytes, PngRowDone done, void* context) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (output != PngOutput::Bits) {
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != rowBytes) return false;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, rows[y], nullptr);
            if (done && pass == passes - 1) done(context, y);
        }
    return true;
}

// The compressed bytes of all IDAT chunks, walking the chunk list from the signature.
std::uint64_t IdatBytes(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    r.seek(8);
    std::uint64_t total = 0;
    while (r.remaining() >= 12) {
        const std::uint32_t length = r.u32be();
        const std::uint32_t type = r.u32be();
        if (type == 0x49444154) total += std::min<std::uint64_t>(length, r.remaining());
        if (type == 0x49454E44 || !r.skip(std::uint64_t{length} + 4)) break;
    }
    return total;
}

// Splits one BGRA row into the image's colour and alpha rows.
struct AlphaSplit {
    RasterImage* image;
    png_bytep* rows;
    std::size_t width;
};

void SplitAlphaRow(void* context, png_uint_32 y) {
    const AlphaSplit& s = *static_cast<AlphaSplit*>(context);
    const std::uint8_t* in = s.rows[y];
    std::uint8_t* rgb = s.image->Row(static_cast<int>(y));
    std::uint8_t* a = s.image->AlphaRow(static_cast<int>(y));
    for (std::size_t x = 0; x < s.width; ++x, in += 4, rgb += 3) {
        rgb[0] = in[0];
        rgb[1] = in[1];
        rgb[2] = in[2];
        a[x] = in[3];
    }
}

bool IsBlackWhitePalette(const PngInfo& h) {
    if (h.colorType != PNG_COLOR_TYPE_PALETTE || h.bitDepth != 1 || h.hasTrns) return false;
    if (h.paletteCount != 2) return false;
    auto isBlack = [](png_color c) { return c.red == 0 && c.green == 0 && c.blue == 0; };
    auto isWhite = [](png_color c) { return c.red == 255 && c.green == 255 && c.blue == 255; };
    return (isBlack(h.palette[0]) && isWhite(h.palette[1])) ||
           (isWhite(h.palette[0]) && isBlack(h.palette[1]));
}

Rgb BackgroundColor(const PngInfo& h) {
    const png_color_16& b = h.background;
    if (h.colorType == PNG_COLOR_TYPE_PALETTE) {
        if (b.index < h.paletteCount) {
            const png_color& c = h.palette[b.index];
            return {c.red, c.green, c.blue};
        }
        return {};
    }
    const int shift = h.bitDepth > 8 ? h.bitDepth - 8 : 0;
    auto scale = [&](unsigned v) -> std::uint8_t {
        if (h.bitDepth >= 8) return static_cast<std::uint8_t>(std::min(255u, v >> shift));
        unsigned maxValue = (1u << h.bitDepth) - 1;
        return static_cast<std::uint8_t>(std::min(v, maxValue) * 255 / maxValue);
    };
    if (!(h.colorType & PNG_COLOR_MASK_COLOR)) {
        std::uint8_t g = scale(b.gray);
        return {g, g, g};
    }
    return {scale(b.red), scale(b.green), scale(b.blue)};
}

// Everything before the pixel data, through the handle that goes on to read the rows.
ImageError ReadHeader(PngReadHandle& handle, PngSource& src, PngInfo& h) {
    if (!ProbePng(std::span(src.data, src.size))) return ImageError::Damaged;
    if (!handle.ok()) return ImageError::Truncated;
    if (!PngReadHeader(handle.png(), handle.info(), &src, &h)) return ImageError::Truncated;
    if (!ImageSizeAllowed(h.width, h.height)) return ImageError::TooLarge;
    return ImageError::None;
}

ImageError ReadPng(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    PngReadHandle handle;
    PngSource src{data.data(), data.size(), 0};
    PngInfo h{};
    if (const ImageError e = ReadHeader(handle, src, h); e != ImageError::None) return e;
    const std::uint64_t rawRow = (std::uint64_t{h.width} * h.channels * h.bitDepth + 7) / 8 + 1;
    if (!DataCanFill(h.width, h.height, rawRow * h.height, IdatBytes(data), MaxRatio::kDeflate))
        return ImageError::Damaged;

    const bool grey1 = h.colorType == PNG_COLOR_TYPE_GRAY && h.bitDepth == 1 && !h.hasTrns;
    const bool blackWhite = grey1 || IsBlackWhitePalette(h);
    const bool alpha = (h.colorType & PNG_COLOR_MASK_ALPHA) || h.hasTrns;
    const PngOutput output = blackWhite ? PngOutput::Bits
                             : alpha    ? PngOutput::Bgra
                                        : PngOutput::Bgr;

    RasterImage image;
    if (!image.Allocate(static_cast<int>(h.width), static_cast<int>(h.height),
                        blackWhite ? PixelFormat::ie1g : PixelFormat::ie24RGB))
        return ImageError::TooLarge;
    const std::size_t width = h.width;
    std::vector<std::uint8_t> bgra;
    std::vector<png_bytep> rows(h.height);
    std::size_t rowBytes;
    AlphaSplit split{&image, rows.data(), width};
    PngRowDone done = nullptr;
    if (output == PngOutput::Bgra) {
        // Rows are split into colour and alpha as they arrive; only interlaced rows, which
        // several passes fill, need the whole picture buffered.
        rowBytes = width * 4;
        const bool interlaced = h.interlace != PNG_INTERLACE_NONE;
        bgra.resize(interlaced ? rowBytes * h.height : rowBytes);
        for (png_uint_32 y = 0; y < h.height; ++y)
            rows[y] = bgra.data() + (interlaced ? rowBytes * y : 0);
        image.AddAlpha();
        done = SplitAlphaRow;
    } else {
        rowBytes = output == PngOutput::Bits ? (width + 7) / 8 : width * 3;
        for (png_uint_32 y = 0; y < h.height; ++y) rows[y] = image.Row(static_cast<int>(y));
    }
    if (!PngReadRows(handle.png(), handle.info(), output, rows.data(), h.height, rowBytes, done,
                     &split))
        return ImageError::Damaged;

    if (output == PngOutput::Bits && h.colorType == PNG_COLOR_TYPE_PALETTE &&
        h.palette[0].red == 255)
        for (std::uint8_t& v : image.Pixels()) v = static_cast<std::uint8_t>(~v);

    FileParams& p = holder.Params;
    p.ImageWidth = static_cast<int>(h.width);
    p.ImageHeight = static_cast<int>(h.height);
    p.BitsPerChannel = h.bitDepth;
    p.ChannelCount = h.channels;
    p.Palette.clear();
    if (h.colorType == PNG_COLOR_TYPE_PALETTE)
        for (int i = 0; i < h.paletteCount; ++i)
            p.Palette.push_back({h.palette[i].red, h.palette[i].green, h.palette[i].blue});
    p.PaletteCount = static_cast<int>(p.Palette.size());
    int dpiX = 0, dpiY = 0;
    if (h.hasPhys && h.physUnit == PNG_RESOLUTION_METER) {
        dpiX = DpiFromPixelsPerMetre(h.physX);
        dpiY = DpiFromPixelsPerMetre(h.physY);
    }
    p.HorizontalDpi = dpiX > 0 ? dpiX : 300;
    p.VerticalDpi = dpiY > 0 ? dpiY : 300;
    p.PNG_Interlaced = h.interlace != PNG_INTERLACE_NONE;
    if (h.hasBackground) p.PNG_Background = BackgroundColor(h);
    holder.Image = std::move(image);
    return ImageError::None;
}

// The IHDR chunk and the chunks before the pixel data, through the reader's own header step.
ImageError InfoPng(std::span<const std::uint8_t> data, ImageInfo& info) {
    PngReadHandle handle;
    PngSource src{data.data(), data.size(), 0};
    PngInfo h{};
    if (const ImageError e = ReadHeader(handle, src, h); e != ImageError::None) return e;
    const bool grey1 = h.colorType == PNG_COLOR_TYPE_GRAY && h.bitDepth == 1 && !h.hasTrns;
    info.Width = static_cast<int>(h.width);
    info.Height = static_cast<int>(h.height);
    info.BitsPerChannel = h.bitDepth;
    info.ChannelCount = h.channels;
    info.HasAlpha =
        !(grey1 || IsBlackWhitePalette(h)) && ((h.colorType & PNG_COLOR_MASK_ALPHA) || h.hasTrns);
    return ImageError::None;
}

// ---- writing ----

struct PngSink {
    std::vector<std::uint8_t>* out;
};

void PngWriteFn(png_structp png, png_bytep data, png_size_t n) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    bool grown = true;
    try {
        sink->out->insert(sink->out->end(), data, data + n);
    } catch (...) {
        grown = false;
    }
    if (!grown) png_error(png, "out of memory");
}
void PngFlushFn(png_structp) {}

class PngWriteHandle {
  public:
    PngWriteHandle() {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorFn, PngWarningFn);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngWriteHandle() {
        if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
    }
    PngWriteHandle(const PngWriteHandle&) = delete;
    PngWriteHandle& operator=(const PngWriteHandle&) = delete;
    bool ok() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

  private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Everything the encoder needs, as plain data. Row y is produced on demand into rowBuffer.
struct PngLayout {
    png_uint_32 width, height;
    int bitDepth, colorType;
    bool interlaced;
    int filter, compression;
    int paletteCount;
    png_color palette[256];
    int transCount;
    png_byte trans[256];
    png_color_16 background;
    png_uint_32 ppmX, ppmY;
    bool bgr;
    const png_byte* (*row)(const void* ctx, png_uint_32 y, png_byte* rowBuffer);
    const void* ctx;
    png_byte* rowBuffer;
};

bool PngEncode(png_structp png, png_infop info, PngSink* sink, const PngLayout* l) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, sink, PngWriteFn, PngFlushFn);
    png_set_IHDR(png, info, l->width, l->height, l->bitDepth, l->colorType,
                 l->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, l->compression);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, l->filter);
    if (l->colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, const_cast<png_colorp>(l->palette), l->paletteCount);
    if (l->transCount > 0)
        png_set_tRNS(png, info, const_cast<png_bytep>(l->trans), l->transCount, nullptr);
    png_set_bKGD(png, info, const_cast<png_color_16p>(&l->background));
    if (l->ppmX > 0 && l->ppmY > 0) png_set_pHYs(png, info, l->ppmX, l->ppmY, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (l->bgr) png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < l->height; ++y)
            png_write_row(png, l->row(l->ctx, y, l->rowBuffer));
    png_write_end(png, info);
    return true;
}

struct PngRowSource {
    const RasterImage* image;    // ie24RGB
    const std::uint8_t* packed;  // packed rows for the bit and palette layouts
    std::size_t packedRowBytes;
};

const png_byte* RgbRow(const void* ctx, png_uint_32 y, png_byte*) {
    return static_cast<const PngRowSource*>(ctx)->image->Row(static_cast<int>(y));
}

const png_byte* RgbaRow(const void* ctx, png_uint_32 y, png_byte* buffer) {
    const RasterImage& image = *static_cast<const PngRowSource*>(ctx)->image;
    const std::uint8_t* rgb = image.Row(static_cast<int>(y));
    const std::uint8_t* a = image.AlphaRow(static_cast<int>(y));
    png_byte* out = buffer;
    for (int x = 0; x < image.Width(); ++x, rgb += 3, out += 4) {
        out[0] = rgb[0];
        out[1] = rgb[1];
        out[2] = rgb[2];
        out[3] = a[x];
    }
    return buffer;
}

const png_byte* PackedRow(const void* ctx, png_uint_32 y, png_byte*) {
    const auto* src = static_cast<const PngRowSource*>(ctx);
    return src->packed + src->packedRowBytes * y;
}

// Packs one index per pixel into rows of the bit depth, first pixel in the high bits.
std::vector<std::uint8_t> PackIndices(const std::vector<std::uint8_t>& indices, int width,
                                      int height, int bits, std::size_t* rowBytes) {
    *rowBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
    std::vector<std::uint8_t> rows(*rowBytes * static_cast<std::size_t>(height), 0);
    const int perByte = 8 / bits;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = indices.data() + static_cast<std::size_t>(y) * width;
        std::uint8_t* out = rows.data() + *rowBytes * y;
        if (bits == 8) {
            std::copy_n(in, width, out);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            int shift = 8 - bits * (x % perByte + 1);
            out[x / perByte] |= static_cast<std::uint8_t>((in[x] & ((1 << bits) - 1)) << shift);
        }
    }
    return rows;
}

int GreyBitsFor(int declaredBits) {
    return declaredBits <= 1 ? 1 : declaredBits <= 2 ? 2 : declaredBits <= 4 ? 4 : 8;
}

std::uint16_t GreyValue(Rgb c, int bits) {
    return static_cast<std::uint16_t>((Luminance(c) * ((1 << bits) - 1) + 127) / 255);
}

// The palette entry for the background chunk: an equal colour, else a new entry while the
// palette stays within the declared depth, else the nearest colour.
png_byte BackgroundIndex(std::vector<Rgb>& palette, Rgb bg, int bits) {
    auto it = std::find(palette.begin(), palette.end(), bg);
    if (it != palette.end()) return static_cast<png_byte>(it - palette.begin());
    if (palette.size() < (std::size_t{1} << bits)) {
        palette.push_back(bg);
        return static_cast<png_byte>(palette.size() - 1);
    }
    std::size_t best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        int dr = palette[i].r - bg.r, dg = palette[i].g - bg.g, db = palette[i].b - bg.b;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) bestDistance = d, best = i;
    }
    return static_cast<png_byte>(best);
}

ImageError WritePng(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    const RasterImage& source = holder.Image;
    if (source.Empty()) return ImageError::CannotEncode;
    const FileParams& p = holder.Params;

    PngLayout l{};
    l.width = static_cast<png_uint_32>(source.Width());
    l.height = static_cast<png_uint_32>(source.Height());
    l.interlaced = p.PNG_Interlaced;
    l.filter = p.PNG_Filter == 0 ? PNG_FILTER_NONE : PNG_ALL_FILTERS;
    l.compression = std::clamp(p.PNG_Compression, 0, 9);
    l.ppmX = PixelsPerMetreFromDpi(p.HorizontalDpi);
    l.ppmY = PixelsPerMetreFromDpi(p.VerticalDpi);
    const Rgb bg = p.PNG_Background;

    PngRowSource rows{};
    RasterImage rgb;
    std::vector<std::uint8_t> packed;
    std::vector<std::uint8_t> rowBuffer;
    const bool paletteDepth = p.ChannelCount == 1 && p.BitsPerChannel <= 8;

    if (paletteDepth && p.BitsPerChannel <= 1) {
        packed = BlackWhiteRows(source);
        rows.packed = packed.data();
        rows.packedRowBytes = (static_cast<std::size_t>(source.Width()) + 7) / 8;
        l.colorType = PNG_COLOR_TYPE_GRAY;
        l.bitDepth = 1;
        l.background.gray = GreyValue(bg, 1);
        l.row = PackedRow;
    } else if (paletteDepth) {
        const int bits = p.BitsPerChannel;
        const bool alpha = source.HasAlpha();
        IndexedImage indexed;
        const int colours = alpha ? std::min(1 << bits, 255) : 1 << bits;
        if (!BuildIndexedImage(source, colours,
                               alpha ? TransparentSlot::First : TransparentSlot::None, bg,
                               &indexed))
            return ImageError::CannotEncode;
        const int greyBits = GreyBitsFor(bits);
        if (!alpha && AllGrey(indexed.Palette) && GreyLevelsFit(indexed.Palette, greyBits)) {
            for (std::uint8_t& i : indexed.Indices)
                i = static_cast<std::uint8_t>(GreyValue(indexed.Palette[i], greyBits));
            l.colorType = PNG_COLOR_TYPE_GRAY;
            l.bitDepth = greyBits;
            l.background.gray = GreyValue(bg, greyBits);
        } else {
            if (!alpha) {
                l.background.index = BackgroundIndex(indexed.Palette, bg, GreyBitsFor(bits));
            } else {
                l.background.index = 0;
                l.transCount = 1;
                l.trans[0] = 0;
            }
            l.colorType = PNG_COLOR_TYPE_PALETTE;
            l.bitDepth = PaletteBitsFor(indexed.Palette.size(), GreyBitsFor(bits));
            l.paletteCount = static_cast<int>(indexed.Palette.size());
            for (int i = 0; i < l.paletteCount; ++i)
                l.palette[i] = {indexed.Palette[i].r, indexed.Palette[i].g, indexed.Palette[i].b};
        }
        packed = PackIndices(indexed.Indices, source.Width(), source.Height(), l.bitDepth,
                             &rows.packedRowBytes);
        rows.packed = packed.data();
        l.row = PackedRow;
    } else {
        const RasterImage* image = &source;
        if (source.Format() != PixelFormat::ie24RGB) {
            rgb = source.ToRgb24();
            if (rgb.Empty()) return ImageError::CannotEncode;
            image = &rgb;
        }
        rows.image = image;
        const bool alpha = image->HasAlpha() && !image->AlphaAllOpaque();
        l.colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        l.bitDepth = 8;
        l.bgr = true;
        l.background.red = bg.r;
        l.background.green = bg.g;
        l.background.blue = bg.b;
        if (alpha) rowBuffer.resize(static_cast<std::size_t>(image->Width()) * 4);
        l.row = alpha ? RgbaRow : RgbRow;
    }
    l.ctx = &rows;
    l.rowBuffer = rowBuffer.data();

    PngWriteHandle handle;
    if (!handle.ok()) return ImageError::PngEncoderFailed;
    std::vector<std::uint8_t> encoded;
    PngSink sink{&encoded};
    if (!PngEncode(handle.png(), handle.info(), &sink, &l)) return ImageError::PngEncoderFailed;
    out.insert(out.end(), encoded.begin(), encoded.end());
    return ImageError::None;
}

}  // namespace

const FormatCodec kPngCodec{ProbePng, ReadPng, WritePng, InfoPng};

}  // namespace gw
