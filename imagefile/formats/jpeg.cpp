// JPEG through libjpeg (6b interface, libjpeg-turbo). The library reports errors by longjmp:
// every setjmp sits in a small function working on the plain library structures only.

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "imagefile/formats/codec.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

bool ProbeJpeg(std::span<const std::uint8_t> data) {
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}
void JpegOutputMessage(j_common_ptr) {}

void JpegProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    const std::uint64_t visits =
        std::uint64_t(d->input_scan_number) * d->image_width * std::uint64_t{d->image_height};
    if (d->input_scan_number > Limits::kMaxScans || visits > Limits::kMaxScanPixels)
        JpegErrorExit(cinfo);
}

JpegErrorManager* InitErrors(JpegErrorManager* err) {
    jpeg_std_error(&err->pub);
    err->pub.error_exit = JpegErrorExit;
    err->pub.output_message = JpegOutputMessage;
    return err;
}

// ---- reading ----

class JpegDecompressor {
  public:
    JpegDecompressor() {
        std::memset(&cinfo_, 0, sizeof cinfo_);
        cinfo_.err = jpeg_std_error(&errors_.pub);
        progress_.progress_monitor = JpegProgress;
    }
    ~JpegDecompressor() {
        if (created_) jpeg_destroy_decompress(&cinfo_);
    }
    JpegDecompressor(const JpegDecompressor&) = delete;
    JpegDecompressor& operator=(const JpegDecompressor&) = delete;

    jpeg_decompress_struct cinfo_;
    JpegErrorManager errors_;
    jpeg_progress_mgr progress_;
    bool created_ = false;
};

bool JpegReadHeader(JpegDecompressor* d, const std::uint8_t* data, std::size_t size) {
    j_decompress_ptr cinfo = &d->cinfo_;
    cinfo->err = &InitErrors(&d->errors_)->pub;
    if (setjmp(d->errors_.jump)) return false;
    jpeg_create_decompress(cinfo);
    d->created_ = true;
    cinfo->progress = &d->progress_;
    cinfo->mem->max_memory_to_use = static_cast<long>(Limits::kMaxBufferBytes);
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    return jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
}

bool JpegPrepareOutput(JpegDecompressor* d, J_COLOR_SPACE out, unsigned denom) {
    j_decompress_ptr cinfo = &d->cinfo_;
    if (setjmp(d->errors_.jump)) return false;
    cinfo->out_color_space = out;
    cinfo->scale_num = 1;
    cinfo->scale_denom = denom;
    cinfo->dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(cinfo);
    return true;
}

bool JpegDecodeRows(JpegDecompressor* d, JSAMPROW* rows, JDIMENSION width, JDIMENSION height,
                    int components) {
    j_decompress_ptr cinfo = &d->cinfo_;
    if (setjmp(d->errors_.jump)) return false;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_width != width || cinfo->output_height != height ||
        cinfo->output_components != components)
        return false;
    while (cinfo->output_scanline < height) {
        JDIMENSION before = cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, rows + before, height - before);
        if (cinfo->output_scanline == before) return false;
    }
    return true;
}

// The standard luminance table (natural order) that quality settings scale.
constexpr int kStdLuminance[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                   58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                   22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                   77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                   103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};

// The quality whose scaled standard table is nearest to the file's luminance table.
int EstimateQuality(const JQUANT_TBL* table) {
    if (!table) return 0;
    int best = 0;
    long bestError = -1;
    for (int q = 1; q <= 100; ++q) {
        long scale = q < 50 ? 5000 / q : 200 - 2 * q;
        long error = 0;
        for (int i = 0; i < 64; ++i) {
            long v = std::clamp((kStdLuminance[i] * scale + 50) / 100, 1L, 255L);
            error += std::labs(v - static_cast<long>(table->quantval[i]));
        }
        if (bestError < 0 || error <= bestError) bestError = error, best = q;
    }
    return best;
}

unsigned ScaleDenominator(JDIMENSION width, JDIMENSION height, int hint) {
    if (hint <= 0) return 1;
    const std::uint64_t longest = std::max(width, height);
    unsigned denom = 8;
    while (denom > 1 && (longest + denom - 1) / denom < static_cast<std::uint64_t>(hint))
        denom /= 2;
    return denom;
}

void CmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, std::size_t width, bool inverted) {
    for (std::size_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

FileParams::JpegColorSpace ColorSpaceOf(J_COLOR_SPACE space) {
    switch (space) {
        case JCS_GRAYSCALE:
            return FileParams::JpegColorSpace::Gray;
        case JCS_RGB:
            return FileParams::JpegColorSpace::RGB;
        case JCS_CMYK:
            return FileParams::JpegColorSpace::CMYK;
        case JCS_YCCK:
            return FileParams::JpegColorSpace::YCbCrK;
        default:
            return FileParams::JpegColorSpace::YCbCr;
    }
}

// jpeg_read_header stops before the first scan: the frame header gives size and components.
ImageError InfoJpeg(std::span<const std::uint8_t> data, ImageInfo& info) {
    if (data.size() < 4) return ImageError::Truncated;
    JpegDecompressor d;
    if (!JpegReadHeader(&d, data.data(), data.size())) return ImageError::Truncated;
    const jpeg_decompress_struct& cinfo = d.cinfo_;
    if (!ImageSizeAllowed(cinfo.image_width, cinfo.image_height)) return ImageError::TooLarge;
    info.Width = static_cast<int>(cinfo.image_width);
    info.Height = static_cast<int>(cinfo.image_height);
    info.BitsPerChannel = 8;
    info.ChannelCount = cinfo.num_components;
    return ImageError::None;
}

ImageError ReadJpeg(ImageHolder& holder, std::span<const std::uint8_t> data,
                    const ReadOptions& options) {
    if (data.size() < 4) return ImageError::Truncated;
    JpegDecompressor d;
    if (!JpegReadHeader(&d, data.data(), data.size())) return ImageError::Truncated;
    jpeg_decompress_struct& cinfo = d.cinfo_;
    if (!ImageSizeAllowed(cinfo.image_width, cinfo.image_height)) return ImageError::TooLarge;
    // Every 8 × 8 block takes at least a bit of the data after the header.
    const std::uint64_t coded = cinfo.src ? cinfo.src->bytes_in_buffer : 0;
    if (!DataCanFill(cinfo.image_width, cinfo.image_height, coded, MaxRatio::kJpeg))
        return ImageError::Damaged;

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    const unsigned denom =
        ScaleDenominator(cinfo.image_width, cinfo.image_height, options.DisplaySizeHint);
    if (!JpegPrepareOutput(&d, cmyk ? JCS_CMYK : JCS_EXT_BGR, denom)) return ImageError::Damaged;
    const JDIMENSION width = cinfo.output_width, height = cinfo.output_height;
    // One decode spends at most kMaxBufferBytes: the image, the CMYK rows and libjpeg's own
    // buffers together. A progressive file buffers all its coefficients, several bytes a pixel,
    // so a tiny file declaring a large picture would otherwise take gigabytes.
    const std::uint64_t pixels = std::uint64_t{width} * height;
    const std::uint64_t ours =
        RasterImage::StrideFor(PixelFormat::ie24RGB, static_cast<int>(width)) *
            std::uint64_t{height} +
        (cmyk ? 4 * pixels : 0);
    if (ours >= Limits::kMaxBufferBytes) return ImageError::TooLarge;
    cinfo.mem->max_memory_to_use = static_cast<long>(Limits::kMaxBufferBytes - ours);
    RasterImage image;
    if (!image.Allocate(static_cast<int>(width), static_cast<int>(height), PixelFormat::ie24RGB))
        return ImageError::TooLarge;

    std::vector<std::uint8_t> cmykRows;
    std::vector<JSAMPROW> rows(height);
    if (cmyk) {
        cmykRows.resize(static_cast<std::size_t>(width) * 4 * height);
        for (JDIMENSION y = 0; y < height; ++y)
            rows[y] = cmykRows.data() + static_cast<std::size_t>(width) * 4 * y;
    } else {
        for (JDIMENSION y = 0; y < height; ++y) rows[y] = image.Row(static_cast<int>(y));
    }
    if (!JpegDecodeRows(&d, rows.data(), width, height, cmyk ? 4 : 3)) return ImageError::Damaged;
    if (cmyk)
        for (JDIMENSION y = 0; y < height; ++y)
            CmykToBgr(rows[y], image.Row(static_cast<int>(y)), width, cinfo.saw_Adobe_marker);

    FileParams& p = holder.Params;
    p.ImageWidth = static_cast<int>(cinfo.image_width);
    p.ImageHeight = static_cast<int>(cinfo.image_height);
    p.BitsPerChannel = 8;
    p.ChannelCount = cinfo.num_components;
    p.Palette.clear();
    p.PaletteCount = 0;
    int dpiX = 0, dpiY = 0;
    if (cinfo.density_unit == 1 || cinfo.density_unit == 2) {
        dpiX = DpiFromUnit(cinfo.X_density, cinfo.density_unit == 2);
        dpiY = DpiFromUnit(cinfo.Y_density, cinfo.density_unit == 2);
    }
    p.HorizontalDpi = dpiX > 0 ? dpiX : 300;
    p.VerticalDpi = dpiY > 0 ? dpiY : 300;
    if (int quality = EstimateQuality(cinfo.quant_tbl_ptrs[0])) p.JPEG_Quality = quality;
    p.JPEG_ColorSpace = ColorSpaceOf(cinfo.jpeg_color_space);
    if (cinfo.num_components > 0) {
        p.JPEG_ChromaH = cinfo.comp_info[0].h_samp_factor;
        p.JPEG_ChromaV = cinfo.comp_info[0].v_samp_factor;
    }
    p.JPEG_Progressive = cinfo.progressive_mode != 0;
    holder.Image = std::move(image);
    return ImageError::None;
}

// ---- writing ----

class JpegCompressor {
  public:
    JpegCompressor() {
        std::memset(&cinfo_, 0, sizeof cinfo_);
        cinfo_.err = jpeg_std_error(&errors_.pub);
    }
    ~JpegCompressor() {
        if (created_) jpeg_destroy_compress(&cinfo_);
        std::free(buffer_);
    }
    JpegCompressor(const JpegCompressor&) = delete;
    JpegCompressor& operator=(const JpegCompressor&) = delete;

    jpeg_compress_struct cinfo_;
    JpegErrorManager errors_;
    bool created_ = false;
    unsigned char* buffer_ = nullptr;  // owned; allocated by the memory destination
    unsigned long size_ = 0;
};

struct JpegSettings {
    JDIMENSION width, height;
    int quality, chromaH, chromaV, smoothing;
    J_DCT_METHOD dct;
    bool optimize, progressive;
    UINT16 densityX, densityY;
};

bool JpegEncode(JpegCompressor* c, const JpegSettings* s, JSAMPROW* rows) {
    j_compress_ptr cinfo = &c->cinfo_;
    cinfo->err = &InitErrors(&c->errors_)->pub;
    if (setjmp(c->errors_.jump)) return false;
    jpeg_create_compress(cinfo);
    c->created_ = true;
    jpeg_mem_dest(cinfo, &c->buffer_, &c->size_);
    cinfo->image_width = s->width;
    cinfo->image_height = s->height;
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_colorspace(cinfo, JCS_YCbCr);
    jpeg_set_quality(cinfo, s->quality, TRUE);
    cinfo->comp_info[0].h_samp_factor = s->chromaH;
    cinfo->comp_info[0].v_samp_factor = s->chromaV;
    for (int i = 1; i < cinfo->num_components; ++i)
        cinfo->comp_info[i].h_samp_factor = cinfo->comp_info[i].v_samp_factor = 1;
    cinfo->dct_method = s->dct;
    cinfo->optimize_coding = s->optimize ? TRUE : FALSE;
    cinfo->smoothing_factor = s->smoothing;
    if (s->progressive) jpeg_simple_progression(cinfo);
    cinfo->write_JFIF_header = TRUE;
    cinfo->density_unit = 1;
    cinfo->X_density = s->densityX;
    cinfo->Y_density = s->densityY;
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < s->height)
        jpeg_write_scanlines(cinfo, rows + cinfo->next_scanline, s->height - cinfo->next_scanline);
    jpeg_finish_compress(cinfo);
    return true;
}

UINT16 Density(int dpi) {
    return static_cast<UINT16>(dpi <= 0 ? 300 : std::min(dpi, 65535));
}

J_DCT_METHOD DctMethod(FileParams::JpegDct m) {
    switch (m) {
        case FileParams::JpegDct::FastInteger:
            return JDCT_IFAST;
        case FileParams::JpegDct::Float:
            return JDCT_FLOAT;
        default:
            return JDCT_ISLOW;
    }
}

ImageError WriteJpeg(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    if (holder.Image.Empty()) return ImageError::CannotEncode;
    RasterImage converted;
    const RasterImage* image = &holder.Image;
    if (image->Format() != PixelFormat::ie24RGB) {
        converted = image->ToRgb24();
        if (converted.Empty()) return ImageError::CannotEncode;
        image = &converted;
    }
    const FileParams& p = holder.Params;
    JpegSettings s{};
    s.width = static_cast<JDIMENSION>(image->Width());
    s.height = static_cast<JDIMENSION>(image->Height());
    s.quality = std::clamp(p.JPEG_Quality, 1, 100);
    s.chromaH = std::clamp(p.JPEG_ChromaH, 1, 4);
    s.chromaV = std::clamp(p.JPEG_ChromaV, 1, 4);
    s.smoothing = std::clamp(p.JPEG_Smooth, 0, 100);
    s.dct = DctMethod(p.JPEG_DCTMethod);
    s.optimize = p.JPEG_OptimalHuffman;
    s.progressive = p.JPEG_Progressive;
    s.densityX = Density(p.HorizontalDpi);
    s.densityY = Density(p.VerticalDpi);
    std::vector<JSAMPROW> rows(s.height);
    for (JDIMENSION y = 0; y < s.height; ++y)
        rows[y] = const_cast<JSAMPROW>(image->Row(static_cast<int>(y)));
    JpegCompressor c;
    if (!JpegEncode(&c, &s, rows.data())) return ImageError::CannotEncode;
    out.insert(out.end(), c.buffer_, c.buffer_ + c.size_);
    return ImageError::None;
}

}  // namespace

const FormatCodec kJpegCodec{ProbeJpeg, ReadJpeg, WriteJpeg, InfoJpeg};

}  // namespace gw
