#include "imagefile/formats/hdphoto.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/formats/registry.h"
#include "support/picture_bytes.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

std::vector<std::uint8_t> Encode(const RasterImage& image, int channels = 3, int dpi = 300) {
    ImageHolder holder;
    holder.Image = image;
    holder.Params.ChannelCount = channels;
    holder.Params.HorizontalDpi = holder.Params.VerticalDpi = dpi;
    std::vector<std::uint8_t> out;
    EXPECT_EQ(kHdPhotoCodec.Write(holder, out), ImageError::None);
    return out;
}

RasterImage GreyImage(int w, int h) {
    RasterImage image;
    image.Allocate(w, h, PixelFormat::ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto v = static_cast<std::uint8_t>(x * 13 + y * 7);
            image.SetPixelRgb(x, y, Rgb{v, v, v});
        }
    return image;
}

// ---- round trips ----

struct RoundTrip {
    const char* name;
    int width, height;
    int channels;
    bool grey, alpha;
    int expectChannels;
};

class HdPhotoRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(HdPhotoRoundTrip, IsLossless) {
    const RoundTrip& c = GetParam();
    RasterImage source =
        c.grey ? GreyImage(c.width, c.height) : test::GradientImage(c.width, c.height);
    if (c.alpha) test::AddAlphaPattern(source);
    const auto bytes = Encode(source, c.channels);
    EXPECT_TRUE(kHdPhotoCodec.Probe(bytes));
    ImageHolder back;
    ASSERT_EQ(kHdPhotoCodec.Read(back, bytes, {}), ImageError::None);
    ASSERT_EQ(back.Image.Width(), c.width);
    ASSERT_EQ(back.Image.Height(), c.height);
    EXPECT_EQ(test::FirstColourDifference(back.Image, source), "");
    EXPECT_EQ(back.Image.HasAlpha(), c.alpha);
    if (c.alpha) {
        EXPECT_EQ(back.Image.Alpha(), source.Alpha());
    }
    EXPECT_EQ(back.Params.ChannelCount, c.expectChannels);
    EXPECT_EQ(back.Params.ImageWidth, c.width);
}

INSTANTIATE_TEST_SUITE_P(Cases, HdPhotoRoundTrip,
                         ::testing::Values(RoundTrip{"Rgb", 37, 21, 3, false, false, 3},
                                           RoundTrip{"Grey", 20, 17, 1, true, false, 1},
                                           RoundTrip{"GreyDeclaredColour", 8, 8, 3, true, false, 3},
                                           RoundTrip{"RgbAlpha", 18, 19, 4, false, true, 4},
                                           RoundTrip{"OnePixel", 1, 1, 3, false, false, 3},
                                           RoundTrip{"Wide", 70, 2, 3, false, false, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HdPhotoWriter, ResolutionIsStored) {
    ImageHolder back;
    ASSERT_EQ(kHdPhotoCodec.Read(back, Encode(test::GradientImage(4, 4), 3, 96), {}),
              ImageError::None);
    EXPECT_EQ(back.Params.HorizontalDpi, 96);
    EXPECT_EQ(back.Params.VerticalDpi, 96);
}

TEST(HdPhotoWriter, AppendsAfterExistingBytesAndRejectsEmptyImages) {
    ImageHolder holder;
    std::vector<std::uint8_t> out = {9, 9};
    EXPECT_NE(kHdPhotoCodec.Write(holder, out), ImageError::None);
    EXPECT_EQ(out.size(), 2u);
    holder.Image = test::GradientImage(5, 3);
    ASSERT_EQ(kHdPhotoCodec.Write(holder, out), ImageError::None);
    EXPECT_EQ(out[0], 9);
    ImageHolder back;
    ASSERT_EQ(kHdPhotoCodec.Read(back, std::span(out).subspan(2), {}), ImageError::None);
    EXPECT_EQ(back.Image.Width(), 5);
}

// ---- malformed input ----

// The value field of a tag in the first directory.
std::size_t TagValueAt(const std::vector<std::uint8_t>& file, unsigned tag) {
    ByteReader r(file);
    r.seek(4);
    const std::uint32_t ifd = r.u32le();
    r.seek(ifd);
    const unsigned count = r.u16le();
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = ifd + 2 + 12 * i;
        if (static_cast<unsigned>(file[at] | (file[at + 1] << 8)) == tag) return at + 8;
    }
    ADD_FAILURE() << "no tag " << tag;
    return 0;
}

std::vector<std::uint8_t> WithTag(std::vector<std::uint8_t> file, unsigned tag, std::uint32_t v) {
    const std::size_t at = TagValueAt(file, tag);
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return file;
}

TEST(HdPhotoReader, MalformedInputFailsCleanly) {
    const auto good = Encode(test::GradientImage(40, 24));
    const auto withAlpha = [] {
        RasterImage image = test::GradientImage(16, 16);
        test::AddAlphaPattern(image);
        return Encode(image, 4);
    }();
    std::vector<std::uint8_t> garbage(300);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 57 + 11);
    garbage[0] = garbage[1] = 'I';
    garbage[2] = 0xBC;
    garbage[3] = 1;
    garbage[4] = 8, garbage[5] = garbage[6] = garbage[7] = 0;
    std::vector<std::uint8_t> scrambled = good;
    const std::size_t imageAt = TagValueAt(good, 0xBCC0);
    const std::uint32_t imageOffset = good[imageAt] | (good[imageAt + 1] << 8) |
                                      (good[imageAt + 2] << 16) | (good[imageAt + 3] << 24);
    for (std::size_t i = imageOffset + 40; i < scrambled.size(); ++i)
        scrambled[i] = static_cast<std::uint8_t>(i * 131);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"Empty", {}},
        {"SignatureOnly", {'I', 'I', 0xBC, 1}},
        {"DirectoryOutside", test::Bytes{}.u8s({'I', 'I', 0xBC, 1}).u32le(0xFFFFFF00).v},
        {"Garbage", garbage},
        {"TruncatedDirectory", {good.begin(), good.begin() + 30}},
        {"TruncatedImage", {good.begin(), good.end() - 20}},
        {"HugeWidth", WithTag(good, 0xBC80, 0x7FFFFFFF)},
        {"HugeHeightAndWidth", WithTag(WithTag(good, 0xBC80, 60000), 0xBC81, 60000)},
        {"ImageOffsetOutside", WithTag(good, 0xBCC0, 0x7FFFFFF0)},
        {"ImageLengthOutside", WithTag(good, 0xBCC1, 0x7FFFFFF0)},
        {"AlphaOffsetOutside", WithTag(withAlpha, 0xBCC2, 0x7FFFFFF0)},
        {"RegressionTransformationOutOfRangeAborted", WithTag(good, 0xBC02, 9)},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        EXPECT_NE(kHdPhotoCodec.Read(holder, c.bytes, {}), ImageError::None) << c.name;
    }
    // Damaged coded data must not crash; whether something is decoded is the library's call.
    ImageHolder holder;
    kHdPhotoCodec.Read(holder, scrambled, {});
}

// ---- registry ----

TEST(HdPhotoRegistry, RowCarriesTheCodecWhenGiven) {
    const auto rows = BuildImageFormatRegistry(&kHdPhotoCodec);
    ASSERT_EQ(rows.back().Type, kTypeHdPhoto);
    EXPECT_EQ(rows.back().Codec, &kHdPhotoCodec);
    const auto bytes = Encode(test::GradientImage(6, 6));
    EXPECT_TRUE(kHdPhotoCodec.Probe(bytes));
    EXPECT_FALSE(kHdPhotoCodec.Probe(test::Bytes{}.u8s({'I', 'I', 42, 0}).v));
}

}  // namespace
}  // namespace gw
