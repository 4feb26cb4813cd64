#include "imagefile/bytereader.h"

#include <gtest/gtest.h>

#include <vector>

#include "imagefile/limits.h"
#include "imagefile/raster.h"

namespace gw {
namespace {

TEST(ByteReader, ReadsLittleAndBigEndian) {
    const std::vector<std::uint8_t> d{1, 2, 3, 4, 5, 6};
    ByteReader r(d);
    EXPECT_EQ(r.u16le(), 0x0201);
    EXPECT_EQ(r.u32be(), 0x03040506u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 0u);
}

TEST(ByteReader, ReadPastEndGivesZeroAndFailsForGood) {
    const std::vector<std::uint8_t> d{0xff, 0xff, 0xff};
    ByteReader r(d);
    EXPECT_EQ(r.u32le(), 0u);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.pos(), 3u);
    r.seek(0);
    EXPECT_EQ(r.u8(), 0xff);
    EXPECT_FALSE(r.ok());
}

TEST(ByteReader, HugeOffsetsDoNotWrap) {
    const std::vector<std::uint8_t> d(16, 7);
    ByteReader r(d);
    EXPECT_FALSE(r.has(~std::uint64_t{0}, 2));
    EXPECT_FALSE(r.has(8, ~std::uint64_t{0} - 4));
    EXPECT_TRUE(r.at(0xffffffffull, 1).empty());
    EXPECT_FALSE(r.skip(~std::uint64_t{0}));
    EXPECT_TRUE(r.take(1).empty());
}

TEST(Limits, RejectsOverflowingSizes) {
    std::uint64_t out = 0;
    EXPECT_FALSE(CheckedMul(std::uint64_t{1} << 40, std::uint64_t{1} << 30, &out));
    EXPECT_FALSE(ImageSizeAllowed(100000, 100000));
    EXPECT_FALSE(ImageSizeAllowed(0, 5));
    EXPECT_TRUE(ImageSizeAllowed(4000, 3000));
    RasterImage img;
    EXPECT_FALSE(img.Allocate(100000, 100000, PixelFormat::ie24RGB));
    EXPECT_TRUE(img.Empty());
}

TEST(RasterImage, RowsArePaddedToFourBytes) {
    EXPECT_EQ(RasterImage::StrideFor(PixelFormat::ie1g, 1), 4u);
    EXPECT_EQ(RasterImage::StrideFor(PixelFormat::ie1g, 33), 8u);
    EXPECT_EQ(RasterImage::StrideFor(PixelFormat::ie24RGB, 5), 16u);
    EXPECT_EQ(RasterImage::StrideFor(PixelFormat::ie8p, 5), 8u);
}

TEST(RasterImage, ExpandsOneBitAndPaletteToRgb) {
    RasterImage bw;
    ASSERT_TRUE(bw.Allocate(2, 1, PixelFormat::ie1g));
    bw.Row(0)[0] = 0x80;
    RasterImage rgb = bw.ToRgb24();
    EXPECT_EQ(rgb.PixelRgb(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(rgb.PixelRgb(1, 0), (Rgb{0, 0, 0}));

    RasterImage pal;
    ASSERT_TRUE(pal.Allocate(1, 1, PixelFormat::ie8p));
    pal.Palette() = {{1, 2, 3}, {10, 20, 30}};
    pal.Row(0)[0] = 1;
    EXPECT_EQ(pal.ToRgb24().PixelRgb(0, 0), (Rgb{10, 20, 30}));
}

}  // namespace
}  // namespace gw
