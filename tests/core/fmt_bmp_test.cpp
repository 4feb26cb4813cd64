#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "support/decode_table.h"
#include "support/picture_bytes.h"

namespace gw {
namespace {

using test::DamagedFile;
using test::DecodeCase;
using test::ReferenceDecode;

using test::Bytes;

constexpr Rgb K{0, 0, 0}, W{255, 255, 255}, R{255, 0, 0}, G{0, 255, 0}, B{0, 0, 255};

// A BMP with a 40-byte header; setters name the fields that differ from a 1 × 1 24-bit file.
struct BmpSpec {
    std::int32_t width_ = 1, height_ = 1;
    unsigned bpp_ = 24;
    std::uint32_t compression_ = 0, colorsUsed_ = 0;
    std::int32_t ppm_ = 0;
    std::vector<Rgb> palette_;
    std::vector<std::uint32_t> masks_;  // written after the header
    std::vector<std::uint8_t> pixels_;

    BmpSpec& width(std::int32_t v) { return width_ = v, *this; }
    BmpSpec& height(std::int32_t v) { return height_ = v, *this; }
    BmpSpec& bpp(unsigned v) { return bpp_ = v, *this; }
    BmpSpec& compression(std::uint32_t v) { return compression_ = v, *this; }
    BmpSpec& colorsUsed(std::uint32_t v) { return colorsUsed_ = v, *this; }
    BmpSpec& ppm(std::int32_t v) { return ppm_ = v, *this; }
    BmpSpec& palette(std::vector<Rgb> v) { return palette_ = std::move(v), *this; }
    BmpSpec& masks(std::vector<std::uint32_t> v) { return masks_ = std::move(v), *this; }
    BmpSpec& pixels(std::vector<std::uint8_t> v) { return pixels_ = std::move(v), *this; }
};

std::vector<std::uint8_t> Bmp(const BmpSpec& s) {
    const std::uint32_t off = 14 + 40 + 4 * (s.masks_.size() + s.palette_.size());
    Bytes b;
    b.str("BM").u32le(off + s.pixels_.size()).u32le(0).u32le(off);
    b.u32le(40).u32le(s.width_).u32le(s.height_).u16le(1).u16le(s.bpp_).u32le(s.compression_);
    b.u32le(s.pixels_.size()).u32le(s.ppm_).u32le(s.ppm_).u32le(s.colorsUsed_).u32le(0);
    for (auto m : s.masks_) b.u32le(m);
    for (auto c : s.palette_) b.u8s({c.b, c.g, c.r, 0});
    return b.raw(s.pixels_).v;
}

// A 124-byte header with bit fields red, green, blue, alpha.
std::vector<std::uint8_t> BmpV5(std::int32_t w, std::int32_t h, std::vector<std::uint32_t> masks,
                                std::vector<std::uint8_t> pixels) {
    const std::uint32_t off = 14 + 124;
    Bytes b;
    b.str("BM").u32le(off + pixels.size()).u32le(0).u32le(off);
    b.u32le(124).u32le(w).u32le(h).u16le(1).u16le(32).u32le(3).u32le(pixels.size());
    b.u32le(2835).u32le(2835).u32le(0).u32le(0);
    for (auto m : masks) b.u32le(m);
    b.str("BGRs").fill(124 - 60, 0);
    return b.raw(pixels).v;
}

// An OS/2 1.x file: 12-byte header and 3-byte colour table entries.
std::vector<std::uint8_t> BmpCore(unsigned w, unsigned h, unsigned bpp, std::vector<Rgb> palette,
                                  std::vector<std::uint8_t> pixels) {
    const std::uint32_t off = 14 + 12 + 3 * palette.size();
    Bytes b;
    b.str("BM").u32le(off + pixels.size()).u32le(0).u32le(off);
    b.u32le(12).u16le(w).u16le(h).u16le(1).u16le(bpp);
    for (auto c : palette) b.u8s({c.b, c.g, c.r});
    return b.raw(pixels).v;
}

ImageHolder Read(const std::vector<std::uint8_t>& file, bool* ok = nullptr) {
    ImageHolder h;
    bool r = kBmpCodec.Read(h, file, ReadOptions{}) == ImageError::None;
    if (ok) *ok = r;
    return h;
}

std::vector<DecodeCase> DecodeCases() {
    using PF = PixelFormat;
    std::vector<DecodeCase> v;
    // Rows are stored bottom first: the first row of pixel bytes is the bottom row.
    v.push_back({"OneBitBlackWhite",
                 Bmp(BmpSpec().width(3).height(2).bpp(1).palette({K, W}).pixels(
                     {0xA0, 0, 0, 0, 0x60, 0, 0, 0})),
                 3,
                 2,
                 PF::ie1g,
                 {K, W, W, W, K, W},
                 {},
                 1,
                 1});
    v.push_back({"OneBitWhiteBlackPalette",
                 Bmp(BmpSpec().width(3).height(2).bpp(1).palette({W, K}).pixels(
                     {0xA0, 0, 0, 0, 0x60, 0, 0, 0})),
                 3,
                 2,
                 PF::ie1g,
                 {W, K, K, K, W, K},
                 {},
                 1,
                 1});
    v.push_back({"OneBitColourPalette",
                 Bmp(BmpSpec().width(2).height(1).bpp(1).palette({R, B}).pixels({0x40, 0, 0, 0})),
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {},
                 1,
                 1});
    v.push_back({"FourBit",
                 Bmp(BmpSpec()
                         .width(3)
                         .height(2)
                         .bpp(4)
                         .palette({K, R, G, B})
                         .colorsUsed(4)
                         .pixels({0x12, 0x30, 0, 0, 0x30, 0x10, 0, 0})),
                 3,
                 2,
                 PF::ie24RGB,
                 {B, K, R, R, G, B},
                 {},
                 1,
                 4});
    v.push_back({"EightBitShortPaletteAndOutOfRangeIndex",
                 Bmp(BmpSpec().width(2).height(2).bpp(8).palette({R, G, B}).colorsUsed(3).pixels(
                     {0, 1, 0, 0, 2, 9, 0, 0})),
                 2,
                 2,
                 PF::ie24RGB,
                 {B, K, R, G},
                 {},
                 1,
                 8});
    v.push_back({"Rle8RunsAbsoluteDeltaEnd",
                 Bmp(BmpSpec().width(4).height(3).bpp(8).compression(1).palette({K, R, G}).pixels(
                     {4, 1, 0, 0,                    // bottom: run of four 1s, end of line
                      0, 3, 2, 1, 2, 0, 1, 0, 0, 0,  // absolute 2 1 2, run of one 0
                      0, 2, 2, 0, 2, 2, 0, 1})),     // delta +2, run of two 2s, end
                 4,
                 3,
                 PF::ie24RGB,
                 {K, K, G, G, G, R, G, K, R, R, R, R},
                 {},
                 1,
                 8});
    v.push_back({"Rle4RunAndAbsolute",
                 Bmp(BmpSpec()
                         .width(5)
                         .height(1)
                         .bpp(4)
                         .compression(2)
                         .palette({K, R, G, B})
                         .pixels({0, 3, 0x12, 0x30, 2, 0x11, 0, 1})),
                 5,
                 1,
                 PF::ie24RGB,
                 {R, G, B, R, R},
                 {},
                 1,
                 4});
    v.push_back({"SixteenBitDefault555",
                 Bmp(BmpSpec().width(2).height(1).bpp(16).pixels({0x00, 0x7c, 0x10, 0x02})),
                 2,
                 1,
                 PF::ie24RGB,
                 {R, Rgb{0, 132, 132}},
                 {},
                 3,
                 8});
    v.push_back({"SixteenBitBitfields565",
                 Bmp(BmpSpec()
                         .width(2)
                         .height(1)
                         .bpp(16)
                         .compression(3)
                         .masks({0xf800, 0x07e0, 0x001f})
                         .pixels({0xe0, 0x07, 0x1f, 0x00})),
                 2,
                 1,
                 PF::ie24RGB,
                 {G, B},
                 {},
                 3,
                 8});
    v.push_back({"TwentyFourBitTopDown",
                 Bmp(BmpSpec().width(2).height(-2).bpp(24).pixels(
                     {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 1, 2, 3, 0, 0})),
                 2,
                 2,
                 PF::ie24RGB,
                 {R, G, B, Rgb{3, 2, 1}},
                 {},
                 3,
                 8});
    v.push_back({"ThirtyTwoBitAllZeroAlphaIsOpaque",
                 Bmp(BmpSpec().width(1).height(2).bpp(32).pixels({1, 2, 3, 0, 4, 5, 6, 0})),
                 1,
                 2,
                 PF::ie24RGB,
                 {Rgb{6, 5, 4}, Rgb{3, 2, 1}},
                 {},
                 3,
                 8});
    v.push_back({"ThirtyTwoBitWithAlpha",
                 Bmp(BmpSpec().width(2).height(1).bpp(32).pixels({0, 0, 255, 128, 255, 0, 0, 255})),
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {128, 255},
                 4,
                 8});
    v.push_back({"ThirtyTwoBitBitfieldsWithoutAlphaMask",
                 Bmp(BmpSpec()
                         .width(1)
                         .height(1)
                         .bpp(32)
                         .compression(3)
                         .masks({0xff, 0xff00, 0xff0000})
                         .pixels({10, 20, 30, 40})),
                 1,
                 1,
                 PF::ie24RGB,
                 {Rgb{10, 20, 30}},
                 {},
                 3,
                 8});
    v.push_back({"V5HeaderBitfieldsWithAlpha",
                 BmpV5(2, 1, {0xff, 0xff00, 0xff0000, 0xff000000}, {10, 20, 30, 40, 1, 2, 3, 255}),
                 2,
                 1,
                 PF::ie24RGB,
                 {Rgb{10, 20, 30}, Rgb{1, 2, 3}},
                 {40, 255},
                 4,
                 8});
    v.push_back({"Os2CoreHeader",
                 BmpCore(3, 1, 8, {G, B}, {1, 0, 1, 0}),
                 3,
                 1,
                 PF::ie24RGB,
                 {B, G, B},
                 {},
                 1,
                 8});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Bmp, ReferenceDecode,
                         testing::ValuesIn(test::ForCodec(kBmpCodec, DecodeCases())),
                         test::CaseName<DecodeCase>);

TEST(BmpRead, ResolutionFromPixelsPerMetreAndDefault) {
    ImageHolder h = Read(Bmp(BmpSpec().ppm(3780).pixels({1, 2, 3, 0})));
    EXPECT_EQ(h.Params.HorizontalDpi, 96);
    EXPECT_EQ(h.Params.VerticalDpi, 96);
    h = Read(Bmp(BmpSpec().ppm(0).pixels({1, 2, 3, 0})));
    EXPECT_EQ(h.Params.HorizontalDpi, 300);
}

TEST(BmpRead, RecordsPaletteAndHeader) {
    ImageHolder h = Read(Bmp(
        BmpSpec().width(1).height(1).bpp(8).compression(1).palette({R, G}).pixels({1, 1, 0, 1})));
    EXPECT_EQ(h.Params.Palette, (std::vector<Rgb>{R, G}));
    EXPECT_EQ(h.Params.PaletteCount, 2);
    EXPECT_EQ(h.Params.BMP_HeaderSize, 40);
    EXPECT_EQ(h.Params.BMP_Compression, 1);
}

TEST(BmpRead, FailureLeavesHolderImage) {
    ImageHolder h;
    h.Image = test::Gradient(3, 3);
    std::vector<std::uint8_t> bad = Bmp(BmpSpec().width(100000).height(100000));
    EXPECT_NE(kBmpCodec.Read(h, bad, ReadOptions{}), ImageError::None);
    EXPECT_EQ(h.Image.Width(), 3);
}

TEST(BmpProbe, SignatureAndHeaderSize) {
    EXPECT_TRUE(kBmpCodec.Probe(Bmp(BmpSpec().pixels({0, 0, 0, 0}))));
    EXPECT_TRUE(kBmpCodec.Probe(BmpCore(1, 1, 8, {K}, {0, 0, 0, 0})));
    std::vector<std::uint8_t> f = Bmp(BmpSpec());
    f[14] = 41;
    EXPECT_FALSE(kBmpCodec.Probe(f));
    EXPECT_FALSE(kBmpCodec.Probe(std::vector<std::uint8_t>{'B', 'M'}));
    EXPECT_FALSE(kBmpCodec.Probe(std::vector<std::uint8_t>{0, 0, 1, 0, 1, 0}));
}

// Writer: the bit depth chosen from the declared depth, and the pixels read back.
struct WriteCase {
    std::string name;
    int channels, bits;
    bool withAlpha;
    bool blackWhiteSource;
    unsigned expectBpp;
};

class BmpWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(BmpWrite, RoundTripsAtDeclaredDepth) {
    const WriteCase& c = GetParam();
    ImageHolder h;
    if (c.blackWhiteSource)
        h.Image = test::BlackWhite({"#..#.#.#.#", "..##....##", "##########"});
    else if (c.expectBpp <= 8)
        h.Image = test::FewColours(7, 5, c.expectBpp == 1 ? 2 : 12);
    else
        h.Image = test::Gradient(7, 5);
    if (c.withAlpha) {
        h.Image.AddAlpha(255);
        h.Image.Alpha()[3] = 0;
        h.Image.Alpha()[4] = 77;
    }
    h.Params.ChannelCount = c.channels;
    h.Params.BitsPerChannel = c.bits;
    h.Params.HorizontalDpi = 72;
    h.Params.VerticalDpi = 150;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kBmpCodec.Write(h, file), ImageError::None);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file[14], 40);  // header size
    EXPECT_EQ(file[28] | (file[29] << 8), static_cast<int>(c.expectBpp));
    EXPECT_EQ(file[30], 0);  // no compression
    ASSERT_TRUE(kBmpCodec.Probe(file));

    bool ok = false;
    ImageHolder back = Read(file, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
    EXPECT_FALSE(back.Image.HasAlpha());
    EXPECT_EQ(back.Params.HorizontalDpi, 72);
    EXPECT_EQ(back.Params.VerticalDpi, 150);
    if (c.blackWhiteSource && c.expectBpp == 1) {
        EXPECT_EQ(back.Image.Format(), PixelFormat::ie1g);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, BmpWrite,
    testing::Values(WriteCase{"OneBitFromBlackWhite", 1, 1, false, true, 1},
                    WriteCase{"OneBitFromTwoColours", 3, 1, false, false, 1},
                    WriteCase{"FourBits", 1, 4, false, false, 4},
                    WriteCase{"OneChannelEightBits", 1, 8, false, false, 8},
                    WriteCase{"OneChannelEightBitsFromBlackWhite", 1, 8, false, true, 8},
                    WriteCase{"TwentyFourBits", 3, 8, false, false, 24},
                    WriteCase{"AlphaGivesThirtyTwoBits", 4, 8, true, false, 32},
                    WriteCase{"AlphaWithThreeChannelsStillThirtyTwo", 3, 8, true, false, 32},
                    WriteCase{"FourChannelsWithoutAlphaIsTwentyFour", 4, 8, false, false, 24}),
    [](const auto& info) { return info.param.name; });

TEST(BmpWrite, ThirtyTwoBitsStoreOpaqueAlphaBytes) {
    ImageHolder h;
    h.Image = test::Gradient(3, 2);
    h.Image.AddAlpha(0);
    h.Image.Alpha()[1] = 128;
    h.Params.ChannelCount = 4;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kBmpCodec.Write(h, file), ImageError::None);
    ASSERT_EQ(file.size(), 54u + 3 * 2 * 4);
    for (std::size_t i = 54 + 3; i < file.size(); i += 4) EXPECT_EQ(file[i], 255) << i;
}

TEST(BmpWrite, PaletteOfFourAndEightBitFilesIsRecorded) {
    ImageHolder h;
    h.Image = test::RgbImage(3, 1, {R, G, R});
    h.Params.ChannelCount = 1;
    h.Params.BitsPerChannel = 8;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kBmpCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(h.Params.Palette, (std::vector<Rgb>{R, G}));
    EXPECT_EQ(h.Params.PaletteCount, 2);
}

TEST(BmpWrite, DefaultResolutionIs11811PixelsPerMetre) {
    ImageHolder h;
    h.Image = test::Gradient(1, 1);
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kBmpCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(file[38] | (file[39] << 8), 11811);
}

TEST(BmpWrite, EmptyImageIsRefused) {
    ImageHolder h;
    std::vector<std::uint8_t> file;
    EXPECT_NE(kBmpCodec.Write(h, file), ImageError::None);
}

// Malformed files: a clean failure, or (for damaged run-length data) a clean partial image.
using test::MalformedCase;

std::vector<MalformedCase> MalformedCases() {
    std::vector<MalformedCase> v;
    auto truncated = [](std::vector<std::uint8_t> f, std::size_t n) {
        f.resize(n);
        return f;
    };
    const auto rgb2x2 = Bmp(BmpSpec().width(2).height(2).pixels(std::vector<std::uint8_t>(16, 7)));
    v.push_back({"Empty", {}, false});
    v.push_back({"SignatureOnly", {'B', 'M'}, false});
    v.push_back({"TruncatedInfoHeader", truncated(rgb2x2, 30), false});
    v.push_back({"TruncatedPixels", truncated(rgb2x2, rgb2x2.size() - 4), false});
    v.push_back({"LastRowPaddingMissing", truncated(rgb2x2, rgb2x2.size() - 2), true});
    v.push_back({"HugeDimensions", Bmp(BmpSpec().width(100000).height(100000)), false});
    v.push_back({"MinimumHeight", Bmp(BmpSpec().width(1).height(INT32_MIN)), false});
    v.push_back({"ZeroWidth", Bmp(BmpSpec().width(0).pixels({0, 0, 0, 0})), false});
    v.push_back({"ZeroHeight", Bmp(BmpSpec().height(0).pixels({0, 0, 0, 0})), false});
    v.push_back({"NegativeWidth", Bmp(BmpSpec().width(-4).pixels({0, 0, 0, 0})), false});
    v.push_back({"BitCountThree", Bmp(BmpSpec().bpp(3).pixels({0, 0, 0, 0})), false});
    v.push_back({"EmbeddedJpeg", Bmp(BmpSpec().bpp(0).compression(4).pixels({0xff, 0xd8})), false});
    v.push_back({"Rle8WithFourBits",
                 Bmp(BmpSpec().bpp(4).compression(1).palette({K}).pixels({0, 1})), false});
    v.push_back({"Rle8TopDown",
                 Bmp(BmpSpec().height(-1).bpp(8).compression(1).palette({K}).pixels({0, 1})),
                 false});
    v.push_back({"BitfieldsOn24Bits",
                 Bmp(BmpSpec().compression(3).masks({0xff, 0xff00, 0xff0000}).pixels({0, 0, 0, 0})),
                 false});
    {
        auto f = Bmp(BmpSpec().bpp(16).compression(3).masks({0xf800, 0x7e0, 0x1f}));
        v.push_back({"BitfieldMasksMissing", truncated(f, 54 + 6), false});
    }
    {
        auto f = Bmp(BmpSpec().width(2).height(1).bpp(8).palette({K, W}).pixels({}));
        v.push_back({"PixelOffsetPastEnd", f, false});
    }
    v.push_back({"Rle8RunOverflowsRowAndImage",
                 Bmp(BmpSpec().width(2).height(2).bpp(8).compression(1).palette({K, R}).pixels(
                     {255, 1, 255, 1, 0, 0, 255, 1, 0, 0, 255, 1, 0, 0, 3, 1})),
                 true});
    v.push_back({"Rle8DeltaPastLastRow",
                 Bmp(BmpSpec().width(2).height(2).bpp(8).compression(1).palette({K, R}).pixels(
                     {0, 2, 255, 255, 2, 1, 0, 1})),
                 true});
    v.push_back(
        {"Rle8WithoutEndMarker",
         Bmp(BmpSpec().width(4).height(4).bpp(8).compression(1).palette({K, R}).pixels({2, 1})),
         true});
    v.push_back({"Rle8AbsoluteRunCutShort",
                 Bmp(BmpSpec().width(4).height(1).bpp(8).compression(1).palette({K, R}).pixels(
                     {0, 200, 1, 1})),
                 true});
    v.push_back({"Rle4OddAbsoluteRunWithoutPadding",
                 Bmp(BmpSpec().width(3).height(1).bpp(4).compression(2).palette({K, R}).pixels(
                     {0, 3, 0x11, 0x10})),
                 true});
    v.push_back(
        {"ColourTableCutShort",
         truncated(Bmp(BmpSpec().width(1).height(1).bpp(8).palette({K, R, G, B}).pixels({})), 60),
         false});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Bmp, DamagedFile,
                         testing::ValuesIn(test::ForCodec(kBmpCodec, MalformedCases())),
                         test::CaseName<MalformedCase>);

TEST(BmpRead, OverflowingRunsAreClippedToTheRow) {
    // 2 × 2: a run of 255 fills only the bottom row, the delta past the image ends decoding.
    ImageHolder h =
        Read(Bmp(BmpSpec().width(2).height(2).bpp(8).compression(1).palette({K, R, G}).pixels(
            {255, 1, 0, 0, 1, 2, 0, 2, 0, 9})));
    EXPECT_EQ(test::PixelsOf(h.Image), (std::vector<Rgb>{G, K, R, R}));
}

}  // namespace
}  // namespace gw
