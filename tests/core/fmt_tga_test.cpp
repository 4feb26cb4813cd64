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

// The 18-byte header; the colour map and pixels follow as the caller appends them.
Bytes Header(unsigned type, unsigned w, unsigned h, unsigned depth, unsigned descriptor = 0,
             unsigned mapLength = 0, unsigned mapBits = 0, unsigned mapFirst = 0,
             unsigned idLength = 0) {
    Bytes b;
    b.u8(idLength).u8(mapLength ? 1 : 0).u8(type).u16le(mapFirst).u16le(mapLength).u8(mapBits);
    b.u16le(0).u16le(0).u16le(w).u16le(h).u8(depth).u8(descriptor);
    return b;
}

ImageHolder Read(const std::vector<std::uint8_t>& file, bool* ok = nullptr) {
    ImageHolder h;
    bool r = kTgaCodec.Read(h, file, ReadOptions{}) == ImageError::None;
    if (ok) *ok = r;
    return h;
}

std::vector<DecodeCase> DecodeCases() {
    using PF = PixelFormat;
    std::vector<DecodeCase> v;
    // Without the top-down bit the first stored row is the bottom row.
    v.push_back(
        {"ColourMappedBottomUp",
         Header(1, 2, 2, 8, 0, 3, 24).u8s({255, 0, 0, 0, 255, 0, 0, 0, 255}).u8s({0, 1, 2, 2}).v,
         2,
         2,
         PF::ie24RGB,
         {R, R, B, G},
         {},
         1,
         8,
         false});
    v.push_back({"ColourMapFirstEntryAnd16BitEntries",
                 Header(1, 3, 1, 8, 0x20, 2, 16, 5).u16le(0x7c00).u16le(0x001f).u8s({5, 6, 0}).v,
                 3,
                 1,
                 PF::ie24RGB,
                 {R, B, K},
                 {},
                 1,
                 8,
                 false});
    v.push_back({"ColourMapWithAlphaEntries",
                 Header(1, 2, 1, 8, 0x28, 2, 32).u8s({0, 0, 255, 10, 0, 255, 0, 255}).u8s({0, 1}).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {R, G},
                 {10, 255},
                 1,
                 8,
                 false});
    v.push_back(
        {"ColourMappedRle",
         Header(9, 4, 1, 8, 0x20, 2, 24).u8s({0, 0, 0, 255, 255, 255}).u8s({0x82, 1, 0x00, 0}).v,
         4,
         1,
         PF::ie24RGB,
         {W, W, W, K},
         {},
         1,
         8,
         true});
    v.push_back({"TrueColour24TopDown",
                 Header(2, 2, 2, 24, 0x20).u8s({0, 0, 255, 0, 255, 0, 255, 0, 0, 1, 2, 3}).v,
                 2,
                 2,
                 PF::ie24RGB,
                 {R, G, B, Rgb{3, 2, 1}},
                 {},
                 3,
                 8,
                 false});
    v.push_back({"TrueColour24RightToLeft",
                 Header(2, 3, 1, 24, 0x30).u8s({0, 0, 255, 0, 255, 0, 255, 0, 0}).v,
                 3,
                 1,
                 PF::ie24RGB,
                 {B, G, R},
                 {},
                 3,
                 8,
                 false});
    v.push_back({"TrueColour32WithAlpha",
                 Header(2, 2, 1, 32, 0x28).u8s({0, 0, 255, 128, 255, 0, 0, 255}).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {128, 255},
                 4,
                 8,
                 false});
    v.push_back({"TrueColour32AllZeroAlphaIsOpaque",
                 Header(2, 2, 1, 32, 0x20).u8s({0, 0, 255, 0, 255, 0, 0, 0}).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {},
                 3,
                 8,
                 false});
    v.push_back({"TrueColour16AttributeBitAsAlpha",
                 Header(2, 2, 1, 16, 0x21).u16le(0x7c00).u16le(0x83e0).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {R, G},
                 {0, 255},
                 4,
                 8,
                 false});
    v.push_back({"TrueColour15",
                 Header(2, 2, 1, 15, 0x20).u16le(0x001f).u16le(0x4210).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {B, Rgb{132, 132, 132}},
                 {},
                 3,
                 8,
                 false});
    v.push_back({"TrueColourRleRunCrossesRows",
                 Header(10, 2, 2, 24, 0x20).u8s({0x82, 0, 0, 255}).u8s({0x00, 0, 255, 0}).v,
                 2,
                 2,
                 PF::ie24RGB,
                 {R, R, R, G},
                 {},
                 3,
                 8,
                 true});
    v.push_back({"Grey8",
                 Header(3, 2, 1, 8, 0x20).u8s({0, 200}).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {K, Rgb{200, 200, 200}},
                 {},
                 1,
                 8,
                 false});
    v.push_back({"GreyRle",
                 Header(11, 3, 1, 8, 0x20).u8s({0x81, 9, 0x00, 255}).v,
                 3,
                 1,
                 PF::ie24RGB,
                 {Rgb{9, 9, 9}, Rgb{9, 9, 9}, W},
                 {},
                 1,
                 8,
                 true});
    v.push_back({"GreyWithAlpha",
                 Header(3, 2, 1, 16, 0x28).u8s({50, 0, 60, 255}).v,
                 2,
                 1,
                 PF::ie24RGB,
                 {Rgb{50, 50, 50}, Rgb{60, 60, 60}},
                 {0, 255},
                 2,
                 8,
                 false});
    v.push_back({"OneBitGrey",
                 Header(3, 10, 2, 1, 0).u8s({0x00, 0x40, 0xA0, 0x80}).v,
                 10,
                 2,
                 PF::ie1g,
                 {W, K, W, K, K, K, K, K, W, K, K, K, K, K, K, K, K, K, K, W},
                 {},
                 1,
                 1,
                 false});
    v.push_back({"IdentificationFieldSkipped",
                 Header(2, 1, 1, 24, 0, 0, 0, 0, 3).str("abc").u8s({1, 2, 3}).v,
                 1,
                 1,
                 PF::ie24RGB,
                 {Rgb{3, 2, 1}},
                 {},
                 3,
                 8,
                 false});
    {
        // Extension area attributes type 2: the fourth byte is not alpha.
        Bytes f = Header(2, 1, 1, 32, 0x28).u8s({1, 2, 3, 4});
        const std::uint32_t ext = static_cast<std::uint32_t>(f.size());
        f.u16le(495).fill(492, 0).u8(2);
        f.u32le(ext).u32le(0).str("TRUEVISION-XFILE.").u8(0);
        v.push_back(
            {"ExtensionAreaSaysNoAlpha", f.v, 1, 1, PF::ie24RGB, {Rgb{3, 2, 1}}, {}, 3, 8, false});
    }
    return v;
}

INSTANTIATE_TEST_SUITE_P(Tga, ReferenceDecode,
                         testing::ValuesIn(test::ForCodec(kTgaCodec, DecodeCases())),
                         test::CaseName<DecodeCase>);

TEST(TgaRead, RecordsColourMapAndDefaultResolution) {
    ImageHolder h;
    h.Params.HorizontalDpi = 72;
    std::vector<std::uint8_t> f = Header(1, 1, 1, 8, 0, 2, 24).u8s({0, 0, 255, 0, 255, 0, 1}).v;
    ASSERT_EQ(kTgaCodec.Read(h, f, ReadOptions{}), ImageError::None);
    EXPECT_EQ(h.Params.Palette, (std::vector<Rgb>{R, G}));
    EXPECT_EQ(h.Params.PaletteCount, 2);
    EXPECT_EQ(h.Params.HorizontalDpi, 300);
}

TEST(TgaProbe, ConsistencyChecks) {
    EXPECT_TRUE(kTgaCodec.Probe(Header(2, 1, 1, 24).u8s({0, 0, 0}).v));
    // The start of a one-image icon stream is not a Targa file.
    EXPECT_FALSE(kTgaCodec.Probe(
        Bytes()
            .u8s({0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 0, 0, 0, 0, 0x28, 0, 0, 0, 0x16, 0})
            .fill(40, 0)
            .v));
    EXPECT_FALSE(kTgaCodec.Probe(Header(2, 1, 1, 24).v));                       // no pixel data
    EXPECT_FALSE(kTgaCodec.Probe(Header(2, 1, 1, 24, 0xc0).u8s({0, 0, 0}).v));  // interleave bits
    EXPECT_FALSE(kTgaCodec.Probe(Header(1, 1, 1, 8, 0, 200, 24).u8s({0, 0, 0}).v));  // short map
    EXPECT_FALSE(kTgaCodec.Probe(Header(2, 1, 1, 12).u8s({0, 0, 0}).v));
    EXPECT_FALSE(kTgaCodec.Probe(Header(3, 1, 1, 8, 9).u8s({0, 0, 0}).v));  // alpha bits > depth
}

struct WriteCase {
    std::string name;
    int channels, bits;
    bool alpha;
    bool compressedBefore;
    unsigned expectType, expectDepth;
    bool compressedAfter;
};

class TgaWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(TgaWrite, RoundTripsAtDeclaredDepth) {
    const WriteCase& c = GetParam();
    ImageHolder h;
    if (c.bits == 1)
        h.Image = test::BlackWhite({"#..#.#.#.#", "..##....##", "##########"});
    else if (c.channels == 1)
        h.Image = test::FewColours(9, 4, 12);
    else
        h.Image = test::Gradient(9, 4);
    if (c.alpha) {
        h.Image.AddAlpha(255);
        h.Image.Alpha()[2] = 0;
        h.Image.Alpha()[5] = 99;
    }
    h.Params.ChannelCount = c.channels;
    h.Params.BitsPerChannel = c.bits;
    h.Params.TGA_Compressed = c.compressedBefore;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kTgaCodec.Write(h, file), ImageError::None);
    ASSERT_GE(file.size(), 18u + 26u);
    EXPECT_EQ(file[2], c.expectType);
    EXPECT_EQ(file[16], c.expectDepth);
    EXPECT_EQ(h.Params.TGA_Compressed, c.compressedAfter);
    EXPECT_TRUE(kTgaCodec.Probe(file));

    bool ok = false;
    ImageHolder back = Read(file, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
    EXPECT_EQ(back.Image.Alpha(), h.Image.Alpha());
}

INSTANTIATE_TEST_SUITE_P(
    Depths, TgaWrite,
    testing::Values(WriteCase{"OneBit", 1, 1, false, true, 3, 1, false},
                    WriteCase{"SixteenColours", 1, 4, false, true, 1, 8, false},
                    WriteCase{"TwoHundredFiftySixColoursRle", 1, 8, false, true, 9, 8, true},
                    WriteCase{"TwoHundredFiftySixColoursRaw", 1, 8, false, false, 1, 8, false},
                    WriteCase{"TwentyFourBitsRle", 3, 8, false, true, 10, 24, true},
                    WriteCase{"TwentyFourBitsRaw", 3, 8, false, false, 2, 24, false},
                    WriteCase{"ThirtyTwoBits", 4, 8, true, true, 2, 32, false},
                    WriteCase{"FourChannelsWithoutAlphaAreTwentyFour", 4, 8, false, true, 10, 24,
                              true}),
    [](const auto& info) { return info.param.name; });

TEST(TgaWrite, ThirtyTwoBitSaveSwitchesLaterSavesToUncompressed) {
    ImageHolder h;
    h.Image = test::Gradient(4, 4);
    h.Image.AddAlpha(128);
    h.Params.ChannelCount = 4;
    std::vector<std::uint8_t> first, second;
    ASSERT_EQ(kTgaCodec.Write(h, first), ImageError::None);
    EXPECT_EQ(first[17] & 15, 8);
    h.Image.RemoveAlpha();
    h.Params.ChannelCount = 3;
    ASSERT_EQ(kTgaCodec.Write(h, second), ImageError::None);
    EXPECT_EQ(second[2], 2);  // uncompressed true colour
    EXPECT_EQ(second.size(), 18u + 4 * 4 * 3 + 26u);
}

TEST(TgaWrite, RunLengthPacketsCoverLongRunsAndMixedRows) {
    ImageHolder h;
    std::vector<Rgb> px(300 * 2, R);
    for (int x = 0; x < 300; x += 7) px[x] = G;
    for (int x = 0; x < 300; ++x) px[300 + x] = Rgb{static_cast<std::uint8_t>(x), 0, 0};
    h.Image = test::RgbImage(300, 2, px);
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kTgaCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(file[2], 10);
    EXPECT_LT(file.size(), 18u + 300 * 2 * 3 + 26u);
    ImageHolder back = Read(file);
    EXPECT_EQ(test::PixelsOf(back.Image), px);
}

TEST(TgaWrite, TooLargeForTheHeaderIsRefused) {
    ImageHolder h;
    h.Image.Allocate(70000, 1, PixelFormat::ie1g);
    std::vector<std::uint8_t> file;
    EXPECT_NE(kTgaCodec.Write(h, file), ImageError::None);
}

using test::MalformedCase;

std::vector<MalformedCase> MalformedCases() {
    std::vector<MalformedCase> v;
    v.push_back({"Empty", {}, false});
    v.push_back({"HeaderCutShort", Header(2, 1, 1, 24).v, false});
    v.push_back({"HugeDimensions", Header(2, 65535, 65535, 24).v, false});
    v.push_back({"ZeroWidth", Header(2, 0, 1, 24).u8s({0, 0, 0}).v, false});
    v.push_back({"UnknownImageType", Header(32, 1, 1, 8).u8s({0, 0, 0}).v, false});
    v.push_back({"MappedWithoutColourMap", Header(1, 1, 1, 8).u8s({0}).v, false});
    v.push_back(
        {"MappedWith24BitIndices", Header(1, 1, 1, 24, 0, 1, 24).u8s({0, 0, 0, 0}).v, false});
    v.push_back({"BadColourMapEntrySize", Header(1, 1, 1, 8, 0, 1, 8).u8s({0, 0}).v, false});
    v.push_back({"ColourMapCutShort", Header(1, 1, 1, 8, 0, 4, 24).u8s({0, 0, 0}).v, false});
    v.push_back({"RawPixelsCutShort", Header(2, 2, 2, 24).fill(11, 0).v, false});
    v.push_back({"OneBitRowsCutShort", Header(3, 9, 2, 1).u8s({0, 0, 0}).v, false});
    v.push_back({"OneBitRle", Header(11, 8, 1, 1).u8s({0x80, 0}).v, false});
    v.push_back({"RleDataEndsEarly", Header(10, 4, 4, 24).u8s({0x83, 1, 2, 3}).v, true});
    v.push_back(
        {"RlePacketRunsPastImage", Header(10, 2, 1, 24).u8s({0xff, 1, 2, 3, 0x7f, 1}).v, true});
    v.push_back({"RleRawPacketCutShort", Header(10, 4, 1, 24).u8s({0x03, 1, 2, 3, 4}).v, true});
    v.push_back(
        {"IndexOutsideColourMap", Header(1, 2, 1, 8, 0, 1, 24).u8s({0, 0, 0, 0, 7}).v, true});
    v.push_back({"IdentificationFieldPastEnd", Header(2, 1, 1, 24, 0, 0, 0, 0, 200).v, false});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Tga, DamagedFile,
                         testing::ValuesIn(test::ForCodec(kTgaCodec, MalformedCases())),
                         test::CaseName<MalformedCase>);

}  // namespace
}  // namespace gw
