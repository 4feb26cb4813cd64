// JPEG 2000 through OpenJPEG. The library reads from and writes to our own byte buffers
// through stream callbacks; its handles live in unique_ptrs, and its messages are dropped.

#include "imagefile/formats/jp2.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "imagefile/bytereader.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

// Grey, grey and alpha, colour, colour and alpha (or CMYK): anything wider is not a picture.
constexpr std::uint32_t kMaxComponents = 4;
constexpr std::uint32_t kBoxJp2Header = 0x6A703268;   // "jp2h"
constexpr std::uint32_t kBoxCodeStream = 0x6A703263;  // "jp2c"
constexpr std::uint32_t kBoxResolution = 0x72657320;  // "res "
constexpr std::uint32_t kBoxCaptureRes = 0x72657363;  // "resc"
constexpr std::uint32_t kBoxDisplayRes = 0x72657364;  // "resd"

bool ProbeJp2(std::span<const std::uint8_t> d) {
    static constexpr std::uint8_t kSignature[] = {0,   0,   0,  12, 'j',  'P',
                                                  ' ', ' ', 13, 10, 0x87, 10};
    return d.size() >= sizeof kSignature && std::equal(kSignature, kSignature + 12, d.begin());
}

bool ProbeJ2k(std::span<const std::uint8_t> d) {
    return d.size() >= 4 && d[0] == 0xFF && d[1] == 0x4F && d[2] == 0xFF && d[3] == 0x51;
}

// ---- boxes ----

struct Box {
    std::uint32_t type = 0;
    std::span<const std::uint8_t> content;
};

// The next box at the reader's position; false at the end or on a box that does not fit.
bool NextBox(ByteReader& r, Box* box) {
    if (r.remaining() < 8) return false;
    const std::uint64_t start = r.pos();
    std::uint64_t length = r.u32be();
    box->type = r.u32be();
    std::uint64_t header = 8;
    if (length == 1) {
        if (r.remaining() < 8) return false;
        length = static_cast<std::uint64_t>(r.u32be()) << 32;
        length |= r.u32be();
        header = 16;
    } else if (length == 0) {
        length = r.size() - start;
    }
    if (length < header || !r.has(start, length)) return false;
    box->content = r.at(start + header, length - header);
    return r.seek(start + length);
}

// Horizontal and vertical resolution of a "resc" or "resd" box in dots per inch.
bool ResolutionOf(std::span<const std::uint8_t> content, int* dpiX, int* dpiY) {
    ByteReader r(content);
    const double vn = r.u16be(), vd = r.u16be(), hn = r.u16be(), hd = r.u16be();
    const int ve = static_cast<std::int8_t>(r.u8()), he = static_cast<std::int8_t>(r.u8());
    if (!r.ok() || vd == 0 || hd == 0 || ve < -30 || ve > 30 || he < -30 || he > 30) return false;
    auto perMetre = [](double n, double d, int e) {
        double v = n / d;
        for (int i = 0; i < e; ++i) v *= 10;
        for (int i = 0; i > e; --i) v /= 10;
        return v;
    };
    *dpiX = DpiFromUnit(perMetre(hn, hd, he) / 100, true);
    *dpiY = DpiFromUnit(perMetre(vn, vd, ve) / 100, true);
    return *dpiX > 0 && *dpiY > 0;
}

// The resolution recorded in the file's header box: capture resolution first, else display.
bool Jp2Resolution(std::span<const std::uint8_t> file, int* dpiX, int* dpiY) {
    ByteReader top(file);
    Box box;
    while (NextBox(top, &box)) {
        if (box.type != kBoxJp2Header) continue;
        ByteReader header(box.content);
        Box inner;
        while (NextBox(header, &inner)) {
            if (inner.type != kBoxResolution) continue;
            ByteReader res(inner.content);
            Box part;
            bool found = false;
            while (NextBox(res, &part)) {
                if (part.type == kBoxCaptureRes && ResolutionOf(part.content, dpiX, dpiY))
                    return true;
                if (part.type == kBoxDisplayRes && !found)
                    found = ResolutionOf(part.content, dpiX, dpiY);
            }
            return found;
        }
        return false;
    }
    return false;
}

// ---- library handles ----

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
struct InfoDeleter {
    void operator()(opj_codestream_info_v2_t* i) const { opj_destroy_cstr_info(&i); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, CodecDeleter>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamDeleter>;
using ImagePtr = std::unique_ptr<opj_image_t, ImageDeleter>;
using InfoPtr = std::unique_ptr<opj_codestream_info_v2_t, InfoDeleter>;

void QuietMessage(const char*, void*) {}

// Quiet, and on the caller's thread only (the library would otherwise follow OPJ_NUM_THREADS).
void PrepareCodec(opj_codec_t* codec) {
    opj_set_info_handler(codec, QuietMessage, nullptr);
    opj_set_warning_handler(codec, QuietMessage, nullptr);
    opj_set_error_handler(codec, QuietMessage, nullptr);
    opj_codec_set_threads(codec, 0);
}

// ---- memory streams ----

struct MemoryInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

OPJ_SIZE_T ReadInput(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* in = static_cast<MemoryInput*>(user);
    const std::size_t left = in->size - in->pos;
    if (left == 0) return static_cast<OPJ_SIZE_T>(-1);
    const std::size_t k = std::min<std::size_t>(n, left);
    std::memcpy(buffer, in->data + in->pos, k);
    in->pos += k;
    return k;
}

OPJ_OFF_T SkipInput(OPJ_OFF_T n, void* user) {
    auto* in = static_cast<MemoryInput*>(user);
    if (n < 0 ? static_cast<std::uint64_t>(-n) > in->pos
              : static_cast<std::uint64_t>(n) > in->size - in->pos)
        return -1;
    in->pos = static_cast<std::size_t>(static_cast<OPJ_OFF_T>(in->pos) + n);
    return n;
}

OPJ_BOOL SeekInput(OPJ_OFF_T offset, void* user) {
    auto* in = static_cast<MemoryInput*>(user);
    if (offset < 0 || static_cast<std::uint64_t>(offset) > in->size) return OPJ_FALSE;
    in->pos = static_cast<std::size_t>(offset);
    return OPJ_TRUE;
}

StreamPtr MakeInputStream(MemoryInput* input) {
    StreamPtr stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
    if (!stream) return stream;
    opj_stream_set_read_function(stream.get(), ReadInput);
    opj_stream_set_skip_function(stream.get(), SkipInput);
    opj_stream_set_seek_function(stream.get(), SeekInput);
    opj_stream_set_user_data(stream.get(), input, nullptr);
    opj_stream_set_user_data_length(stream.get(), input->size);
    return stream;
}

// Bytes written land at base + pos of the vector; the encoder seeks back to patch lengths.
struct MemoryOutput {
    std::vector<std::uint8_t>* out;
    std::size_t base;
    std::size_t pos;
};

bool EnsureOutput(MemoryOutput* o, std::uint64_t end) {
    if (end > Limits::kMaxBufferBytes) return false;
    try {
        if (o->out->size() < o->base + end) o->out->resize(o->base + end);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

OPJ_SIZE_T WriteOutput(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* o = static_cast<MemoryOutput*>(user);
    if (!EnsureOutput(o, static_cast<std::uint64_t>(o->pos) + n))
        return static_cast<OPJ_SIZE_T>(-1);
    std::memcpy(o->out->data() + o->base + o->pos, buffer, n);
    o->pos += n;
    return n;
}

OPJ_OFF_T SkipOutput(OPJ_OFF_T n, void* user) {
    auto* o = static_cast<MemoryOutput*>(user);
    if (n < 0 && static_cast<std::uint64_t>(-n) > o->pos) return -1;
    const std::uint64_t target = static_cast<std::uint64_t>(static_cast<OPJ_OFF_T>(o->pos) + n);
    if (!EnsureOutput(o, target)) return -1;
    o->pos = static_cast<std::size_t>(target);
    return n;
}

OPJ_BOOL SeekOutput(OPJ_OFF_T offset, void* user) {
    auto* o = static_cast<MemoryOutput*>(user);
    if (offset < 0 || !EnsureOutput(o, static_cast<std::uint64_t>(offset))) return OPJ_FALSE;
    o->pos = static_cast<std::size_t>(offset);
    return OPJ_TRUE;
}

StreamPtr MakeOutputStream(MemoryOutput* output) {
    StreamPtr stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
    if (!stream) return stream;
    opj_stream_set_write_function(stream.get(), WriteOutput);
    opj_stream_set_skip_function(stream.get(), SkipOutput);
    opj_stream_set_seek_function(stream.get(), SeekOutput);
    opj_stream_set_user_data(stream.get(), output, nullptr);
    return stream;
}

// ---- reading ----

// The fewest resolution levels any component's coding style offers (1 when unknown).
std::uint32_t ResolutionLevels(opj_codec_t* codec, std::uint32_t components) {
    InfoPtr info(opj_get_cstr_info(codec));
    if (!info || !info->m_default_tile_info.tccp_info) return 1;
    std::uint32_t levels = 33;
    for (std::uint32_t c = 0; c < components && c < info->nbcomps; ++c)
        levels = std::min(levels, info->m_default_tile_info.tccp_info[c].numresolutions);
    return std::max<std::uint32_t>(levels, 1);
}

// The largest reduction that keeps the longer side at or above the hint.
std::uint32_t ReductionFor(const Jp2kHeaderInfo& info, int hint, std::uint32_t levels) {
    if (hint <= 0) return 0;
    const std::uint64_t longest = std::max(info.Width, info.Height);
    std::uint32_t reduce = 0;
    while (reduce + 1 < levels && reduce + 1 < 32) {
        const std::uint64_t scale = std::uint64_t{1} << (reduce + 1);
        if ((longest + scale - 1) / scale < static_cast<std::uint64_t>(hint)) break;
        ++reduce;
    }
    return reduce;
}

// Decodes the whole picture, at a reduced resolution when the hint allows; null on failure.
ImagePtr Decode(std::span<const std::uint8_t> data, OPJ_CODEC_FORMAT format,
                const Jp2kHeaderInfo& info, int hint) {
    CodecPtr codec(opj_create_decompress(format));
    if (!codec) return nullptr;
    PrepareCodec(codec.get());
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(codec.get(), &params)) return nullptr;

    MemoryInput input{data.data(), data.size(), 0};
    StreamPtr stream = MakeInputStream(&input);
    if (!stream) return nullptr;
    opj_image_t* raw = nullptr;
    const bool headerRead = opj_read_header(stream.get(), codec.get(), &raw);
    ImagePtr image(raw);
    if (!headerRead || !image || image->numcomps != info.Components ||
        image->x1 - image->x0 != info.Width || image->y1 - image->y0 != info.Height)
        return nullptr;

    std::uint32_t reduce = ReductionFor(info, hint, ResolutionLevels(codec.get(), info.Components));
    if (reduce > 0 && !opj_set_decoded_resolution_factor(codec.get(), reduce)) reduce = 0;
    std::uint64_t pixels = (static_cast<std::uint64_t>(info.Width) >> reduce) + 1;
    std::uint64_t bytes = 0;
    if (!CheckedMul(pixels, (static_cast<std::uint64_t>(info.Height) >> reduce) + 1, &pixels) ||
        !CheckedMul(pixels, std::uint64_t{info.Components} * sizeof(OPJ_INT32), &bytes) ||
        bytes > Limits::kMaxBufferBytes)
        return nullptr;
    if (!opj_decode(codec.get(), stream.get(), image.get()) ||
        !opj_end_decompress(codec.get(), stream.get()))
        return nullptr;
    return image;
}

// One component's samples as 0..255.
struct Channel {
    const opj_image_comp_t* comp = nullptr;
    int shift = 0;        // right shift for precisions above 8
    std::int32_t offset;  // added to signed samples
    std::uint32_t maxValue;
};

Channel ChannelOf(const opj_image_comp_t& comp) {
    Channel c;
    c.comp = &comp;
    const int prec = static_cast<int>(std::clamp<OPJ_UINT32>(comp.prec, 1, 31));
    c.shift = prec > 8 ? prec - 8 : 0;
    c.offset = comp.sgnd ? std::int32_t{1} << (prec - 1) : 0;
    c.maxValue = prec > 8 ? 255u : (1u << prec) - 1;
    return c;
}

// Sample of the component at the picture's pixel (x, y) of a width × height picture.
std::uint8_t SampleAt(const Channel& c, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                      std::uint32_t height) {
    const opj_image_comp_t& comp = *c.comp;
    const std::uint32_t cx =
        comp.w == width ? x
                        : std::min<std::uint64_t>(std::uint64_t{x} * comp.w / width, comp.w - 1);
    const std::uint32_t cy =
        comp.h == height ? y
                         : std::min<std::uint64_t>(std::uint64_t{y} * comp.h / height, comp.h - 1);
    std::int64_t v = static_cast<std::int64_t>(comp.data[std::size_t{cy} * comp.w + cx]) + c.offset;
    v = std::max<std::int64_t>(v, 0) >> c.shift;
    return ScaleToByte(static_cast<std::uint32_t>(std::min<std::int64_t>(v, c.maxValue)),
                       c.maxValue);
}

std::uint8_t ClampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
}

bool ToRaster(const opj_image_t& img, RasterImage* out) {
    const std::uint32_t n = img.numcomps;
    if (n == 0 || n > kMaxComponents || !img.comps) return false;
    const std::uint32_t width = img.comps[0].w, height = img.comps[0].h;
    if (!ImageSizeAllowed(width, height)) return false;
    Channel ch[kMaxComponents];
    for (std::uint32_t c = 0; c < n; ++c) {
        if (!img.comps[c].data || img.comps[c].w == 0 || img.comps[c].h == 0) return false;
        ch[c] = ChannelOf(img.comps[c]);
    }
    const bool cmyk = n == 4 && img.color_space == OPJ_CLRSPC_CMYK;
    const bool colour = n >= 3;
    // A bare code stream names no colour space; sub-sampled chroma means YCbCr.
    const bool unnamed =
        img.color_space == OPJ_CLRSPC_UNKNOWN || img.color_space == OPJ_CLRSPC_UNSPECIFIED;
    const bool subsampled = colour && (img.comps[1].dx > 1 || img.comps[1].dy > 1 ||
                                       img.comps[2].dx > 1 || img.comps[2].dy > 1);
    const bool ycc = colour && (img.color_space == OPJ_CLRSPC_SYCC || (unnamed && subsampled));
    const bool alpha = !cmyk && (n == 2 || n == 4);

    if (n == 1 && img.comps[0].prec == 1) {  // black and white
        if (!out->Allocate(static_cast<int>(width), static_cast<int>(height), PixelFormat::ie1g))
            return false;
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                if (SampleAt(ch[0], x, y, width, height) >= 128)
                    out->Row(static_cast<int>(y))[x >> 3] |=
                        static_cast<std::uint8_t>(0x80 >> (x & 7));
        return true;
    }
    if (!out->Allocate(static_cast<int>(width), static_cast<int>(height), PixelFormat::ie24RGB))
        return false;
    if (alpha) out->AddAlpha();
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = out->Row(static_cast<int>(y));
        std::uint8_t* alphaRow = alpha ? out->AlphaRow(static_cast<int>(y)) : nullptr;
        for (std::uint32_t x = 0; x < width; ++x, row += 3) {
            std::uint8_t r, g, b;
            const std::uint8_t s0 = SampleAt(ch[0], x, y, width, height);
            if (!colour) {
                r = g = b = s0;
            } else {
                const std::uint8_t s1 = SampleAt(ch[1], x, y, width, height);
                const std::uint8_t s2 = SampleAt(ch[2], x, y, width, height);
                if (ycc) {
                    const double cb = s1 - 128.0, cr = s2 - 128.0;
                    r = ClampByte(s0 + 1.402 * cr);
                    g = ClampByte(s0 - 0.344136 * cb - 0.714136 * cr);
                    b = ClampByte(s0 + 1.772 * cb);
                } else if (cmyk) {
                    const unsigned k = 255u - SampleAt(ch[3], x, y, width, height);
                    r = static_cast<std::uint8_t>((255u - s0) * k / 255);
                    g = static_cast<std::uint8_t>((255u - s1) * k / 255);
                    b = static_cast<std::uint8_t>((255u - s2) * k / 255);
                } else {
                    r = s0, g = s1, b = s2;
                }
            }
            row[0] = b, row[1] = g, row[2] = r;
            if (alphaRow) alphaRow[x] = SampleAt(ch[n - 1], x, y, width, height);
        }
    }
    return true;
}

// The code stream's SIZ segment, checked against the limits before OpenJPEG sees the data.
ImageError ReadSiz(std::span<const std::uint8_t> data, bool boxed, Jp2kHeaderInfo& info) {
    const std::span<const std::uint8_t> codeStream = boxed ? FindJp2CodeStream(data) : data;
    if (!ReadJ2kSizHeader(codeStream, &info)) return ImageError::Damaged;
    if (!ImageSizeAllowed(info.Width, info.Height) || info.Components == 0 ||
        info.Components > kMaxComponents || info.Tiles > Limits::kMaxTiles)
        return ImageError::TooLarge;
    return ImageError::None;
}

ImageError ReadJpeg2000(ImageHolder& holder, std::span<const std::uint8_t> data,
                        const ReadOptions& options, bool boxed) {
    Jp2kHeaderInfo info;
    if (const ImageError e = ReadSiz(data, boxed, info); e != ImageError::None) return e;
    // Counted in samples: the decoder holds every component of the picture at 4 bytes each.
    const std::span<const std::uint8_t> codeStream = boxed ? FindJp2CodeStream(data) : data;
    if (!DataCanFill(std::int64_t{info.Width} * info.Components, info.Height, codeStream.size(),
                     MaxRatio::kJpeg2000))
        return ImageError::Damaged;

    const OPJ_CODEC_FORMAT format = boxed ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K;
    ImagePtr image = Decode(data, format, info, options.DisplaySizeHint);
    // A tile may offer fewer resolution levels than the main header promised.
    if (!image && options.DisplaySizeHint > 0) image = Decode(data, format, info, 0);
    if (!image) return ImageError::Damaged;
    RasterImage raster;
    if (!ToRaster(*image, &raster)) return ImageError::Damaged;

    holder.Image = std::move(raster);
    FileParams& p = holder.Params;
    p.ImageWidth = static_cast<int>(info.Width);
    p.ImageHeight = static_cast<int>(info.Height);
    p.ChannelCount = static_cast<int>(info.Components);
    p.BitsPerChannel = std::clamp(info.Precision, 1, 16);
    int dpiX = 0, dpiY = 0;
    if (!boxed || !Jp2Resolution(data, &dpiX, &dpiY)) dpiX = dpiY = 300;
    p.HorizontalDpi = dpiX;
    p.VerticalDpi = dpiY;
    p.Palette.clear();
    p.PaletteCount = 0;
    return ImageError::None;
}

ImageError ReadJp2(ImageHolder& holder, std::span<const std::uint8_t> data,
                   const ReadOptions& options) {
    return ReadJpeg2000(holder, data, options, true);
}

ImageError ReadJ2k(ImageHolder& holder, std::span<const std::uint8_t> data,
                   const ReadOptions& options) {
    return ReadJpeg2000(holder, data, options, false);
}

// The SIZ segment of the code stream. Four components are colour and alpha unless a JP2 file
// names them CMYK, which only OpenJPEG's reading of the boxes tells reliably: that case reads.
ImageError InfoJpeg2000(std::span<const std::uint8_t> data, ImageInfo& info, bool boxed) {
    Jp2kHeaderInfo siz;
    if (const ImageError e = ReadSiz(data, boxed, siz); e != ImageError::None) return e;
    if (boxed && siz.Components == 4) {
        ImageHolder holder;
        if (const ImageError e = ReadJpeg2000(holder, data, {}, true); e != ImageError::None)
            return e;
        info = InfoOfRead(holder);
        return ImageError::None;
    }
    info.Width = static_cast<int>(siz.Width);
    info.Height = static_cast<int>(siz.Height);
    info.ChannelCount = static_cast<int>(siz.Components);
    info.BitsPerChannel = std::clamp(siz.Precision, 1, 16);
    info.HasAlpha = siz.Components == 2 || siz.Components == 4;
    return ImageError::None;
}

ImageError InfoJp2(std::span<const std::uint8_t> data, ImageInfo& info) {
    return InfoJpeg2000(data, info, true);
}

ImageError InfoJ2k(std::span<const std::uint8_t> data, ImageInfo& info) {
    return InfoJpeg2000(data, info, false);
}

// ---- writing ----

// Lossless (reversible wavelet, one layer), 8 bits per sample; grey when the holder declares
// one channel and the picture has no colour, alpha when any pixel is not opaque.
ImageError WriteJpeg2000(ImageHolder& holder, std::vector<std::uint8_t>& out, bool boxed) {
    if (holder.Image.Empty()) return ImageError::CannotEncode;
    RasterImage storage;
    const RasterImage& rgb = AsRgb24(holder.Image, storage);
    const std::uint32_t width = static_cast<std::uint32_t>(rgb.Width());
    const std::uint32_t height = static_cast<std::uint32_t>(rgb.Height());
    const bool alpha = rgb.HasAlpha() && !rgb.AlphaAllOpaque();
    const bool grey = holder.Params.ChannelCount <= 2 && AllPixelsGrey(rgb);
    const std::uint32_t colours = grey ? 1 : 3;
    const std::uint32_t n = colours + (alpha ? 1 : 0);
    std::uint64_t sampleBytes = 0;
    if (!CheckedMul(std::uint64_t{width} * height, n * sizeof(OPJ_INT32), &sampleBytes) ||
        sampleBytes > Limits::kMaxBufferBytes)
        return ImageError::CannotEncode;

    opj_image_cmptparm_t parms[kMaxComponents];
    std::memset(parms, 0, sizeof parms);
    for (std::uint32_t c = 0; c < n; ++c) {
        parms[c].dx = parms[c].dy = 1;
        parms[c].w = width;
        parms[c].h = height;
        parms[c].prec = 8;
    }
    ImagePtr image(opj_image_create(n, parms, grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
    if (!image) return ImageError::CannotEncode;
    image->x0 = image->y0 = 0;
    image->x1 = width;
    image->y1 = height;
    if (alpha) image->comps[n - 1].alpha = 1;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* p = rgb.Row(static_cast<int>(y));
        const std::size_t at = std::size_t{y} * width;
        for (std::uint32_t x = 0; x < width; ++x, p += 3) {
            if (grey) {
                image->comps[0].data[at + x] = p[0];
            } else {
                image->comps[0].data[at + x] = p[2];
                image->comps[1].data[at + x] = p[1];
                image->comps[2].data[at + x] = p[0];
            }
            if (alpha) image->comps[n - 1].data[at + x] = rgb.AlphaRow(static_cast<int>(y))[x];
        }
    }

    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.tcp_numlayers = 1;
    params.tcp_rates[0] = 0;  // lossless
    params.cp_disto_alloc = 1;
    params.irreversible = 0;
    params.tcp_mct = colours == 3 ? 1 : 0;
    // Every resolution level needs at least one pixel on the shorter side.
    int levels = 1;
    while (levels < 6 && (std::min(width, height) >> levels) > 0) ++levels;
    params.numresolution = levels;

    CodecPtr codec(opj_create_compress(boxed ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!codec) return ImageError::CannotEncode;
    PrepareCodec(codec.get());
    if (!opj_setup_encoder(codec.get(), &params, image.get())) return ImageError::CannotEncode;
    const std::size_t start = out.size();
    MemoryOutput output{&out, start, 0};
    StreamPtr stream = MakeOutputStream(&output);
    const bool ok = stream && opj_start_compress(codec.get(), image.get(), stream.get()) &&
                    opj_encode(codec.get(), stream.get()) &&
                    opj_end_compress(codec.get(), stream.get());
    if (!ok) out.resize(start);
    return ok ? ImageError::None : ImageError::EncoderFailed;
}

ImageError WriteJp2(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    return WriteJpeg2000(holder, out, true);
}

ImageError WriteJ2k(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    return WriteJpeg2000(holder, out, false);
}

}  // namespace

bool ReadJ2kSizHeader(std::span<const std::uint8_t> codeStream, Jp2kHeaderInfo* info) {
    ByteReader r(codeStream);
    if (r.u16be() != 0xFF4F || r.u16be() != 0xFF51) return false;
    const std::uint32_t length = r.u16be();
    r.u16be();  // capabilities
    const std::uint32_t xsiz = r.u32be(), ysiz = r.u32be(), xo = r.u32be(), yo = r.u32be();
    const std::uint32_t xt = r.u32be(), yt = r.u32be(), xto = r.u32be(), yto = r.u32be();
    const std::uint32_t components = r.u16be();
    if (!r.ok() || components == 0 || length != 38 + 3 * components) return false;
    if (xsiz <= xo || ysiz <= yo || xt == 0 || yt == 0 || xto > xo || yto > yo ||
        std::uint64_t{xto} + xt <= xo || std::uint64_t{yto} + yt <= yo)
        return false;
    const std::uint8_t depth = r.u8();
    if (r.u8() == 0 || r.u8() == 0) return false;  // sub-sampling of the first component
    if (!r.ok()) return false;
    info->Width = xsiz - xo;
    info->Height = ysiz - yo;
    info->Components = components;
    info->Tiles =
        ((std::uint64_t{xsiz} - xto + xt - 1) / xt) * ((std::uint64_t{ysiz} - yto + yt - 1) / yt);
    info->Precision = (depth & 0x7F) + 1;
    return true;
}

ImageError DecodeJ2kSamples(std::span<const std::uint8_t> codeStream, Jp2kSamples* out) {
    Jp2kHeaderInfo info;
    if (!ReadJ2kSizHeader(codeStream, &info)) return ImageError::Damaged;
    if (!ImageSizeAllowed(info.Width, info.Height) || info.Components == 0 ||
        info.Components > kMaxComponents || info.Tiles > Limits::kMaxTiles)
        return ImageError::TooLarge;
    ImagePtr image = Decode(codeStream, OPJ_CODEC_J2K, info, 0);
    if (!image || image->numcomps != info.Components || !image->comps) return ImageError::Damaged;
    const opj_image_comp_t& first = image->comps[0];
    for (std::uint32_t c = 0; c < image->numcomps; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (!comp.data || comp.w != info.Width || comp.h != info.Height ||
            comp.prec != first.prec || comp.sgnd != first.sgnd || comp.prec == 0 || comp.prec > 16)
            return ImageError::Damaged;
    }
    const std::size_t pixels = std::size_t{info.Width} * info.Height;
    out->Width = info.Width;
    out->Height = info.Height;
    out->Components = info.Components;
    out->Precision = static_cast<int>(first.prec);
    out->Signed = first.sgnd != 0;
    out->Values.resize(pixels * info.Components);
    for (std::uint32_t c = 0; c < info.Components; ++c) {
        const OPJ_INT32* src = image->comps[c].data;
        for (std::size_t i = 0; i < pixels; ++i) out->Values[i * info.Components + c] = src[i];
    }
    return ImageError::None;
}

std::span<const std::uint8_t> FindJp2CodeStream(std::span<const std::uint8_t> file) {
    ByteReader r(file);
    Box box;
    while (NextBox(r, &box))
        if (box.type == kBoxCodeStream) return box.content;
    return {};
}

const FormatCodec kJp2Codec{ProbeJp2, ReadJp2, WriteJp2, InfoJp2};
const FormatCodec kJ2kCodec{ProbeJ2k, ReadJ2k, WriteJ2k, InfoJ2k};

}  // namespace gw
