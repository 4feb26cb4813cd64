#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "imagefile/formats/codec.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

// libjpeg used directly, independent of the codec under test, to make fixtures and to
// inspect what the writer produced.
struct RefErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
[[noreturn]] void RefExit(j_common_ptr c) {
    std::longjmp(reinterpret_cast<RefErrors*>(c->err)->jump, 1);
}
void RefQuiet(j_common_ptr) {}

struct RefEncodeSettings {
    int width, height, components;  // 1 grey, 3 YCbCr from RGB, 4 CMYK with an Adobe marker
    int quality;
    bool progressive;
    int densityUnit, densityX, densityY;
    int chromaH, chromaV;
};

bool RefEncodeRaw(const RefEncodeSettings* s, const unsigned char* pixels, unsigned char** buffer,
                  unsigned long* size) {
    jpeg_compress_struct c;
    RefErrors e;
    c.err = jpeg_std_error(&e.pub);
    e.pub.error_exit = RefExit;
    e.pub.output_message = RefQuiet;
    if (setjmp(e.jump)) {
        jpeg_destroy_compress(&c);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, buffer, size);
    c.image_width = s->width;
    c.image_height = s->height;
    c.input_components = s->components;
    c.in_color_space = s->components == 1 ? JCS_GRAYSCALE : s->components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    if (s->components == 4) c.write_Adobe_marker = TRUE;
    jpeg_set_quality(&c, s->quality, TRUE);
    if (s->components == 3) {
        c.comp_info[0].h_samp_factor = s->chromaH;
        c.comp_info[0].v_samp_factor = s->chromaV;
    }
    if (s->progressive) jpeg_simple_progression(&c);
    c.density_unit = static_cast<UINT8>(s->densityUnit);
    c.X_density = static_cast<UINT16>(s->densityX);
    c.Y_density = static_cast<UINT16>(s->densityY);
    jpeg_start_compress(&c, TRUE);
    const std::size_t stride = static_cast<std::size_t>(s->width) * s->components;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + stride * c.next_scanline);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

std::vector<std::uint8_t> RefEncode(RefEncodeSettings s, const std::vector<std::uint8_t>& pixels) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    bool ok = RefEncodeRaw(&s, pixels.data(), &buffer, &size);
    std::vector<std::uint8_t> out;
    if (ok) out.assign(buffer, buffer + size);
    std::free(buffer);
    return out;
}

RefEncodeSettings Settings(int w, int h, int components = 3, int quality = 75) {
    return {w, h, components, quality, false, 0, 1, 1, 2, 2};
}

std::vector<std::uint8_t> RgbPixels(const RasterImage& image) {
    std::vector<std::uint8_t> v;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            Rgb c = image.PixelRgb(x, y);
            v.insert(v.end(), {c.r, c.g, c.b});
        }
    return v;
}

struct RefInfo {
    bool ok = false;
    int width = 0, height = 0, components = 0;
    J_COLOR_SPACE space = JCS_UNKNOWN;
    int samp[3][2] = {};
    bool progressive = false, jfif = false;
    int unit = 0, dx = 0, dy = 0;
    int q0 = 0;
    std::vector<std::uint8_t> rgb;
};

bool RefDecodeRaw(const unsigned char* data, unsigned long size, RefInfo* info,
                  unsigned char* (*alloc)(RefInfo*, std::size_t)) {
    jpeg_decompress_struct d;
    RefErrors e;
    d.err = jpeg_std_error(&e.pub);
    e.pub.error_exit = RefExit;
    e.pub.output_message = RefQuiet;
    if (setjmp(e.jump)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data, size);
    jpeg_read_header(&d, TRUE);
    info->width = static_cast<int>(d.image_width);
    info->height = static_cast<int>(d.image_height);
    info->components = d.num_components;
    info->space = d.jpeg_color_space;
    for (int i = 0; i < d.num_components && i < 3; ++i) {
        info->samp[i][0] = d.comp_info[i].h_samp_factor;
        info->samp[i][1] = d.comp_info[i].v_samp_factor;
    }
    info->progressive = d.progressive_mode;
    info->jfif = d.saw_JFIF_marker;
    info->unit = d.density_unit;
    info->dx = d.X_density;
    info->dy = d.Y_density;
    info->q0 = d.quant_tbl_ptrs[0] ? d.quant_tbl_ptrs[0]->quantval[0] : 0;
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    unsigned char* out =
        alloc(info, static_cast<std::size_t>(d.output_width) * 3 * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out + static_cast<std::size_t>(d.output_width) * 3 * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

RefInfo RefDecode(const std::vector<std::uint8_t>& jpeg) {
    RefInfo info;
    info.ok = RefDecodeRaw(jpeg.data(), static_cast<unsigned long>(jpeg.size()), &info,
                           [](RefInfo* i, std::size_t n) {
                               i->rgb.resize(n);
                               return i->rgb.data();
                           });
    return info;
}

int MaxDifference(const std::vector<std::uint8_t>& rgb, const RasterImage& image) {
    int worst = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            Rgb c = image.PixelRgb(x, y);
            const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * image.Width() + x) * 3];
            worst =
                std::max({worst, std::abs(p[0] - c.r), std::abs(p[1] - c.g), std::abs(p[2] - c.b)});
        }
    return worst;
}

// A smooth picture JPEG reproduces closely.
RasterImage Smooth(int w, int h) {
    RasterImage image;
    image.Allocate(w, h, PixelFormat::ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.SetPixelRgb(x, y,
                              {static_cast<std::uint8_t>(x * 255 / w),
                               static_cast<std::uint8_t>(y * 255 / h), 128});
    return image;
}

// ---- reader ----

TEST(JpegRead, ColourFileRecordsItsSettings) {
    RasterImage source = Smooth(40, 24);
    RefEncodeSettings s = Settings(40, 24, 3, 90);
    s.densityUnit = 1;
    s.densityX = 72;
    s.densityY = 150;
    s.chromaH = 2;
    s.chromaV = 1;
    ImageHolder holder;
    ASSERT_EQ(kJpegCodec.Read(holder, RefEncode(s, RgbPixels(source)), {}), ImageError::None);
    EXPECT_EQ(holder.Image.Format(), PixelFormat::ie24RGB);
    EXPECT_FALSE(holder.Image.HasAlpha());
    EXPECT_LE(test::MaxChannelDifference(holder.Image, source), 8);
    const FileParams& p = holder.Params;
    EXPECT_EQ(p.ImageWidth, 40);
    EXPECT_EQ(p.ImageHeight, 24);
    EXPECT_EQ(p.ChannelCount, 3);
    EXPECT_EQ(p.BitsPerChannel, 8);
    EXPECT_EQ(p.HorizontalDpi, 72);
    EXPECT_EQ(p.VerticalDpi, 150);
    EXPECT_EQ(p.JPEG_Quality, 90);
    EXPECT_EQ(p.JPEG_ChromaH, 2);
    EXPECT_EQ(p.JPEG_ChromaV, 1);
    EXPECT_EQ(p.JPEG_ColorSpace, FileParams::JpegColorSpace::YCbCr);
    EXPECT_FALSE(p.JPEG_Progressive);
}

TEST(JpegRead, QualityIsEstimatedFromTheQuantisationTables) {
    RasterImage source = Smooth(16, 16);
    for (int q : {10, 30, 50, 75, 95, 100}) {
        ImageHolder holder;
        ASSERT_EQ(kJpegCodec.Read(holder, RefEncode(Settings(16, 16, 3, q), RgbPixels(source)), {}),
                  ImageError::None);
        EXPECT_EQ(holder.Params.JPEG_Quality, q);
    }
}

TEST(JpegRead, ResolutionUnits) {
    RasterImage source = Smooth(8, 8);
    struct Case {
        int unit, x, y, dpiX, dpiY;
    } cases[] = {{0, 1, 1, 300, 300}, {1, 96, 96, 96, 96}, {2, 38, 118, 97, 300}};
    for (const Case& c : cases) {
        RefEncodeSettings s = Settings(8, 8);
        s.densityUnit = c.unit;
        s.densityX = c.x;
        s.densityY = c.y;
        ImageHolder holder;
        ASSERT_EQ(kJpegCodec.Read(holder, RefEncode(s, RgbPixels(source)), {}), ImageError::None);
        EXPECT_EQ(holder.Params.HorizontalDpi, c.dpiX) << c.unit;
        EXPECT_EQ(holder.Params.VerticalDpi, c.dpiY) << c.unit;
    }
}

TEST(JpegRead, GreyAndProgressive) {
    std::vector<std::uint8_t> grey(32 * 8);
    for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>(i % 32 * 8);
    RefEncodeSettings s = Settings(32, 8, 1, 95);
    s.progressive = true;
    ImageHolder holder;
    ASSERT_EQ(kJpegCodec.Read(holder, RefEncode(s, grey), {}), ImageError::None);
    EXPECT_EQ(holder.Image.Format(), PixelFormat::ie24RGB);
    EXPECT_EQ(holder.Params.ChannelCount, 1);
    EXPECT_EQ(holder.Params.JPEG_ColorSpace, FileParams::JpegColorSpace::Gray);
    EXPECT_TRUE(holder.Params.JPEG_Progressive);
    Rgb c = holder.Image.PixelRgb(20, 3);
    EXPECT_EQ(c.r, c.g);
    EXPECT_EQ(c.g, c.b);
    EXPECT_NEAR(c.r, 160, 6);
}

TEST(JpegRead, AdobeCmykIsConvertedToRgb) {
    // Adobe files store inverted inks: 255 means no ink. Full magenta ink only.
    std::vector<std::uint8_t> cmyk;
    for (int i = 0; i < 16 * 16; ++i) cmyk.insert(cmyk.end(), {255, 0, 255, 255});
    ImageHolder holder;
    ASSERT_EQ(kJpegCodec.Read(holder, RefEncode(Settings(16, 16, 4, 95), cmyk), {}),
              ImageError::None);
    EXPECT_EQ(holder.Params.ChannelCount, 4);
    EXPECT_EQ(holder.Params.JPEG_ColorSpace, FileParams::JpegColorSpace::CMYK);
    Rgb c = holder.Image.PixelRgb(8, 8);
    EXPECT_GE(c.r, 245);
    EXPECT_LE(c.g, 10);
    EXPECT_GE(c.b, 245);
}

TEST(JpegRead, DisplaySizeHintDecodesAtReducedScaleButKeepsTheFileSize) {
    RasterImage source = Smooth(400, 300);
    auto jpeg = RefEncode(Settings(400, 300), RgbPixels(source));
    struct Case {
        int hint, width, height;
    } cases[] = {{0, 400, 300}, {100, 100, 75},  {80, 100, 75},
                 {40, 50, 38},  {300, 400, 300}, {1, 50, 38}};
    for (const Case& c : cases) {
        ImageHolder holder;
        ReadOptions options;
        options.DisplaySizeHint = c.hint;
        ASSERT_EQ(kJpegCodec.Read(holder, jpeg, options), ImageError::None);
        EXPECT_EQ(holder.Image.Width(), c.width) << c.hint;
        EXPECT_EQ(holder.Image.Height(), c.height) << c.hint;
        EXPECT_EQ(holder.Params.ImageWidth, 400);
        EXPECT_EQ(holder.Params.ImageHeight, 300);
    }
}

// The offset of the SOF0 marker's height field.
std::size_t SofSizeOffset(const std::vector<std::uint8_t>& jpeg) {
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) return i + 5;
    return 0;
}

TEST(JpegRead, MalformedFilesFailCleanly) {
    RasterImage source = Smooth(64, 64);
    auto good = RefEncode(Settings(64, 64), RgbPixels(source));
    std::vector<std::uint8_t> huge = good;
    std::size_t sof = SofSizeOffset(huge);
    ASSERT_NE(sof, 0u);
    huge[sof] = huge[sof + 1] = huge[sof + 2] = huge[sof + 3] = 0xFD;  // 65021 × 65021
    std::vector<std::uint8_t> zero = good;
    zero[sof] = zero[sof + 1] = 0;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"start marker only", {0xFF, 0xD8, 0xFF}},
        {"cut in the header", {good.begin(), good.begin() + 120}},
        {"huge dimensions", huge},
        {"zero height", zero},
        {"garbage after the start marker", {0xFF, 0xD8, 0xFF, 0x12, 0x34, 0x56, 0x78, 0x9A}},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        EXPECT_NE(kJpegCodec.Read(holder, c.bytes, {}), ImageError::None) << c.name;
    }
}

TEST(JpegRead, ProgressiveFileWhoseCoefficientsExceedTheBudgetIsRejected) {
    // 11000 × 11000 at 4:4:4 buffers 726 MB of coefficients beside a 363 MB image.
    RasterImage source = Smooth(16, 16);
    RefEncodeSettings s = Settings(16, 16);
    s.progressive = true;
    s.chromaH = s.chromaV = 1;
    auto jpeg = RefEncode(s, RgbPixels(source));
    std::size_t sof = 0;
    for (std::size_t i = 2; i + 9 < jpeg.size() && !sof; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC2) sof = i + 5;
    ASSERT_NE(sof, 0u);
    jpeg[sof] = jpeg[sof + 2] = 11000 >> 8;
    jpeg[sof + 1] = jpeg[sof + 3] = 11000 & 0xFF;
    ImageHolder holder;
    EXPECT_NE(kJpegCodec.Read(holder, jpeg, {}), ImageError::None);
    // The same file at its own size still reads.
    EXPECT_EQ(kJpegCodec.Read(holder, RefEncode(s, RgbPixels(source)), {}), ImageError::None);
}

TEST(JpegRead, TruncatedScanDataStillGivesAWholeImage) {
    RasterImage source = Smooth(64, 64);
    auto jpeg = RefEncode(Settings(64, 64), RgbPixels(source));
    jpeg.resize(jpeg.size() * 2 / 3);
    ImageHolder holder;
    ASSERT_EQ(kJpegCodec.Read(holder, jpeg, {}), ImageError::None);
    EXPECT_EQ(holder.Image.Width(), 64);
    EXPECT_EQ(holder.Image.Height(), 64);
}

// ---- writer ----

TEST(JpegWrite, DefaultsAreBaselineJfifQuality80WithTwoByTwoChroma) {
    ImageHolder holder;
    holder.Image = Smooth(48, 32);
    test::AddAlphaPattern(holder.Image);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kJpegCodec.Write(holder, out), ImageError::None);
    RefInfo info = RefDecode(out);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.width, 48);
    EXPECT_EQ(info.height, 32);
    EXPECT_EQ(info.components, 3);
    EXPECT_EQ(info.space, JCS_YCbCr);
    EXPECT_TRUE(info.jfif);
    EXPECT_FALSE(info.progressive);
    EXPECT_EQ(info.samp[0][0], 2);
    EXPECT_EQ(info.samp[0][1], 2);
    EXPECT_EQ(info.samp[1][0], 1);
    EXPECT_EQ(info.samp[2][1], 1);
    EXPECT_EQ(info.unit, 1);
    EXPECT_EQ(info.dx, 300);
    EXPECT_EQ(info.dy, 300);
    EXPECT_EQ(info.q0, (16 * 40 + 50) / 100);  // quality 80 scales the tables by 40 %
    // Transparent pixels keep their colour channels.
    EXPECT_LE(MaxDifference(info.rgb, holder.Image), 10);

    ImageHolder back;
    ASSERT_EQ(kJpegCodec.Read(back, out, {}), ImageError::None);
    EXPECT_EQ(back.Params.JPEG_Quality, 80);
    EXPECT_FALSE(back.Image.HasAlpha());
}

TEST(JpegWrite, DensityFollowsTheResolution) {
    struct Case {
        int dpiX, dpiY, x, y;
    } cases[] = {{96, 72, 96, 72}, {0, 0, 300, 300}};
    for (const Case& c : cases) {
        ImageHolder holder;
        holder.Image = Smooth(8, 8);
        holder.Params.HorizontalDpi = c.dpiX;
        holder.Params.VerticalDpi = c.dpiY;
        std::vector<std::uint8_t> out;
        ASSERT_EQ(kJpegCodec.Write(holder, out), ImageError::None);
        RefInfo info = RefDecode(out);
        EXPECT_EQ(info.dx, c.x);
        EXPECT_EQ(info.dy, c.y);
    }
}

TEST(JpegWrite, SettingsKeptFromAReadAreUsedAgain) {
    ImageHolder holder;
    holder.Image = Smooth(16, 16);
    holder.Params.JPEG_Quality = 95;
    holder.Params.JPEG_Progressive = true;
    holder.Params.JPEG_ChromaH = holder.Params.JPEG_ChromaV = 1;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kJpegCodec.Write(holder, out), ImageError::None);
    RefInfo info = RefDecode(out);
    EXPECT_TRUE(info.progressive);
    EXPECT_EQ(info.samp[0][0], 1);
    ImageHolder back;
    ASSERT_EQ(kJpegCodec.Read(back, out, {}), ImageError::None);
    EXPECT_EQ(back.Params.JPEG_Quality, 95);
}

TEST(JpegWrite, EveryDeclaredDepthWritesThreeComponentColour) {
    struct Case {
        int channels, bits;
        bool blackWhite;
    } cases[] = {{1, 1, true}, {1, 4, false}, {1, 8, false}, {3, 8, false}, {4, 8, false}};
    for (const Case& c : cases) {
        ImageHolder holder;
        holder.Image = c.blackWhite ? test::CheckerBits(32, 16, 8) : Smooth(32, 16);
        if (c.channels == 4) test::AddAlphaPattern(holder.Image);
        holder.Params.ChannelCount = c.channels;
        holder.Params.BitsPerChannel = c.bits;
        std::vector<std::uint8_t> out;
        ASSERT_EQ(kJpegCodec.Write(holder, out), ImageError::None);
        RefInfo info = RefDecode(out);
        ASSERT_TRUE(info.ok);
        EXPECT_EQ(info.components, 3);
        ImageHolder back;
        ASSERT_EQ(kJpegCodec.Read(back, out, {}), ImageError::None);
        EXPECT_EQ(back.Params.ChannelCount, 3);
        EXPECT_LE(test::MaxChannelDifference(back.Image, holder.Image.ToRgb24()),
                  c.blackWhite ? 40 : 10);
    }
}

TEST(JpegWrite, EmptyImageIsNotWritten) {
    ImageHolder holder;
    std::vector<std::uint8_t> out;
    EXPECT_NE(kJpegCodec.Write(holder, out), ImageError::None);
}

}  // namespace
}  // namespace gw
