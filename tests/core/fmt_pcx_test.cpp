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

struct Head {
    unsigned version = 5, encoding = 1, bpp = 8, planes = 1, width = 1, height = 1, bpl = 2;
    std::vector<Rgb> palette;  // header palette, padded to 16 entries
    unsigned hdpi = 0, vdpi = 0;
    unsigned xMin = 0;
};

Bytes Pcx(const Head& h) {
    Bytes b;
    b.u8(10).u8(h.version).u8(h.encoding).u8(h.bpp);
    b.u16le(h.xMin).u16le(0).u16le(h.xMin + h.width - 1).u16le(h.height - 1);
    b.u16le(h.hdpi).u16le(h.vdpi);
    for (std::size_t i = 0; i < 16; ++i) {
        Rgb c = i < h.palette.size() ? h.palette[i] : Rgb{};
        b.u8s({c.r, c.g, c.b});
    }
    b.u8(0).u8(h.planes).u16le(h.bpl).u16le(1).u16le(0).u16le(0).fill(54, 0);
    return b;
}

Head Mk(unsigned version, unsigned encoding, unsigned bpp, unsigned planes, unsigned w, unsigned h,
        unsigned bpl, std::vector<Rgb> palette = {}) {
    Head x;
    x.version = version;
    x.encoding = encoding;
    x.bpp = bpp;
    x.planes = planes;
    x.width = w;
    x.height = h;
    x.bpl = bpl;
    x.palette = std::move(palette);
    return x;
}

std::vector<Rgb> SixteenWith(Rgb at5, Rgb at10) {
    std::vector<Rgb> p(16, Rgb{1, 2, 3});
    p[5] = at5;
    p[10] = at10;
    return p;
}

std::vector<Rgb> VgaPalette() {
    std::vector<Rgb> p(256, Rgb{7, 7, 7});
    p[1] = G;
    p[2] = B;
    return p;
}

Bytes& AppendVga(Bytes& b, const std::vector<Rgb>& p) {
    b.u8(12);
    for (Rgb c : p) b.u8s({c.r, c.g, c.b});
    return b;
}

std::vector<DecodeCase> DecodeCases() {
    using PF = PixelFormat;
    std::vector<DecodeCase> v;
    v.push_back({"MonoRle",
                 Pcx(Mk(5, 1, 1, 1, 10, 2, 2)).u8s({0xa0, 0x40, 0xc2, 0xff}).v,
                 10,
                 2,
                 PF::ie1g,
                 {W, K, W, K, K, K, K, K, K, W, W, W, W, W, W, W, W, W, W, W},
                 {},
                 1,
                 1});
    v.push_back({"MonoUncompressedHighByteIsLiteral",
                 Pcx(Mk(5, 0, 1, 1, 3, 1, 2)).u8s({0xc0, 0x00}).v,
                 3,
                 1,
                 PF::ie1g,
                 {W, W, K},
                 {},
                 1,
                 1});
    v.push_back({"MonoRunCrossesLines",
                 Pcx(Mk(5, 1, 1, 1, 8, 2, 2)).u8s({0xc4, 0xff}).v,
                 8,
                 2,
                 PF::ie1g,
                 std::vector<Rgb>(16, W),
                 {},
                 1,
                 1});
    v.push_back({"SixteenColourPlanes",
                 Pcx(Mk(5, 0, 1, 4, 2, 1, 2, SixteenWith(R, B)))
                     .u8s({0x80, 0, 0x40, 0, 0x80, 0, 0x40, 0})
                     .v,
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {},
                 1,
                 4});
    v.push_back({"VersionThreeUsesEgaPalette",
                 Pcx(Mk(3, 0, 1, 4, 2, 1, 2, SixteenWith(R, B)))
                     .u8s({0x80, 0, 0x40, 0, 0x80, 0, 0x40, 0})
                     .v,
                 2,
                 1,
                 PF::ie24RGB,
                 {Rgb{170, 0, 170}, Rgb{85, 255, 85}},
                 {},
                 1,
                 4});
    v.push_back({"FourBitPacked",
                 Pcx(Mk(5, 0, 4, 1, 3, 1, 2, SixteenWith(R, B))).u8s({0x5a, 0x10}).v,
                 3,
                 1,
                 PF::ie24RGB,
                 {R, B, Rgb{1, 2, 3}},
                 {},
                 1,
                 4});
    v.push_back({"TwoBitCga",
                 Pcx(Mk(5, 0, 2, 1, 4, 1, 2, {K, R, G, B})).u8s({0x1b, 0}).v,
                 4,
                 1,
                 PF::ie24RGB,
                 {K, R, G, B},
                 {},
                 1,
                 2});
    {
        Bytes f = Pcx(Mk(5, 1, 8, 1, 3, 1, 4)).u8s({0xc2, 1, 2, 0});
        v.push_back({"EightBitWithVgaPalette",
                     AppendVga(f, VgaPalette()).v,
                     3,
                     1,
                     PF::ie24RGB,
                     {G, G, B},
                     {},
                     1,
                     8});
    }
    v.push_back({"EightBitWithoutPaletteIsGrey",
                 Pcx(Mk(5, 0, 8, 1, 2, 1, 2)).u8s({10, 200}).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {Rgb{10, 10, 10}, Rgb{200, 200, 200}},
                 {},
                 1,
                 8});
    v.push_back({"TrueColourPlanes",
                 Pcx(Mk(5, 1, 8, 3, 2, 1, 2)).u8s({0xc1, 0xff, 0, 0xc2, 0, 0, 0xc1, 0xff}).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {},
                 3,
                 8});
    v.push_back({"TrueColourWithAlphaPlane",
                 Pcx(Mk(5, 0, 8, 4, 2, 1, 2)).u8s({255, 0, 0, 0, 0, 255, 128, 255}).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {128, 255},
                 4,
                 8});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Pcx, ReferenceDecode,
                         testing::ValuesIn(test::ForCodec(kPcxCodec, DecodeCases())),
                         test::CaseName<DecodeCase>);

TEST(PcxRead, RecordsResolutionVersionAndEncoding) {
    Head head = Mk(2, 0, 1, 1, 8, 1, 2);
    head.hdpi = 150;
    head.vdpi = 75;
    head.xMin = 100;  // the window need not start at 0
    ImageHolder h;
    std::vector<std::uint8_t> f = Pcx(head).u8s({0, 0}).v;
    ASSERT_EQ(kPcxCodec.Read(h, f, ReadOptions{}), ImageError::None);
    EXPECT_EQ(h.Image.Width(), 8);
    EXPECT_EQ(h.Params.HorizontalDpi, 150);
    EXPECT_EQ(h.Params.VerticalDpi, 75);
    EXPECT_EQ(h.Params.PCX_Version, 2);
    EXPECT_FALSE(h.Params.PCX_RLE);
}

struct WriteCase {
    std::string name;
    int channels, bits;
    bool alpha;
    unsigned expectBits, expectPlanes;
};

class PcxWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(PcxWrite, RoundTripsAtDeclaredDepth) {
    const WriteCase& c = GetParam();
    ImageHolder h;
    if (c.bits == 1)
        h.Image = test::BlackWhite({"#..#.#.#.#.", "..##....##.", "###########"});
    else if (c.channels == 1)
        h.Image = test::FewColours(11, 3, 12);
    else
        h.Image = test::Gradient(11, 3);
    if (c.alpha) h.Image.AddAlpha(40);
    h.Params.ChannelCount = c.channels;
    h.Params.BitsPerChannel = c.bits;
    h.Params.HorizontalDpi = 96;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPcxCodec.Write(h, file), ImageError::None);
    ASSERT_GE(file.size(), 128u);
    EXPECT_EQ(file[1], 5);
    EXPECT_EQ(file[2], 1);
    EXPECT_EQ(file[3], c.expectBits);
    EXPECT_EQ(file[65], c.expectPlanes);
    EXPECT_EQ((file[66] | (file[67] << 8)) % 2, 0);
    EXPECT_LE(h.Params.ChannelCount, 3);
    EXPECT_TRUE(kPcxCodec.Probe(file));

    ImageHolder back;
    ASSERT_EQ(kPcxCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
    EXPECT_FALSE(back.Image.HasAlpha());
    EXPECT_EQ(back.Params.HorizontalDpi, 96);
}

INSTANTIATE_TEST_SUITE_P(Depths, PcxWrite,
                         testing::Values(WriteCase{"Mono", 1, 1, false, 1, 1},
                                         WriteCase{"MonoFromThreeChannels", 3, 1, false, 1, 1},
                                         WriteCase{"SixteenColours", 1, 4, false, 1, 4},
                                         WriteCase{"TwoHundredFiftySixColours", 1, 8, false, 8, 1},
                                         WriteCase{"TrueColour", 3, 8, false, 8, 3},
                                         WriteCase{"FourChannelsWithAlpha", 4, 8, true, 8, 3}),
                         [](const auto& info) { return info.param.name; });

TEST(PcxWrite, LowersChannelCountToThree) {
    ImageHolder h;
    h.Image = test::Gradient(2, 2);
    h.Params.ChannelCount = 4;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPcxCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(h.Params.ChannelCount, 3);
    h.Params.ChannelCount = 1;
    h.Params.BitsPerChannel = 8;
    ASSERT_EQ(kPcxCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(h.Params.ChannelCount, 1);
}

TEST(PcxWrite, LongRunsAndHighBytesEncode) {
    ImageHolder h;
    std::vector<Rgb> px(200 * 2, Rgb{200, 0xc5, 0xff});
    px[3] = Rgb{0xc0, 0xc1, 0xfe};
    h.Image = test::RgbImage(200, 2, px);
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPcxCodec.Write(h, file), ImageError::None);
    EXPECT_LT(file.size(), 128u + 200 * 2 * 3);
    ImageHolder back;
    ASSERT_EQ(kPcxCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(back.Image), px);
}

TEST(PcxWrite, RecordsPaletteOfPaletteFiles) {
    ImageHolder h;
    h.Image = test::RgbImage(2, 1, {B, R});
    h.Params.ChannelCount = 1;
    h.Params.BitsPerChannel = 4;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPcxCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(h.Params.Palette, (std::vector<Rgb>{B, R}));
}

using test::MalformedCase;

std::vector<MalformedCase> MalformedCases() {
    std::vector<MalformedCase> v;
    auto cut = [](Bytes b, std::size_t n) {
        b.v.resize(n);
        return b.v;
    };
    v.push_back({"Empty", {}, false});
    v.push_back({"HeaderCutShort", cut(Pcx(Mk(5, 1, 8, 1, 1, 1, 2)), 100), false});
    {
        Bytes f = Pcx(Mk(5, 1, 8, 1, 1, 1, 2)).u8s({0, 0});
        f.v[0] = 11;
        v.push_back({"WrongManufacturer", f.v, false});
    }
    v.push_back({"VersionOne", Pcx(Mk(1, 1, 8, 1, 1, 1, 2)).u8s({0, 0}).v, false});
    v.push_back({"EncodingTwo", Pcx(Mk(5, 2, 8, 1, 1, 1, 2)).u8s({0, 0}).v, false});
    v.push_back({"ThreeBitsPerPixel", Pcx(Mk(5, 1, 3, 1, 1, 1, 2)).u8s({0, 0}).v, false});
    v.push_back({"TwoPlanesOfEightBits", Pcx(Mk(5, 1, 8, 2, 1, 1, 2)).u8s({0, 0}).v, false});
    v.push_back({"BytesPerLineTooSmall", Pcx(Mk(5, 1, 8, 1, 10, 1, 4)).u8s({0, 0}).v, false});
    v.push_back({"ZeroBytesPerLine", Pcx(Mk(5, 1, 1, 1, 1, 1, 0)).u8s({0, 0}).v, false});
    v.push_back({"HugeDimensions", Pcx(Mk(5, 1, 8, 1, 65535, 65535, 65535)).v, false});
    {
        Bytes f = Pcx(Mk(5, 1, 8, 1, 2, 2, 2));
        f.v[8] = 0;  // xMax below xMin
        f.v[4] = 5;
        v.push_back({"WindowInverted", f.u8s({0, 0}).v, false});
    }
    v.push_back({"UncompressedPixelsCutShort", Pcx(Mk(5, 0, 8, 3, 2, 2, 2)).fill(11, 0).v, false});
    v.push_back({"RleDataEndsEarly", Pcx(Mk(5, 1, 8, 3, 40, 40, 40)).u8s({0xc5, 9}).v, true});
    v.push_back({"RleRunWithoutValueByte", Pcx(Mk(5, 1, 8, 1, 4, 1, 4)).u8s({1, 0xc3}).v, true});
    v.push_back({"RleRunsPastImage", Pcx(Mk(5, 1, 1, 1, 8, 1, 2)).u8s({0xff, 0, 0xff, 0}).v, true});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Pcx, DamagedFile,
                         testing::ValuesIn(test::ForCodec(kPcxCodec, MalformedCases())),
                         test::CaseName<MalformedCase>);

}  // namespace
}  // namespace gw
