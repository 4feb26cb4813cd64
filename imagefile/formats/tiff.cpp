// TIFF through libtiff, over memory. The reader takes one page (ImageIndex): the common layouts
// (grey, palette, RGB, CMYK, CIELab, with or without alpha, any bit depth, integer or float)
// from their samples, the rest through libtiff's RGBA interface; bilevel pages stay 1 bit.
// The writer writes one page.

#include <tiffio.h>

#include <algorithm>
#include <cmath>
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

std::vector<Rgb> ReadColourMapOf(TIFF* tif, std::uint16_t bits) {
    std::vector<Rgb> palette;
    std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (bits == 0 || bits > 8 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) return palette;
    const int n = 1 << bits;
    // Some writers store 8-bit values in the 16-bit table.
    bool eightBit = true;
    for (int i = 0; i < n; ++i)
        if (r[i] >= 256 || g[i] >= 256 || b[i] >= 256) eightBit = false;
    auto v = [eightBit](std::uint16_t x) {
        return static_cast<std::uint8_t>(eightBit ? x : x * 255u / 65535u);
    };
    for (int i = 0; i < n; ++i) palette.push_back({v(r[i]), v(g[i]), v(b[i])});
    return palette;
}

// The most a byte of coded data can expand to, so that a few bytes cannot make the reader
// allocate a huge picture. Fax codes can describe a whole row with one bit.
std::uint64_t LargestRatio(std::uint16_t compression, std::uint32_t width) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 1;
        case COMPRESSION_PACKBITS:
            return 64;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return 1032;
        case COMPRESSION_LZW:
            return 2800;  // the longest string, 12-bit codes once the table is full
        case COMPRESSION_JPEG:
        case COMPRESSION_OJPEG:
            return 1024;
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
            return std::max<std::uint64_t>(64, width);
        default:
            return 65536;
    }
}

// Strips or tiles must lie within the data, and the bytes present must be able to fill the
// picture: in full when uncompressed, within the compression's largest ratio otherwise.
bool StripDataCanFill(TIFF* tif, std::uint64_t dataSize, std::uint32_t width, std::uint32_t height,
                      std::uint16_t spp, std::uint16_t bps, std::uint16_t compression) {
    const bool tiled = TIFFIsTiled(tif);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    if (!TIFFGetField(tif, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) ||
        !offsets || !counts)
        return false;
    const std::uint64_t n = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    const bool uncompressed = compression == COMPRESSION_NONE;
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < n; ++i) {
        if (offsets[i] > dataSize) {
            if (uncompressed) return false;
            continue;
        }
        if (uncompressed && counts[i] > dataSize - offsets[i]) return false;
        total += std::min(counts[i], dataSize - offsets[i]);
    }
    if (uncompressed && tiled) return true;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    const std::uint64_t samples = planar == PLANARCONFIG_SEPARATE ? 1 : spp;
    const std::uint64_t rowBytes = (std::uint64_t{width} * samples * bps + 7) / 8;
    const std::uint64_t planes = planar == PLANARCONFIG_SEPARATE ? spp : 1;
    const std::uint64_t ratio = LargestRatio(compression, width);
    return total >= (rowBytes * height * planes + ratio - 1) / ratio;
}

// ---- reading the samples directly ----

// A page whose samples the reader converts itself: straight colours, every bit depth, float
// and CIELab samples. What it leaves (YCbCr, old-style JPEG) goes through libtiff's RGBA
// interface.
struct SampleLayout {
    std::uint32_t width = 0, height = 0;
    std::uint16_t spp = 1, bps = 8, photometric = PHOTOMETRIC_MINISBLACK;
    std::uint16_t format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    int colours = 1;  // colour samples: 1 grey or palette, 3 RGB or Lab, 4 CMYK
    int alpha = -1;   // the sample holding alpha, or -1
    bool associated = false;
    double lo = 0, hi = 1;  // range of float samples
    std::vector<Rgb> palette;
};

bool DescribeSamples(TIFF* tif, std::uint16_t spp, std::uint16_t bps, std::uint16_t photometric,
                     std::uint16_t compression, SampleLayout* l) {
    if (compression == COMPRESSION_OJPEG) return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l->format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l->planar);
    const bool isFloat = l->format == SAMPLEFORMAT_IEEEFP;
    if (isFloat ? bps != 32 && bps != 64
                : (l->format != SAMPLEFORMAT_UINT && l->format != SAMPLEFORMAT_INT) || bps == 0 ||
                      bps > 32)
        return false;
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
            l->colours = 1;
            break;
        case PHOTOMETRIC_PALETTE:
            if (isFloat || bps > 16) return false;
            l->colours = 1;
            break;
        case PHOTOMETRIC_RGB:
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB:
            l->colours = 3;
            break;
        case PHOTOMETRIC_SEPARATED: {
            std::uint16_t inks = INKSET_CMYK;
            TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
            if (inks != INKSET_CMYK) return false;
            l->colours = 4;
            break;
        }
        default:
            return false;
    }
    if (spp < l->colours) return false;
    std::uint16_t extraCount = 0;
    std::uint16_t* extra = nullptr;
    TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    // The first extra sample is the alpha channel; an RGB page with a fourth sample that is
    // not described is taken the same way.
    if (spp > l->colours && photometric != PHOTOMETRIC_PALETTE &&
        (extraCount > 0 || (photometric == PHOTOMETRIC_RGB && spp == 4))) {
        l->alpha = l->colours;
        l->associated = extraCount > 0 && extra && extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    l->spp = spp;
    l->bps = bps;
    l->photometric = photometric;
    if (photometric == PHOTOMETRIC_PALETTE) {
        l->palette = ReadColourMapOf(tif, bps);
        if (l->palette.empty()) return false;
    }
    return true;
}

// One sample as stored: bit-packed rows, most significant bit first; libtiff has already
// brought 16-, 32- and 64-bit samples into the machine's byte order.
double RawSample(const SampleLayout& l, const std::uint8_t* row, std::size_t index) {
    const unsigned bps = l.bps;
    if (l.format == SAMPLEFORMAT_IEEEFP) {
        if (bps == 32) {
            float f;
            std::memcpy(&f, row + index * 4, 4);
            return f;
        }
        double d;
        std::memcpy(&d, row + index * 8, 8);
        return d;
    }
    std::uint32_t v = 0;
    if (bps == 8) {
        v = row[index];
    } else if (bps == 16) {
        std::uint16_t u;
        std::memcpy(&u, row + index * 2, 2);
        v = u;
    } else if (bps == 32) {
        std::memcpy(&v, row + index * 4, 4);
    } else {
        std::uint64_t bit = std::uint64_t{index} * bps;
        for (unsigned i = 0; i < bps; ++i, ++bit)
            v = (v << 1) | ((row[bit >> 3] >> (7 - (bit & 7))) & 1u);
    }
    if (l.format == SAMPLEFORMAT_INT && bps < 32 && (v >> (bps - 1)) & 1u)
        return static_cast<double>(v) - std::ldexp(1.0, bps);
    if (l.format == SAMPLEFORMAT_INT && bps == 32) return static_cast<std::int32_t>(v);
    return v;
}

// A sample scaled to 0..1: integers by their bit depth (signed ones around the middle),
// floats by the page's range.
double Unit(const SampleLayout& l, double v) {
    if (l.format == SAMPLEFORMAT_IEEEFP) {
        if (!std::isfinite(v)) return v > 0 ? 1 : 0;
        return std::clamp((v - l.lo) / (l.hi - l.lo), 0.0, 1.0);
    }
    const double top = std::ldexp(1.0, l.bps) - 1;
    if (l.format == SAMPLEFORMAT_INT) v += std::ldexp(1.0, l.bps - 1);
    return std::clamp(v / top, 0.0, 1.0);
}

std::uint8_t ToByte(double unit) {
    return static_cast<std::uint8_t>(std::clamp(unit * 255 + 0.5, 0.0, 255.0));
}

// CIE L*a*b* (D50, as TIFF defines it) to sRGB, through the D50-adapted sRGB primaries.
void LabToRgb(double L, double a, double b, double out[3]) {
    auto f = [](double t) {
        return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29);
    };
    const double fy = (L + 16) / 116;
    const double X = 0.9642 * f(fy + a / 500), Y = f(fy), Z = 0.8249 * f(fy - b / 200);
    const double lin[3] = {3.1338561 * X - 1.6168667 * Y - 0.4906146 * Z,
                           -0.9787684 * X + 1.9161415 * Y + 0.0334540 * Z,
                           0.0719453 * X - 0.2289914 * Y + 1.4052427 * Z};
    for (int i = 0; i < 3; ++i) {
        const double c = std::clamp(lin[i], 0.0, 1.0);
        out[i] = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    }
}

// Converts one row; planes[s] holds sample s when the page is planar, else planes[0] all.
void ConvertRow(const SampleLayout& l, const std::uint8_t* const* planes, std::uint8_t* bgr,
                std::uint8_t* alphaRow) {
    const bool separate = l.planar == PLANARCONFIG_SEPARATE;
    auto sample = [&](std::uint32_t x, int s) {
        return separate ? RawSample(l, planes[s], x)
                        : RawSample(l, planes[0], std::size_t{x} * l.spp + s);
    };
    for (std::uint32_t x = 0; x < l.width; ++x, bgr += 3) {
        double c[4] = {};
        const double a = l.alpha >= 0 ? Unit(l, sample(x, l.alpha)) : 1.0;
        double rgb[3];
        if (l.photometric == PHOTOMETRIC_PALETTE) {
            const auto i = static_cast<std::size_t>(sample(x, 0));
            const Rgb entry = i < l.palette.size() ? l.palette[i] : Rgb{};
            bgr[0] = entry.b, bgr[1] = entry.g, bgr[2] = entry.r;
            continue;
        }
        if (l.photometric == PHOTOMETRIC_CIELAB || l.photometric == PHOTOMETRIC_ICCLAB) {
            double L = sample(x, 0), A = sample(x, 1), B = sample(x, 2);
            if (l.format == SAMPLEFORMAT_IEEEFP) {
                // already L* 0..100 and a*, b* as they are
            } else {
                const double top = std::ldexp(1.0, l.bps) - 1;
                const double half = std::ldexp(1.0, l.bps - 1);
                L = L * 100 / top;
                const bool offset = l.photometric == PHOTOMETRIC_ICCLAB;
                if (offset || l.format == SAMPLEFORMAT_UINT) {
                    // CIELab stores a*, b* as two's complement in unsigned fields
                    if (!offset) {
                        if (A >= half) A -= 2 * half;
                        if (B >= half) B -= 2 * half;
                    } else {
                        A -= half, B -= half;
                    }
                }
                A = A * 256 / (2 * half), B = B * 256 / (2 * half);
            }
            if (l.associated && a > 0) L /= a, A /= a, B /= a;
            LabToRgb(L, A, B, rgb);
        } else {
            for (int i = 0; i < l.colours; ++i) {
                c[i] = Unit(l, sample(x, i));
                if (l.associated) c[i] = a > 0 ? std::min(1.0, c[i] / a) : 0;
            }
            if (l.colours == 1) {
                const double grey = l.photometric == PHOTOMETRIC_MINISWHITE ? 1 - c[0] : c[0];
                rgb[0] = rgb[1] = rgb[2] = grey;
            } else if (l.colours == 4) {
                for (int i = 0; i < 3; ++i) rgb[i] = (1 - c[i]) * (1 - c[3]);
            } else {
                rgb[0] = c[0], rgb[1] = c[1], rgb[2] = c[2];
            }
        }
        bgr[0] = ToByte(rgb[2]), bgr[1] = ToByte(rgb[1]), bgr[2] = ToByte(rgb[0]);
        if (alphaRow) alphaRow[x] = ToByte(a);
    }
}

// Decodes the page strip by strip (or band of tiles by band) and hands each row, all its
// planes, to the callback. Only one band is held at a time.
template <typename RowFn>
bool ForEachRow(TIFF* tif, const SampleLayout& l, RowFn&& onRow) {
    const bool separate = l.planar == PLANARCONFIG_SEPARATE;
    const int planes = separate ? l.spp : 1;
    const std::uint64_t perPixel = separate ? 1 : l.spp;
    const std::size_t rowBytes = (std::uint64_t{l.width} * perPixel * l.bps + 7) / 8;
    std::uint32_t bandRows = 0, tileWidth = 0;
    const bool tiled = TIFFIsTiled(tif);
    if (tiled) {
        if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) ||
            !TIFFGetField(tif, TIFFTAG_TILELENGTH, &bandRows) || tileWidth == 0 || bandRows == 0)
            return false;
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &bandRows);
    }
    bandRows = std::clamp<std::uint32_t>(bandRows, 1, l.height);
    const std::uint64_t bandBytes = std::uint64_t{rowBytes} * bandRows;
    if (bandBytes * planes > Limits::kMaxBufferBytes) return false;
    std::vector<std::vector<std::uint8_t>> band(planes);
    // Strips decode straight into the band; tiles through one tile's buffer.
    const tmsize_t unitSize = tiled ? TIFFTileSize(tif) : 0;
    if (unitSize < 0 || static_cast<std::uint64_t>(unitSize) > Limits::kMaxBufferBytes ||
        (tiled && unitSize == 0))
        return false;
    std::vector<std::uint8_t> unit(static_cast<std::size_t>(unitSize));
    const std::size_t tileRowBytes =
        tiled ? (std::uint64_t{tileWidth} * perPixel * l.bps + 7) / 8 : 0;
    std::vector<const std::uint8_t*> rowPlanes(planes);
    for (std::uint32_t top = 0; top < l.height; top += bandRows) {
        const std::uint32_t rows = std::min(bandRows, l.height - top);
        for (int p = 0; p < planes; ++p) {
            std::vector<std::uint8_t>& b = band[p];
            b.assign(static_cast<std::size_t>(bandBytes), 0);
            if (!tiled) {
                const tstrip_t strip = TIFFComputeStrip(tif, top, static_cast<tsample_t>(p));
                const tmsize_t got = TIFFReadEncodedStrip(tif, strip, b.data(),
                                                          static_cast<tmsize_t>(rowBytes * rows));
                if (got < 0) return false;
                continue;
            }
            for (std::uint32_t left = 0; left < l.width; left += tileWidth) {
                if (TIFFReadTile(tif, unit.data(), left, top, 0, static_cast<tsample_t>(p)) < 0)
                    return false;
                const std::size_t at = (std::uint64_t{left} * perPixel * l.bps) / 8;
                const std::size_t n = std::min(tileRowBytes, rowBytes - at);
                for (std::uint32_t y = 0; y < rows; ++y)
                    std::memcpy(b.data() + rowBytes * y + at, unit.data() + tileRowBytes * y, n);
            }
        }
        for (std::uint32_t y = 0; y < rows; ++y) {
            for (int p = 0; p < planes; ++p) rowPlanes[p] = band[p].data() + rowBytes * y;
            onRow(top + y, rowPlanes.data());
        }
    }
    return true;
}

// Float pages are scaled by the range their tags give, else by 0..1 widened to the values
// the page holds.
bool FindFloatRange(TIFF* tif, SampleLayout* l) {
    double* lo = nullptr;
    double* hi = nullptr;
    if (TIFFGetField(tif, TIFFTAG_SMINSAMPLEVALUE, &lo) && lo &&
        TIFFGetField(tif, TIFFTAG_SMAXSAMPLEVALUE, &hi) && hi && *hi > *lo) {
        l->lo = *lo, l->hi = *hi;
        return true;
    }
    const bool separate = l->planar == PLANARCONFIG_SEPARATE;
    double low = 0, high = 1;
    const bool ok = ForEachRow(tif, *l, [&](std::uint32_t, const std::uint8_t* const* planes) {
        for (std::uint32_t x = 0; x < l->width; ++x)
            for (int s = 0; s < l->colours; ++s) {
                const double v = separate ? RawSample(*l, planes[s], x)
                                          : RawSample(*l, planes[0], std::size_t{x} * l->spp + s);
                if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
            }
    });
    l->lo = low, l->hi = high;
    return ok;
}

bool ReadSamples(TIFF* tif, SampleLayout& l, RasterImage& image) {
    if (l.format == SAMPLEFORMAT_IEEEFP && l.photometric != PHOTOMETRIC_CIELAB &&
        !FindFloatRange(tif, &l))
        return false;
    // Rows are kept as they arrive, each on its own, so that data ending early never has the
    // whole picture allocated; the picture is made once every row is there.
    const bool alpha = l.alpha >= 0;
    const std::size_t rowBytes = std::size_t{l.width} * (alpha ? 4 : 3);
    std::vector<std::vector<std::uint8_t>> rows;
    const bool ok = ForEachRow(tif, l, [&](std::uint32_t, const std::uint8_t* const* planes) {
        std::vector<std::uint8_t>& row = rows.emplace_back(rowBytes);
        ConvertRow(l, planes, row.data(), alpha ? row.data() + std::size_t{l.width} * 3 : nullptr);
    });
    if (!ok || rows.size() != l.height ||
        !image.Allocate(static_cast<int>(l.width), static_cast<int>(l.height),
                        PixelFormat::ie24RGB))
        return false;
    if (alpha) image.AddAlpha();
    for (std::uint32_t y = 0; y < l.height; ++y) {
        const int at = static_cast<int>(y);
        std::memcpy(image.Row(at), rows[y].data(), std::size_t{l.width} * 3);
        if (alpha)
            std::memcpy(image.AlphaRow(at), rows[y].data() + std::size_t{l.width} * 3, l.width);
        std::vector<std::uint8_t>().swap(rows[y]);
    }
    return true;
}

// Mirrors the picture into top-left order for the orientations that only flip it.
void ApplyOrientation(TIFF* tif, RasterImage& image) {
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    const bool flipX = orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT;
    const bool flipY = orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT;
    const int w = image.Width(), h = image.Height();
    if (flipY)
        for (int y = 0; y < h / 2; ++y) {
            std::swap_ranges(image.Row(y), image.Row(y) + std::size_t{3} * w, image.Row(h - 1 - y));
            if (image.HasAlpha())
                std::swap_ranges(image.AlphaRow(y), image.AlphaRow(y) + w,
                                 image.AlphaRow(h - 1 - y));
        }
    if (flipX)
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = image.Row(y);
            for (int x = 0; x < w / 2; ++x)
                std::swap_ranges(row + 3 * x, row + 3 * x + 3, row + 3 * (w - 1 - x));
            if (image.HasAlpha()) std::reverse(image.AlphaRow(y), image.AlphaRow(y) + w);
        }
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
    if (!StripDataCanFill(tif, data.size(), width, height, spp, bps, compression))
        return compression == COMPRESSION_NONE ? ImageError::Damaged : ImageError::Truncated;

    RasterImage image;
    const bool bilevel =
        bps == 1 && spp == 1 && !TIFFIsTiled(tif) &&
        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK);
    SampleLayout layout;
    layout.width = width;
    layout.height = height;
    bool ok;
    if (bilevel) {
        ok = ReadBilevel(tif, width, height, photometric == PHOTOMETRIC_MINISWHITE, image);
    } else if (DescribeSamples(tif, spp, bps, photometric, compression, &layout)) {
        ok = ReadSamples(tif, layout, image);
        if (ok) ApplyOrientation(tif, image);
    } else {
        ok = ReadThroughRgba(tif, width, height, image);
    }
    if (!ok) return ImageError::Damaged;

    FileParams& p = holder.Params;
    p.ImageWidth = static_cast<int>(width);
    p.ImageHeight = static_cast<int>(height);
    p.ChannelCount = spp;
    p.BitsPerChannel = std::min<int>(bps, 16);
    p.Palette = photometric == PHOTOMETRIC_PALETTE ? ReadColourMapOf(tif, bps) : std::vector<Rgb>{};
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
