#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "support/decode_table.h"
#include "support/picture_bytes.h"

namespace gw {
namespace {

using test::Bytes;

constexpr Rgb K{0, 0, 0}, W{255, 255, 255};

TEST(WbmpRead, ReferencePixels) {
    // 10 × 2: bit 1 is white, rows padded to whole bytes.
    const std::vector<std::uint8_t> file = Bytes().u8s({0, 0, 10, 2, 0x80, 0x40, 0x00, 0xc0}).v;
    EXPECT_TRUE(kWbmpCodec.Probe(file));
    ImageHolder h;
    h.Params.HorizontalDpi = 72;
    ASSERT_EQ(kWbmpCodec.Read(h, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(h.Image.Format(), PixelFormat::ie1g);
    EXPECT_EQ(test::PixelsOf(h.Image),
              (std::vector<Rgb>{W, K, K, K, K, K, K, K, K, W, K, K, K, K, K, K, K, K, W, W}));
    EXPECT_EQ(h.Params.ChannelCount, 1);
    EXPECT_EQ(h.Params.BitsPerChannel, 1);
    EXPECT_EQ(h.Params.HorizontalDpi, 300);
}

TEST(WbmpRead, BitsPastTheRowEndAreCleared) {
    ImageHolder h;
    ASSERT_EQ(kWbmpCodec.Read(h, Bytes().u8s({0, 0, 3, 1, 0xff}).v, ReadOptions{}),
              ImageError::None);
    EXPECT_EQ(h.Image.Row(0)[0], 0xe0);
}

TEST(WbmpRead, MultiByteDimensions) {
    // Width 200 = 0x81 0x48; height 1.
    Bytes f = Bytes().u8s({0, 0, 0x81, 0x48, 1}).fill(25, 0xff);
    ImageHolder h;
    ASSERT_EQ(kWbmpCodec.Read(h, f.v, ReadOptions{}), ImageError::None);
    EXPECT_EQ(h.Image.Width(), 200);
    EXPECT_EQ(h.Image.PixelRgb(199, 0), W);
}

TEST(WbmpWrite, RoundTripsAndWritesTheReferenceBytes) {
    ImageHolder h;
    h.Image = test::BlackWhite({".#########", "#########."});
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kWbmpCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(file, Bytes().u8s({0, 0, 10, 2, 0x80, 0x00, 0x00, 0x40}).v);
    ImageHolder back;
    ASSERT_EQ(kWbmpCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
}

TEST(WbmpWrite, ColourImagesAreThresholdedAndLargeSizesUseSeveralBytes) {
    ImageHolder h;
    std::vector<Rgb> px(300, Rgb{200, 200, 200});
    px[0] = Rgb{20, 40, 10};
    h.Image = test::RgbImage(300, 1, px);
    h.Image.AddAlpha(0);
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kWbmpCodec.Write(h, file), ImageError::None);
    ASSERT_EQ(file.size(), 2u + 2 + 1 + 38);
    EXPECT_EQ(file[2], 0x82);  // 300 = 2 × 128 + 44
    EXPECT_EQ(file[3], 44);
    ImageHolder back;
    ASSERT_EQ(kWbmpCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(back.Image.PixelRgb(0, 0), K);
    EXPECT_EQ(back.Image.PixelRgb(1, 0), W);
}

using test::MalformedCase;
using test::RejectedFile;

INSTANTIATE_TEST_SUITE_P(
    Wbmp, RejectedFile,
    testing::ValuesIn(test::ForCodec(
        kWbmpCodec,
        std::vector<MalformedCase>{
            MalformedCase{"Empty", {}}, MalformedCase{"TypeOne", Bytes().u8s({1, 0, 1, 1, 0}).v},
            MalformedCase{"ReservedHeaderBits", Bytes().u8s({0, 0x01, 1, 1, 0}).v},
            MalformedCase{"ZeroHeight", Bytes().u8s({0, 0, 1, 0, 0}).v},
            // The start of a one-image icon stream.
            MalformedCase{"IconStreamStart", Bytes().u8s({0, 0, 1, 0, 1, 0, 32, 32}).v},
            MalformedCase{"DimensionNeverEnds",
                          Bytes().u8s({0, 0, 0xff, 0xff, 0xff, 0xff, 0xff}).v},
            MalformedCase{"HugeDimensions",
                          Bytes().u8s({0, 0, 0x86, 0x8d, 0x20, 0x86, 0x8d, 0x20}).v},
            MalformedCase{"RowsCutShort", Bytes().u8s({0, 0, 10, 3, 0, 0, 0, 0, 0}).v}})),
    test::CaseName<MalformedCase>);

}  // namespace
}  // namespace gw
