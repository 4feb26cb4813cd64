#include "imagefile/formats/pnm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "support/decode_table.h"
#include "support/picture_bytes.h"

namespace gw {
namespace {

using test::Bytes;
using test::DamagedFile;
using test::DecodeCase;
using test::ReferenceDecode;

constexpr Rgb K{0, 0, 0}, W{255, 255, 255}, R{255, 0, 0}, B{0, 0, 255};

std::vector<std::uint8_t> Text(const std::string& s) {
    return Bytes().str(s).v;
}

const Rgb Grey128{128, 128, 128};

INSTANTIATE_TEST_SUITE_P(
    Pnm, ReferenceDecode,
    testing::ValuesIn(test::ForCodec(
        kPnmCodec,
        std::vector<DecodeCase>{
            DecodeCase{"PlainBitmapUnseparatedDigits",
                       Text("P1\n# c\n3 2\n010\n1 1 0"),
                       3,
                       2,
                       PixelFormat::ie1g,
                       {W, K, W, K, K, W},
                       {},
                       1,
                       1},
            DecodeCase{"RawBitmap",
                       Bytes().str("P4 10 2\n").u8s({0x80, 0x40, 0xff, 0xc0}).v,
                       10,
                       2,
                       PixelFormat::ie1g,
                       {K, W, W, W, W, W, W, W, W, K, K, K, K, K, K, K, K, K, K, K},
                       {},
                       1,
                       1},
            DecodeCase{"PlainGraymapMaxval15",
                       Text("P2 3 1 15 0 15 99"),
                       3,
                       1,
                       PixelFormat::ie24RGB,
                       {K, W, W},
                       {},
                       1,
                       8},
            DecodeCase{"RawGraymap",
                       Bytes().str("P5 2 1 255\n").u8s({0, 128}).v,
                       2,
                       1,
                       PixelFormat::ie24RGB,
                       {K, Grey128},
                       {},
                       1,
                       8},
            DecodeCase{"RawGraymapSixteenBits",
                       Bytes().str("P5 2 1 65535\n").u8s({0x80, 0, 0xff, 0xff}).v,
                       2,
                       1,
                       PixelFormat::ie24RGB,
                       {Grey128, W},
                       {},
                       1,
                       16},
            DecodeCase{"PlainPixmapWithComments",
                       Text("P3\n#a\n2 #b\n1\n255\n255 0 0 0 0 255"),
                       2,
                       1,
                       PixelFormat::ie24RGB,
                       {R, B},
                       {},
                       3,
                       8},
            DecodeCase{"RawPixmap",
                       Bytes().str("P6\n1 2\n255\r").u8s({255, 0, 0, 0, 0, 255}).v,
                       1,
                       2,
                       PixelFormat::ie24RGB,
                       {R, B},
                       {},
                       3,
                       8},
            DecodeCase{"RawPixmapMaxval1000",
                       Bytes().str("P6 1 1 1000\n").u16be(1000).u16be(500).u16be(0).v,
                       1,
                       1,
                       PixelFormat::ie24RGB,
                       {Rgb{255, 128, 0}},
                       {},
                       3,
                       16}})),
    test::CaseName<DecodeCase>);

TEST(PnmRead, InvertedBitmapRowsHaveClearPadding) {
    ImageHolder h;
    ASSERT_EQ(kPnmCodec.Read(h, Bytes().str("P4 3 1\n").u8(0x40).v, ReadOptions{}),
              ImageError::None);
    EXPECT_EQ(h.Image.Row(0)[0], 0xa0);
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPnmCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(file.back(), 0x40);
}

TEST(PnmRead, KeepsHeaderCommentsAndDefaultResolution) {
    ImageHolder h;
    h.Params.HorizontalDpi = 72;
    ASSERT_EQ(kPnmCodec.Read(h, Text("P2\n# made by hand\n#\n1 1 255 7"), ReadOptions{}),
              ImageError::None);
    EXPECT_EQ(h.Params.Comments, (std::vector<std::string>{"made by hand", ""}));
    EXPECT_EQ(h.Params.HorizontalDpi, 300);
}

struct WriteCase {
    std::string name;
    PnmKind kind;
    int source;  // 0 black and white, 1 grey, 2 colour
    int bits;    // declared bits per channel
    char expectType;
};

class PnmWrite : public testing::TestWithParam<WriteCase> {};

RasterImage Source(int which) {
    if (which == 0) return test::BlackWhite({"#..#.#.#.#", "..##....##", "#########."});
    if (which == 1) {
        RasterImage g = test::Gradient(5, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                auto v = static_cast<std::uint8_t>(x * 50 + y);
                g.SetPixelRgb(x, y, Rgb{v, v, v});
            }
        return g;
    }
    return test::Gradient(5, 3);
}

TEST_P(PnmWrite, RoundTrips) {
    const WriteCase& c = GetParam();
    ImageHolder h;
    h.Image = Source(c.source);
    h.Params.BitsPerChannel = c.bits;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(WritePnm(h, file, c.kind), ImageError::None);
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file[0], 'P');
    EXPECT_EQ(file[1], c.expectType);
    ImageHolder back;
    ASSERT_EQ(kPnmCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PnmWrite,
    testing::Values(WriteCase{"AutoBlackWhite", PnmKind::Auto, 0, 8, '4'},
                    WriteCase{"AutoGrey", PnmKind::Auto, 1, 8, '5'},
                    WriteCase{"AutoColour", PnmKind::Auto, 2, 8, '6'},
                    WriteCase{"BitmapOfBlackWhite", PnmKind::Bitmap, 0, 8, '4'},
                    WriteCase{"GraymapOfGrey", PnmKind::Graymap, 1, 8, '5'},
                    WriteCase{"PixmapOfGrey", PnmKind::Pixmap, 1, 8, '6'},
                    WriteCase{"PixmapOfBlackWhite", PnmKind::Pixmap, 0, 1, '6'}),
    [](const auto& info) { return info.param.name; });

TEST(PnmWrite, CodecWriterIsAutoAndDeclaredOneBitGivesBitmap) {
    ImageHolder h;
    h.Image = test::RgbImage(2, 1, {Rgb{250, 250, 250}, Rgb{10, 0, 0}});
    h.Params.ChannelCount = 1;
    h.Params.BitsPerChannel = 1;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPnmCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(file, Bytes().str("P4\n2 1\n").u8(0x40).v);
}

TEST(PnmWrite, GraymapOfColourUsesLuminance) {
    ImageHolder h;
    h.Image = test::RgbImage(1, 1, {R});
    std::vector<std::uint8_t> file;
    ASSERT_EQ(WritePnm(h, file, PnmKind::Graymap), ImageError::None);
    EXPECT_EQ(file, Bytes().str("P5\n1 1\n255\n").u8(76).v);
}

TEST(PnmWrite, KindForExtension) {
    EXPECT_EQ(PnmKindForExtension(".pbm"), PnmKind::Bitmap);
    EXPECT_EQ(PnmKindForExtension(".PGM"), PnmKind::Graymap);
    EXPECT_EQ(PnmKindForExtension(".ppm"), PnmKind::Pixmap);
    EXPECT_EQ(PnmKindForExtension(".pxm"), PnmKind::Auto);
    EXPECT_EQ(PnmKindForExtension(""), PnmKind::Auto);
}

using test::MalformedCase;

INSTANTIATE_TEST_SUITE_P(
    Pnm, DamagedFile,
    testing::ValuesIn(test::ForCodec(
        kPnmCodec,
        std::vector<MalformedCase>{
            MalformedCase{"Empty", {}}, MalformedCase{"PamIsNotRead", Text("P7\nWIDTH 1\n")},
            MalformedCase{"NoDimensions", Text("P3\n")},
            MalformedCase{"ZeroWidth", Text("P2 0 1 255 0")},
            MalformedCase{"MaxvalZero", Text("P2 1 1 0 0")},
            MalformedCase{"MaxvalAbove65535", Text("P2 1 1 70000 0")},
            MalformedCase{"NumberTooLong", Text("P5 1234567890 1 255\n")},
            MalformedCase{"NoSpaceBeforeRaster", Text("P5 1 1 255")},
            MalformedCase{"RawRasterCutShort", Bytes().str("P6 2 2 255\n").fill(11, 0).v},
            MalformedCase{"SixteenBitRasterCutShort", Bytes().str("P5 2 1 300\n").fill(3, 0).v},
            MalformedCase{"PlainRasterCutShort", Text("P2 2 2 255 1 2 3")},
            MalformedCase{"PlainBitmapBadCharacter", Text("P1 2 1 0 x")},
            MalformedCase{"HugeDimensions", Text("P6 100000 100000 255\n")},
            MalformedCase{"LargeHeaderTinyPlainData", Text("P3 10000 10000 255 1 2 3")}})),
    test::CaseName<MalformedCase>);

}  // namespace
}  // namespace gw
