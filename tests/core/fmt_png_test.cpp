#include <gtest/gtest.h>
#include <png.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "imagefile/formats/codec.h"
#include "support/picture_fixtures.h"
#include "support/png_builder.h"

namespace gw {
namespace {

using test::BuildPng;
using test::FindPngChunk;
using test::ParsePngChunks;
using test::PngChunk;

// libpng's own decoder (simplified interface), independent of the reader under test.
struct LibpngPicture {
    bool ok = false;
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    Rgb At(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* p = &rgba[(y * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
    std::uint8_t AlphaAt(std::uint32_t x, std::uint32_t y) const {
        return rgba[(y * width + x) * 4 + 3];
    }
};

LibpngPicture DecodeWithLibpng(const std::vector<std::uint8_t>& bytes) {
    LibpngPicture pic;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return pic;
    image.format = PNG_FORMAT_RGBA;
    pic.width = image.width;
    pic.height = image.height;
    pic.rgba.resize(PNG_IMAGE_SIZE(image));
    pic.ok = png_image_finish_read(&image, nullptr, pic.rgba.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return pic;
}

struct Ihdr {
    int bitDepth, colorType, interlace;
};

Ihdr HeaderOf(const std::vector<std::uint8_t>& png) {
    auto chunks = ParsePngChunks(png);
    const PngChunk* h = FindPngChunk(chunks, "IHDR");
    if (!h || h->Data.size() < 13) return {-1, -1, -1};
    return {h->Data[8], h->Data[9], h->Data[12]};
}

std::vector<std::uint8_t> Encode(ImageHolder& holder) {
    std::vector<std::uint8_t> out;
    EXPECT_EQ(kPngCodec.Write(holder, out), ImageError::None);
    return out;
}

ImageHolder Decode(const std::vector<std::uint8_t>& bytes) {
    ImageHolder holder;
    EXPECT_EQ(kPngCodec.Read(holder, bytes, {}), ImageError::None);
    return holder;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> v;
    for (int x : values) v.push_back(static_cast<std::uint8_t>(x));
    return v;
}

// ---- reader ----

struct ReadCase {
    const char* name;
    std::function<std::vector<std::uint8_t>()> build;
    PixelFormat format;
    int channels, bits;
    bool alpha;
    std::function<void(const ImageHolder&)> check;
};

class PngReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(PngReadTest, DecodesLayout) {
    const ReadCase& c = GetParam();
    ImageHolder holder;
    ASSERT_EQ(kPngCodec.Read(holder, c.build(), {}), ImageError::None);
    EXPECT_EQ(holder.Image.Format(), c.format);
    EXPECT_EQ(holder.Params.ChannelCount, c.channels);
    EXPECT_EQ(holder.Params.BitsPerChannel, c.bits);
    EXPECT_EQ(holder.Image.HasAlpha(), c.alpha);
    EXPECT_EQ(holder.Params.ImageWidth, holder.Image.Width());
    EXPECT_EQ(holder.Params.ImageHeight, holder.Image.Height());
    c.check(holder);
}

const ReadCase kReadCases[] = {
    {"Rgb8",
     [] {
         return BuildPng(2, 1, 8, 2, Bytes({10, 20, 30, 200, 100, 50}));
     },
     PixelFormat::ie24RGB, 3, 8, false,
     [](const ImageHolder& h) {
         EXPECT_EQ(h.Image.PixelRgb(0, 0), (Rgb{10, 20, 30}));
         EXPECT_EQ(h.Image.PixelRgb(1, 0), (Rgb{200, 100, 50}));
         EXPECT_EQ(h.Image.Row(0)[0], 30);  // stored blue first
         EXPECT_EQ(h.Params.HorizontalDpi, 300);
         EXPECT_EQ(h.Params.PaletteCount, 0);
     }},
    {"Rgba8",
     [] {
         return BuildPng(2, 1, 8, 6, Bytes({1, 2, 3, 0, 4, 5, 6, 77}));
     },
     PixelFormat::ie24RGB, 4, 8, true,
     [](const ImageHolder& h) {
         EXPECT_EQ(h.Image.PixelRgb(1, 0), (Rgb{4, 5, 6}));
         EXPECT_EQ(h.Image.AlphaRow(0)[0], 0);
         EXPECT_EQ(h.Image.AlphaRow(0)[1], 77);
     }},
    {"Grey1IsBlackAndWhite",
     [] {
         return BuildPng(10, 2, 1, 0, Bytes({0xA0, 0x40, 0xFF, 0xC0}));
     },
     PixelFormat::ie1g, 1, 1, false,
     [](const ImageHolder& h) {
         EXPECT_EQ(h.Image.PixelRgb(0, 0), (Rgb{255, 255, 255}));
         EXPECT_EQ(h.Image.PixelRgb(1, 0), (Rgb{0, 0, 0}));
         EXPECT_EQ(h.Image.PixelRgb(9, 0), (Rgb{255, 255, 255}));
         EXPECT_EQ(h.Image.PixelRgb(9, 1), (Rgb{255, 255, 255}));
     }},
    {"WhiteBlackPaletteIsBlackAndWhite",
     [] {
         return BuildPng(8, 1, 1, 3, Bytes({0x0F}), {{"PLTE", Bytes({255, 255, 255, 0, 0, 0})}});
     },
     PixelFormat::ie1g, 1, 1, false,
     [](const ImageHolder& h) {
         EXPECT_EQ(h.Image.PixelRgb(0, 0), (Rgb{255, 255, 255}));
         EXPECT_EQ(h.Image.PixelRgb(7, 0), (Rgb{0, 0, 0}));
         EXPECT_EQ(h.Params.PaletteCount, 2);
     }},
    {"Palette4WithTransparency",
     [] {
         return BuildPng(
             3, 1, 4, 3, Bytes({0x01, 0x20}),
             {{"PLTE", Bytes({9, 8, 7, 1, 2, 3, 200, 201, 202})}, {"tRNS", Bytes({0})}});
     },
     PixelFormat::ie24RGB, 1, 4, true,
     [](const ImageHolder& h) {
         EXPECT_EQ(h.Image.PixelRgb(1, 0), (Rgb{1, 2, 3}));
         EXPECT_EQ(h.Image.PixelRgb(2, 0), (Rgb{200, 201, 202}));
         EXPECT_EQ(h.Image.AlphaRow(0)[0], 0);
         EXPECT_EQ(h.Image.AlphaRow(0)[1], 255);
         ASSERT_EQ(h.Params.PaletteCount, 3);
         EXPECT_EQ(h.Params.Palette[2], (Rgb{200, 201, 202}));
     }},
    {"Grey16WithResolution",
     [] {
         std::vector<std::uint8_t> phys;
         test::PutU32be(phys, 3780);
         test::PutU32be(phys, 11811);
         phys.push_back(1);
         return BuildPng(1, 1, 16, 0, Bytes({0x80, 0x11}), {{"pHYs", phys}});
     },
     PixelFormat::ie24RGB, 1, 16, false,
     [](const ImageHolder& h) {
         EXPECT_EQ(h.Image.PixelRgb(0, 0), (Rgb{128, 128, 128}));
         EXPECT_EQ(h.Params.HorizontalDpi, 96);
         EXPECT_EQ(h.Params.VerticalDpi, 300);
     }},
    {"GreyAlpha8",
     [] {
         return BuildPng(1, 1, 8, 4, Bytes({50, 60}));
     },
     PixelFormat::ie24RGB, 2, 8, true,
     [](const ImageHolder& h) {
         EXPECT_EQ(h.Image.PixelRgb(0, 0), (Rgb{50, 50, 50}));
         EXPECT_EQ(h.Image.AlphaRow(0)[0], 60);
     }},
    {"BackgroundChunkIsKept",
     [] {
         return BuildPng(1, 1, 8, 2, Bytes({0, 0, 0}), {{"bKGD", Bytes({0, 255, 0, 128, 0, 7})}});
     },
     PixelFormat::ie24RGB, 3, 8, false,
     [](const ImageHolder& h) {
         EXPECT_EQ(h.Params.PNG_Background, (Rgb{255, 128, 7}));
     }},
};

INSTANTIATE_TEST_SUITE_P(Layouts, PngReadTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<std::uint8_t> WithBadIhdr(std::uint32_t width, std::uint32_t height) {
    return BuildPng(width, height, 8, 2, {});
}

TEST(PngRead, MalformedStreamsFailCleanly) {
    std::vector<std::uint8_t> good = BuildPng(16, 16, 8, 2, std::vector<std::uint8_t>(16 * 48, 7));
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"signature only", {good.begin(), good.begin() + 8}},
        {"cut inside IDAT", {good.begin(), good.end() - 20}},
        {"cut after IHDR", {good.begin(), good.begin() + 33}},
        {"huge dimensions", WithBadIhdr(100000, 100000)},
        {"zero width", WithBadIhdr(0, 5)},
    };
    std::vector<std::uint8_t> badCrc = good;
    badCrc[29] ^= 0xff;  // IHDR's CRC
    cases.push_back({"IHDR crc", badCrc});
    for (const Case& c : cases) {
        ImageHolder holder;
        EXPECT_NE(kPngCodec.Read(holder, c.bytes, {}), ImageError::None) << c.name;
    }
}

TEST(PngRead, ProbeNeedsSignatureAndMoreThanEightBytes) {
    std::vector<std::uint8_t> good = BuildPng(1, 1, 8, 2, Bytes({0, 0, 0}));
    EXPECT_TRUE(kPngCodec.Probe(good));
    EXPECT_FALSE(kPngCodec.Probe(std::span(good).first(8)));
    good[1] = 'X';
    EXPECT_FALSE(kPngCodec.Probe(good));
}

// ---- writer ----

TEST(PngWrite, TrueColourIsRgbWithBlackBackgroundAndResolution) {
    ImageHolder holder;
    holder.Image = test::GradientImage(5, 3);
    holder.Params.HorizontalDpi = 96;
    holder.Params.VerticalDpi = 72;
    auto png = Encode(holder);
    Ihdr h = HeaderOf(png);
    EXPECT_EQ(h.colorType, 2);
    EXPECT_EQ(h.bitDepth, 8);
    EXPECT_EQ(h.interlace, 0);
    auto chunks = ParsePngChunks(png);
    const PngChunk* bkgd = FindPngChunk(chunks, "bKGD");
    ASSERT_NE(bkgd, nullptr);
    EXPECT_EQ(bkgd->Data, std::vector<std::uint8_t>(6, 0));
    const PngChunk* phys = FindPngChunk(chunks, "pHYs");
    ASSERT_NE(phys, nullptr);
    EXPECT_EQ(test::GetU32be(phys->Data.data()), 3780u);
    EXPECT_EQ(test::GetU32be(phys->Data.data() + 4), 2835u);
    EXPECT_EQ(phys->Data[8], 1);

    LibpngPicture pic = DecodeWithLibpng(png);
    ASSERT_TRUE(pic.ok);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 5; ++x) EXPECT_EQ(pic.At(x, y), holder.Image.PixelRgb(x, y));
}

TEST(PngWrite, AlphaGivesRgbaOnlyWhenNotAllOpaque) {
    ImageHolder holder;
    holder.Image = test::GradientImage(4, 4);
    holder.Params.ChannelCount = 4;
    holder.Image.AddAlpha(255);
    EXPECT_EQ(HeaderOf(Encode(holder)).colorType, 2);
    test::AddAlphaPattern(holder.Image);
    auto png = Encode(holder);
    EXPECT_EQ(HeaderOf(png).colorType, 6);
    LibpngPicture pic = DecodeWithLibpng(png);
    ASSERT_TRUE(pic.ok);
    EXPECT_EQ(pic.AlphaAt(0, 2), 0);
    EXPECT_EQ(pic.AlphaAt(2, 0), 128);
    EXPECT_EQ(pic.AlphaAt(2, 2), 255);
    EXPECT_EQ(pic.At(3, 3), holder.Image.PixelRgb(3, 3));
}

TEST(PngWrite, OneBitDeclaredIsGreyscaleBlackAndWhite) {
    ImageHolder holder;
    holder.Image = test::ColourCycleImage(9, 2, {{250, 250, 250}, {10, 0, 30}, {200, 180, 0}});
    holder.Params.ChannelCount = 1;
    holder.Params.BitsPerChannel = 1;
    auto png = Encode(holder);
    Ihdr h = HeaderOf(png);
    EXPECT_EQ(h.colorType, 0);
    EXPECT_EQ(h.bitDepth, 1);
    LibpngPicture pic = DecodeWithLibpng(png);
    ASSERT_TRUE(pic.ok);
    EXPECT_EQ(pic.At(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(pic.At(1, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(pic.At(2, 0), (Rgb{255, 255, 255}));
}

TEST(PngWrite, PaletteDepthsWritePaletteFiles) {
    const std::vector<Rgb> colours{{255, 0, 0}, {0, 128, 0}, {1, 2, 250}, {90, 90, 10}};
    for (int bits : {4, 8}) {
        ImageHolder holder;
        holder.Image = test::ColourCycleImage(7, 5, colours);
        holder.Params.ChannelCount = 1;
        holder.Params.BitsPerChannel = bits;
        auto png = Encode(holder);
        Ihdr h = HeaderOf(png);
        EXPECT_EQ(h.colorType, 3) << bits;
        EXPECT_EQ(h.bitDepth, bits);
        auto chunks = ParsePngChunks(png);
        EXPECT_EQ(FindPngChunk(chunks, "tRNS"), nullptr);
        const PngChunk* bkgd = FindPngChunk(chunks, "bKGD");
        const PngChunk* plte = FindPngChunk(chunks, "PLTE");
        ASSERT_TRUE(bkgd && plte);
        ASSERT_LT(bkgd->Data[0] * 3u + 2, plte->Data.size());
        EXPECT_EQ(plte->Data[bkgd->Data[0] * 3], 0);  // black background entry
        LibpngPicture pic = DecodeWithLibpng(png);
        ASSERT_TRUE(pic.ok);
        for (std::uint32_t y = 0; y < 5; ++y)
            for (std::uint32_t x = 0; x < 7; ++x)
                EXPECT_EQ(pic.At(x, y), holder.Image.PixelRgb(x, y));
    }
}

TEST(PngWrite, GreyColoursAtPaletteDepthWriteGreyscale) {
    ImageHolder holder;
    holder.Image = test::ColourCycleImage(6, 3, {{0, 0, 0}, {17, 17, 17}, {255, 255, 255}});
    holder.Params.ChannelCount = 1;
    holder.Params.BitsPerChannel = 4;
    auto png = Encode(holder);
    EXPECT_EQ(HeaderOf(png).colorType, 0);
    EXPECT_EQ(HeaderOf(png).bitDepth, 4);
    ImageHolder back = Decode(png);
    EXPECT_EQ(test::FirstColourDifference(back.Image, holder.Image), "");

    // Levels a 4-bit grey cannot hold keep the palette.
    holder.Image = test::ColourCycleImage(6, 3, {{0, 0, 0}, {16, 16, 16}});
    EXPECT_EQ(HeaderOf(Encode(holder)).colorType, 3);
}

TEST(PngWrite, PaletteWithAlphaHasTransparentFirstEntryInBackgroundColour) {
    ImageHolder holder;
    holder.Image = test::ColourCycleImage(6, 4, {{255, 0, 0}, {0, 0, 255}, {0, 200, 0}});
    test::AddAlphaPattern(holder.Image);
    holder.Params.ChannelCount = 1;
    holder.Params.BitsPerChannel = 8;
    holder.Params.PNG_Background = {10, 20, 30};
    auto png = Encode(holder);
    EXPECT_EQ(HeaderOf(png).colorType, 3);
    auto chunks = ParsePngChunks(png);
    const PngChunk* trns = FindPngChunk(chunks, "tRNS");
    const PngChunk* plte = FindPngChunk(chunks, "PLTE");
    const PngChunk* bkgd = FindPngChunk(chunks, "bKGD");
    ASSERT_TRUE(trns && plte && bkgd);
    EXPECT_EQ(trns->Data, Bytes({0}));
    EXPECT_EQ(std::vector<std::uint8_t>(plte->Data.begin(), plte->Data.begin() + 3),
              Bytes({10, 20, 30}));
    EXPECT_EQ(bkgd->Data, Bytes({0}));
    LibpngPicture pic = DecodeWithLibpng(png);
    ASSERT_TRUE(pic.ok);
    EXPECT_EQ(pic.AlphaAt(0, 3), 0);
    EXPECT_EQ(pic.AlphaAt(3, 0), 0);  // alpha 128 takes the transparent entry too
    EXPECT_EQ(pic.AlphaAt(3, 2), 255);
    EXPECT_EQ(pic.At(3, 2), holder.Image.PixelRgb(3, 2));
}

TEST(PngWrite, SixteenColoursWithAlphaNeedAnEightBitPalette) {
    std::vector<Rgb> colours;
    for (int i = 0; i < 16; ++i) colours.push_back({static_cast<std::uint8_t>(i * 15), 0, 99});
    ImageHolder holder;
    holder.Image = test::ColourCycleImage(16, 4, colours);
    test::AddAlphaPattern(holder.Image);
    holder.Params.ChannelCount = 1;
    holder.Params.BitsPerChannel = 4;
    auto png = Encode(holder);
    EXPECT_EQ(HeaderOf(png).bitDepth, 8);
    EXPECT_TRUE(DecodeWithLibpng(png).ok);
}

TEST(PngWrite, InterlacedSettingIsHonoured) {
    ImageHolder holder;
    holder.Image = test::GradientImage(13, 11);
    holder.Params.PNG_Interlaced = true;
    auto png = Encode(holder);
    EXPECT_EQ(HeaderOf(png).interlace, 1);
    ImageHolder back = Decode(png);
    EXPECT_TRUE(back.Params.PNG_Interlaced);
    EXPECT_EQ(test::FirstColourDifference(back.Image, holder.Image), "");
}

TEST(PngWrite, EmptyImageIsNotWritten) {
    ImageHolder holder;
    std::vector<std::uint8_t> out;
    EXPECT_NE(kPngCodec.Write(holder, out), ImageError::None);
    EXPECT_TRUE(out.empty());
}

// ---- round trips ----

struct DepthCase {
    const char* name;
    int channels, bits;
    bool alpha;
    bool blackWhite;
};

class PngRoundTrip : public ::testing::TestWithParam<DepthCase> {};

TEST_P(PngRoundTrip, KeepsPixelsAndDepth) {
    const DepthCase& c = GetParam();
    ImageHolder holder;
    holder.Image = c.blackWhite
                       ? test::CheckerBits(11, 7, 2)
                       : test::ColourCycleImage(11, 7, {{255, 0, 0}, {3, 4, 5}, {0, 0, 250}});
    if (c.alpha) test::AddAlphaPattern(holder.Image);
    holder.Params.ChannelCount = c.channels;
    holder.Params.BitsPerChannel = c.bits;
    ImageHolder back = Decode(Encode(holder));
    EXPECT_EQ(test::FirstColourDifference(back.Image.ToRgb24(), holder.Image.ToRgb24()), "");
    EXPECT_EQ(back.Params.ChannelCount, c.channels == 3 && c.alpha ? 4 : c.channels);
    EXPECT_EQ(back.Params.BitsPerChannel, c.bits);
    EXPECT_EQ(back.Image.HasAlpha(), c.alpha);
    if (c.alpha && c.channels == 4) {
        EXPECT_EQ(back.Image.Alpha(), holder.Image.Alpha());
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, PngRoundTrip,
                         ::testing::Values(DepthCase{"Bits1", 1, 1, false, true},
                                           DepthCase{"Palette4", 1, 4, false, false},
                                           DepthCase{"Palette8", 1, 8, false, false},
                                           DepthCase{"Rgb24", 3, 8, false, false},
                                           DepthCase{"Rgba32", 4, 8, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gw
