// TIFF through libtiff, over memory. The reader takes one page (ImageIndex) of any layout
// libtiff can turn into RGBA; bilevel pages stay 1 bit. The writer writes one page.

#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "imagefile/formats/codec.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

bool ProbeTiff(std::span<const std::uint8_t> data) {
    if (data.size() < 8) return false;
    const bool little =
        data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0;
    const bool big =
        data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43);
    return little || big;
}

// ---- memory streams ----

struct TiffStream {
    const std::uint8_t* data = nullptr;        // reading
    std::vector<std::uint8_t>* out = nullptr;  // writing
    std::uint64_t size = 0;
    std::uint64_t pos = 0;
};

tmsize_t TiffRead(thandle_t h, void* buffer, tmsize_t n) {
    auto* s = static_cast<TiffStream*>(h);
    const std::uint8_t* base = s->out ? s->out->data() : s->data;
    if (n <= 0 || s->pos >= s->size) return 0;
    std::uint64_t count = std::min<std::uint64_t>(static_cast<std::uint64_t>(n), s->size - s->pos);
    std::memcpy(buffer, base + s->pos, static_cast<std::size_t>(count));
    s->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t TiffWrite(thandle_t h, void* buffer, tmsize_t n) {
    auto* s = static_cast<TiffStream*>(h);
    if (!s->out || n < 0) return -1;
    const std::uint64_t end = s->pos + static_cast<std::uint64_t>(n);
    if (end > Limits::kMaxBufferBytes) return -1;
    try {
        if (end > s->out->size()) s->out->resize(static_cast<std::size_t>(end));
    } catch (...) {
        return -1;
    }
    std::memcpy(s->out->data() + s->pos, buffer, static_cast<std::size_t>(n));
    s->pos = end;
    s->size = s->out->size();
    return n;
}

toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
    auto* s = static_cast<TiffStream*>(h);
    std::uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->size : 0;
    std::uint64_t target = base + offset;
    if (target < base || target > Limits::kMaxBufferBytes * 4) return static_cast<toff_t>(-1);
    s->pos = target;
    return target;
}

int TiffClose(thandle_t) {
    return 0;
}
toff_t TiffSize(thandle_t h) {
    return static_cast<TiffStream*>(h)->size;
}

int TiffMap(thandle_t h, void** base, toff_t* size) {
    auto* s = static_cast<TiffStream*>(h);
    if (s->out) return 0;
    *base = const_cast<std::uint8_t*>(s->data);
    *size = s->size;
    return 1;
}
void TiffUnmap(thandle_t, void*, toff_t) {}

// Messages are not shown anywhere; returning 1 keeps them from libtiff's global handlers.
int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

class TiffHandle {
  public:
    TiffHandle(TiffStream* stream, const char* mode) {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options) return;
        TIFFOpenOptionsSetMaxSingleMemAlloc(options,
                                            static_cast<tmsize_t>(Limits::kMaxBufferBytes));
        TIFFOpenOptionsSetErrorHandlerExtR(options, TiffQuiet, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, TiffQuiet, nullptr);
        tif_ = TIFFClientOpenExt("memory", mode, stream, TiffRead, TiffWrite, TiffSeek, TiffClose,
                                 TiffSize, TiffMap, TiffUnmap, options);
        TIFFOpenOptionsFree(options);
    }
    ~TiffHandle() { Close(); }
    void Close() {
        if (tif_) TIFFClose(tif_);
        tif_ = nullptr;
    }
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;
    TIFF* get() const { return tif_; }

  private:
    TIFF* tif_ = nullptr;
};

class RgbaImage {
  public:
    ~RgbaImage() {
        if (begun_) TIFFRGBAImageEnd(&img_);
    }
    bool Begin(TIFF* tif) {
        char message[1024];
        if (!TIFFRGBAImageOK(tif, message)) return false;
        begun_ = TIFFRGBAImageBegin(&img_, tif, 1, message) != 0;
        return begun_;
    }
    TIFFRGBAImage& get() { return img_; }

  private:
    TIFFRGBAImage img_{};
    bool begun_ = false;
};

// ---- reading ----

FileParams::TiffCompression CompressionOf(std::uint16_t c) {
    using C = FileParams::TiffCompression;
    switch (c) {
        case COMPRESSION_LZW:
            return C::LZW;
        case COMPRESSION_PACKBITS:
            return C::PackBits;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return C::Deflate;
        case COMPRESSION_JPEG:
        case COMPRESSION_OJPEG:
            return C::JPEG;
        case COMPRESSION_CCITTFAX3:
            return C::CCITT3;
        case COMPRESSION_CCITTFAX4:
            return C::CCITT4;
        default:
            return C::None;
    }
}

FileParams::TiffPhotometric PhotometricOf(std::uint16_t p) {
    using P = FileParams::TiffPhotometric;
    switch (p) {
        case PHOTOMETRIC_MINISWHITE:
            return P::WhiteIsZero;
        case PHOTOMETRIC_MINISBLACK:
            return P::BlackIsZero;
        case PHOTOMETRIC_PALETTE:
            return P::Palette;
        case PHOTOMETRIC_SEPARATED:
            return P::CMYK;
        default:
            return P::RGB;
    }
}

bool ReadBilevel(TIFF* tif, std::uint32_t width, std::uint32_t height, bool whiteIsZero,
                 RasterImage& image) {
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    const std::size_t rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
    if (lineSize < static_cast<tmsize_t>(rowBytes)) return false;
    if (!image.Allocate(static_cast<int>(width), static_cast<int>(height), PixelFormat::ie1g))
        return false;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineSize));
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return false;
        std::uint8_t* row = image.Row(static_cast<int>(y));
        for (std::size_t i = 0; i < rowBytes; ++i)
            row[i] = whiteIsZero ? static_cast<std::uint8_t>(~line[i]) : line[i];
    }
    return true;
}

bool ReadThroughRgba(TIFF* tif, std::uint32_t width, std::uint32_t height, RasterImage& image) {
    RgbaImage rgba;
    if (!rgba.Begin(tif)) return false;
    TIFFRGBAImage& img = rgba.get();
    img.req_orientation = ORIENTATION_TOPLEFT;
    if (!image.Allocate(static_cast<int>(width), static_cast<int>(height), PixelFormat::ie24RGB))
        return false;
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
    if (!TIFFRGBAImageGet(&img, raster.data(), width, height)) return false;
    const bool alpha = img.alpha == EXTRASAMPLE_ASSOCALPHA || img.alpha == EXTRASAMPLE_UNASSALPHA;
    if (alpha) image.AddAlpha();
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* in = raster.data() + static_cast<std::size_t>(width) * y;
        std::uint8_t* out = image.Row(static_cast<int>(y));
        std::uint8_t* a = alpha ? image.AlphaRow(static_cast<int>(y)) : nullptr;
        for (std::uint32_t x = 0; x < width; ++x, out += 3) {
            std::uint32_t r = TIFFGetR(in[x]), g = TIFFGetG(in[x]), b = TIFFGetB(in[x]);
            if (alpha) {
                // libtiff delivers premultiplied colours; the alpha plane wants them straight.
                std::uint32_t av = TIFFGetA(in[x]);
                a[x] = static_cast<std::uint8_t>(av);
                if (av > 0 && av < 255) {
                    r = std::min<std::uint32_t>(255, (r * 255 + av / 2) / av);
                    g = std::min<std::uint32_t>(255, (g * 255 + av / 2) / av);
                    b = std::min<std::uint32_t>(255, (b * 255 + av / 2) / av);
                }
            }
            out[0] = static_cast<std::uint8_t>(b);
            out[1] = static_cast<std::uint8_t>(g);
            out[2] = static_cast<std::uint8_t>(r);
        }
    }
    return true;
}

std::vector<Rgb> ReadColourMap(TIFF* tif, std::uint16_t bits) {
    std::vector<Rgb> palette;
    std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (bits == 0 || bits > 8 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) return palette;
    const int n = 1 << bits;
    // Some writers store 8-bit values in the 16-bit table.
    bool eightBit = true;
    for (int i = 0; i < n; ++i)
        if (r[i] >= 256 || g[i] >= 256 || b[i] >= 256) eightBit = false;
    auto v = [eightBit](std::uint16_t x) {
        return static_cast<std::uint8_t>(eightBit ? x : x >> 8);
    };
    for (int i = 0; i < n; ++i) palette.push_back({v(r[i]), v(g[i]), v(b[i])});
    return palette;
}

// Uncompressed strips or tiles must lie within the data and, for strips, hold the whole picture,
// so that a few bytes of header cannot make the reader allocate a huge picture.
bool UncompressedDataPresent(TIFF* tif, std::uint64_t dataSize, std::uint32_t width,
                             std::uint32_t height, std::uint16_t spp, std::uint16_t bps) {
    const bool tiled = TIFFIsTiled(tif);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    if (!TIFFGetField(tif, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) ||
        !offsets || !counts)
        return false;
    const std::uint64_t n = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < n; ++i) {
        if (offsets[i] > dataSize || counts[i] > dataSize - offsets[i]) return false;
        total += counts[i];
    }
    if (tiled) return true;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    const std::uint64_t samples = planar == PLANARCONFIG_SEPARATE ? 1 : spp;
    const std::uint64_t rowBytes = (std::uint64_t{width} * samples * bps + 7) / 8;
    const std::uint64_t planes = planar == PLANARCONFIG_SEPARATE ? spp : 1;
    return total >= rowBytes * height * planes;
}

int ResolutionOf(TIFF* tif, ttag_t tag, std::uint16_t unit) {
    float value = 0;
    if (unit == RESUNIT_NONE || !TIFFGetField(tif, tag, &value)) return 0;
    return DpiFromUnit(value, unit == RESUNIT_CENTIMETER);
}

// The first directory's fields; the directories are counted, the strips never read.
ImageError InfoTiff(std::span<const std::uint8_t> data, ImageInfo& info) {
    if (!ProbeTiff(data)) return ImageError::Damaged;
    TiffStream stream;
    stream.data = data.data();
    stream.size = data.size();
    TiffHandle handle(&stream, "r");
    TIFF* tif = handle.get();
    if (!tif) return ImageError::Damaged;
    std::uint32_t width = 0, height = 0;
    std::uint16_t spp = 1, bps = 1, extraCount = 0;
    std::uint16_t* extra = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
        return ImageError::Damaged;
    if (!ImageSizeAllowed(width, height)) return ImageError::TooLarge;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    info.Width = static_cast<int>(width);
    info.Height = static_cast<int>(height);
    info.ChannelCount = spp;
    info.BitsPerChannel = bps;
    info.HasAlpha = extraCount > 0 && extra &&
                    (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
    const tdir_t directories = TIFFNumberOfDirectories(tif);
    info.ImageCount =
        directories > 0
            ? static_cast<int>(std::min<std::uint64_t>(directories, Limits::kMaxEntries))
            : 1;
    return ImageError::None;
}

ImageError ReadTiff(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    if (!ProbeTiff(data)) return ImageError::Damaged;
    TiffStream stream;
    stream.data = data.data();
    stream.size = data.size();
    TiffHandle handle(&stream, "r");
    TIFF* tif = handle.get();
    if (!tif) return ImageError::Damaged;
    const int index = holder.Params.TIFF_ImageIndex;
    if (index < 0 || static_cast<std::uint64_t>(index) >= Limits::kMaxEntries)
        return ImageError::TooLarge;
    if (index > 0 && !TIFFSetDirectory(tif, static_cast<tdir_t>(index)))
        return ImageError::TooLarge;

    std::uint32_t width = 0, height = 0;
    std::uint16_t spp = 1, bps = 1, photometric = PHOTOMETRIC_MINISBLACK, compression = 1;
    std::uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
        return ImageError::Damaged;
    if (!ImageSizeAllowed(width, height)) return ImageError::TooLarge;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (compression == COMPRESSION_NONE &&
        !UncompressedDataPresent(tif, data.size(), width, height, spp, bps))
        return ImageError::Damaged;

    RasterImage image;
    const bool bilevel =
        bps == 1 && spp == 1 && !TIFFIsTiled(tif) &&
        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK);
    const bool ok =
        bilevel ? ReadBilevel(tif, width, height, photometric == PHOTOMETRIC_MINISWHITE, image)
                : ReadThroughRgba(tif, width, height, image);
    if (!ok) return ImageError::Damaged;

    FileParams& p = holder.Params;
    p.ImageWidth = static_cast<int>(width);
    p.ImageHeight = static_cast<int>(height);
    p.ChannelCount = spp;
    p.BitsPerChannel = bps;
    p.Palette = photometric == PHOTOMETRIC_PALETTE ? ReadColourMap(tif, bps) : std::vector<Rgb>{};
    p.PaletteCount = static_cast<int>(p.Palette.size());
    const int dpiX = ResolutionOf(tif, TIFFTAG_XRESOLUTION, unit);
    const int dpiY = ResolutionOf(tif, TIFFTAG_YRESOLUTION, unit);
    p.HorizontalDpi = dpiX > 0 ? dpiX : 300;
    p.VerticalDpi = dpiY > 0 ? dpiY : 300;
    p.TIFF_Compression = CompressionOf(compression);
    p.TIFF_Photometric = PhotometricOf(photometric);
    holder.Image = std::move(image);
    return ImageError::None;
}

// ---- writing ----

std::uint16_t CompressionFor(FileParams::TiffCompression c, bool bilevel) {
    using C = FileParams::TiffCompression;
    switch (c) {
        case C::LZW:
            return COMPRESSION_LZW;
        case C::PackBits:
            return COMPRESSION_PACKBITS;
        case C::Deflate:
            return COMPRESSION_ADOBE_DEFLATE;
        case C::CCITT3:
            return bilevel ? COMPRESSION_CCITTFAX3 : COMPRESSION_NONE;
        case C::CCITT4:
            return bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_NONE;
        default:
            return COMPRESSION_NONE;
    }
}

// One page as plain rows: the layout the declared depth asks for.
struct TiffPage {
    std::uint16_t bps = 8, spp = 3, photometric = PHOTOMETRIC_RGB;
    std::size_t rowBytes = 0;
    std::vector<std::uint8_t> rows;
    std::vector<std::uint16_t> map[3];
};

std::vector<std::uint8_t> PackRows(const std::vector<std::uint8_t>& values, int width, int height,
                                   int bits, std::size_t* rowBytes) {
    *rowBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
    std::vector<std::uint8_t> rows(*rowBytes * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = values.data() + static_cast<std::size_t>(y) * width;
        std::uint8_t* out = rows.data() + *rowBytes * y;
        for (int x = 0; x < width; ++x) {
            if (bits == 8)
                out[x] = in[x];
            else
                out[x / 2] |= static_cast<std::uint8_t>((in[x] & 15) << (x % 2 ? 0 : 4));
        }
    }
    return rows;
}

bool BuildPage(const RasterImage& image, const FileParams& p, TiffPage* page) {
    const int w = image.Width(), h = image.Height();
    if (p.ChannelCount == 1 && p.BitsPerChannel == 1) {
        page->bps = 1;
        page->spp = 1;
        page->photometric = PHOTOMETRIC_MINISBLACK;
        page->rowBytes = (static_cast<std::size_t>(w) + 7) / 8;
        page->rows = BlackWhiteRows(image);
        return true;
    }
    if (p.ChannelCount == 1 && p.BitsPerChannel >= 2 && p.BitsPerChannel <= 8) {
        IndexedImage indexed;
        if (!BuildIndexedImage(image, 1 << p.BitsPerChannel, TransparentSlot::None, Rgb{},
                               &indexed))
            return false;
        page->spp = 1;
        page->bps = p.BitsPerChannel <= 4 ? 4 : 8;
        if (AllGrey(indexed.Palette) && GreyLevelsFit(indexed.Palette, page->bps)) {
            const int maxValue = (1 << page->bps) - 1;
            for (std::uint8_t& i : indexed.Indices)
                i = static_cast<std::uint8_t>(indexed.Palette[i].r * maxValue / 255);
            page->photometric = PHOTOMETRIC_MINISBLACK;
        } else {
            page->photometric = PHOTOMETRIC_PALETTE;
            for (auto& m : page->map) m.assign(std::size_t{1} << page->bps, 0);
            for (std::size_t i = 0; i < indexed.Palette.size(); ++i) {
                page->map[0][i] = static_cast<std::uint16_t>(indexed.Palette[i].r * 257);
                page->map[1][i] = static_cast<std::uint16_t>(indexed.Palette[i].g * 257);
                page->map[2][i] = static_cast<std::uint16_t>(indexed.Palette[i].b * 257);
            }
        }
        page->rows = PackRows(indexed.Indices, w, h, page->bps, &page->rowBytes);
        return true;
    }
    page->rowBytes = static_cast<std::size_t>(w) * 3;
    page->rows.resize(page->rowBytes * h);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* out = page->rows.data() + page->rowBytes * y;
        if (image.Format() == PixelFormat::ie24RGB) {
            const std::uint8_t* in = image.Row(y);
            for (int x = 0; x < w; ++x, out += 3, in += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            continue;
        }
        for (int x = 0; x < w; ++x, out += 3) {
            Rgb c = image.PixelRgb(x, y);
            out[0] = c.r;
            out[1] = c.g;
            out[2] = c.b;
        }
    }
    return true;
}

ImageError WriteTiff(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    const RasterImage& image = holder.Image;
    if (image.Empty()) return ImageError::CannotEncode;
    const FileParams& p = holder.Params;
    TiffPage page;
    if (!BuildPage(image, p, &page)) return ImageError::CannotEncode;

    std::vector<std::uint8_t> encoded;
    TiffStream stream;
    stream.out = &encoded;
    TiffHandle handle(&stream, "w");
    TIFF* tif = handle.get();
    if (!tif) return ImageError::CannotEncode;
    const std::uint32_t w = static_cast<std::uint32_t>(image.Width());
    const std::uint32_t h = static_cast<std::uint32_t>(image.Height());
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bps);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, CompressionFor(p.TIFF_Compression, page.bps == 1));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (p.HorizontalDpi > 0 && p.VerticalDpi > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(p.HorizontalDpi));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(p.VerticalDpi));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    if (page.photometric == PHOTOMETRIC_PALETTE)
        TIFFSetField(tif, TIFFTAG_COLORMAP, page.map[0].data(), page.map[1].data(),
                     page.map[2].data());
    for (std::uint32_t y = 0; y < h; ++y)
        if (TIFFWriteScanline(tif, page.rows.data() + page.rowBytes * y, y, 0) < 0)
            return ImageError::CannotEncode;
    if (!TIFFWriteDirectory(tif)) return ImageError::CannotEncode;
    handle.Close();
    out.insert(out.end(), encoded.begin(), encoded.end());
    return ImageError::None;
}

}  // namespace

const FormatCodec kTiffCodec{ProbeTiff, ReadTiff, WriteTiff, InfoTiff};

}  // namespace gw
