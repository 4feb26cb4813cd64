#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/formats/jp2.h"
#include "imagefile/formats/registry.h"
#include "support/icobuilder.h"
#include "support/metafile_builder.h"
#include "support/picture_bytes.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

using test::EncodeWith;

RasterImage WithAlpha(RasterImage image) {
    test::AddAlphaPattern(image);
    return image;
}

std::vector<std::uint8_t> IconOf(std::uint16_t type, int images) {
    std::vector<test::IcoEntry> entries;
    for (int i = 0; i < images; ++i) {
        test::DibSpec dib;
        dib.width = 4 + i;
        dib.height = 3 + i;
        dib.bitCount = 32;
        dib.pixels.assign(static_cast<std::size_t>(dib.width * dib.height), 0x80FF0000u);
        test::IcoEntry entry;
        entry.width = static_cast<std::uint8_t>(dib.width);
        entry.height = static_cast<std::uint8_t>(dib.height);
        entry.bitCount = 32;
        entry.payload = test::BuildDib(dib);
        entries.push_back(entry);
    }
    return test::BuildIconContainer(entries, type);
}

std::vector<std::uint8_t> Metafile() {
    test::WmfBuilder b;
    b.SetWindowOrg(0, 0).SetWindowExt(40, 20).Rectangle(0, 0, 40, 20);
    return b.BuildPlaceable(0, 0, 40, 20, 96);
}

std::vector<std::uint8_t> EnhancedMetafile() {
    test::EmfBuilder b;
    b.Rectangle(0, 0, 48, 32);
    return b.Build(2540, 2540 * 2 / 3);
}

struct InfoCase {
    std::string name;
    std::string path;
    std::vector<std::uint8_t> bytes;
    int type;
    int width;
    int height;
    int imageCount;
};

void PrintTo(const InfoCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<InfoCase> InfoCases() {
    const RasterImage rgb = test::GradientImage(7, 5);
    return {
        {"tiff", "a.tif", EncodeWith(kTiffCodec, rgb), kTypeTiff, 7, 5, 1},
        {"gif", "a.gif", EncodeWith(kGifCodec, rgb), kTypeGif, 7, 5, 1},
        {"gif with alpha", "a.gif", EncodeWith(kGifCodec, WithAlpha(rgb), 4, 8), kTypeGif, 7, 5, 1},
        {"jpeg", "a.jpg", EncodeWith(kJpegCodec, rgb), kTypeJpeg, 7, 5, 1},
        {"pcx", "a.pcx", EncodeWith(kPcxCodec, rgb), kTypePcx, 7, 5, 1},
        {"pcx 16 colours", "a.pcx", EncodeWith(kPcxCodec, test::FewColours(7, 5, 9), 1, 4),
         kTypePcx, 7, 5, 1},
        {"bmp", "a.bmp", EncodeWith(kBmpCodec, rgb), kTypeBmp, 7, 5, 1},
        {"bmp 1 bit", "a.bmp", EncodeWith(kBmpCodec, test::CheckerBits(9, 3, 1), 1, 1), kTypeBmp, 9,
         3, 1},
        {"icon", "a.ico", IconOf(1, 2), kTypeIco, 4, 3, 2},
        {"cursor", "a.cur", IconOf(2, 1), kTypeCur, 4, 3, 1},
        {"png", "a.png", EncodeWith(kPngCodec, rgb), kTypePng, 7, 5, 1},
        {"png with alpha", "a.png", EncodeWith(kPngCodec, WithAlpha(rgb), 4, 8), kTypePng, 7, 5, 1},
        {"png palette", "a.png", EncodeWith(kPngCodec, test::FewColours(7, 5, 9), 1, 4), kTypePng,
         7, 5, 1},
        {"metafile", "a.wmf", Metafile(), kTypeWmf, 40, 20, 1},
        {"enhanced metafile", "a.emf", EnhancedMetafile(), kTypeEmf, 96, 64, 1},
        {"targa", "a.tga", EncodeWith(kTgaCodec, rgb), kTypeTga, 7, 5, 1},
        {"targa with alpha", "a.tga", EncodeWith(kTgaCodec, WithAlpha(rgb), 4, 8), kTypeTga, 7, 5,
         1},
        {"pixmap", "a.ppm", EncodeWith(kPnmCodec, rgb), kTypePnm, 7, 5, 1},
        {"bitmap", "a.pbm", EncodeWith(kPnmCodec, test::CheckerBits(9, 3, 1), 1, 1), kTypePnm, 9, 3,
         1},
        {"wireless bitmap", "a.wbmp", EncodeWith(kWbmpCodec, test::CheckerBits(9, 3, 1), 1, 1),
         kTypeWbmp, 9, 3, 1},
        {"jpeg 2000", "a.jp2", EncodeWith(kJp2Codec, rgb), kTypeJp2, 7, 5, 1},
        {"jpeg 2000 code stream", "a.j2k", EncodeWith(kJ2kCodec, rgb), kTypeJ2k, 7, 5, 1},
        {"dcx", "a.dcx", EncodeWith(kDcxCodec, rgb), kTypeDcx, 7, 5, 1},
        {"photoshop", "a.psd", EncodeWith(kPsdCodec, WithAlpha(rgb), 4, 8), kTypePsd, 7, 5, 1},
    };
}

class ImageInfoTest : public ::testing::TestWithParam<InfoCase> {};

// The header tells what the full read of the first image yields.
TEST_P(ImageInfoTest, HeaderAgreesWithTheFullRead) {
    const InfoCase& c = GetParam();
    auto info = ReadImageInfo(c.bytes, c.path);
    ASSERT_TRUE(info) << ImageErrorText(info.error());
    EXPECT_EQ(info->Type, c.type);
    EXPECT_EQ(info->Width, c.width);
    EXPECT_EQ(info->Height, c.height);
    EXPECT_EQ(info->ImageCount, c.imageCount);

    ImageHolder holder;
    SelectImageIndex(holder, 0);
    const FormatCodec* codec = FindFormatByType(c.type)->Codec;
    ASSERT_EQ(codec->Read(holder, c.bytes, {}), ImageError::None);
    EXPECT_EQ(info->Width, holder.Params.ImageWidth);
    EXPECT_EQ(info->Height, holder.Params.ImageHeight);
    EXPECT_EQ(info->BitsPerChannel, holder.Params.BitsPerChannel);
    EXPECT_EQ(info->ChannelCount, holder.Params.ChannelCount);
    EXPECT_EQ(info->HasAlpha, holder.Image.HasAlpha());
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, ImageInfoTest, ::testing::ValuesIn(InfoCases()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(ReadImageInfo, ChoosesTheFormatAsThePictureLoaderDoes) {
    // Content first: a PNG named ".bmp" is a PNG.
    auto png = ReadImageInfo(EncodeWith(kPngCodec, test::GradientImage(3, 2)), "x.bmp");
    ASSERT_TRUE(png);
    EXPECT_EQ(png->Type, kTypePng);
    // Nothing recognised: the extension decides.
    auto wbmp = ReadImageInfo(EncodeWith(kWbmpCodec, test::CheckerBits(5, 4, 1), 1, 1), "x.wbmp");
    ASSERT_TRUE(wbmp);
    EXPECT_EQ(wbmp->Type, kTypeWbmp);
    EXPECT_EQ(wbmp->Width, 5);
}

TEST(ReadImageInfo, FailsWithTheReason) {
    const std::vector<std::uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(ReadImageInfo(text, "x.txt").error(), ImageError::NotRecognised);
    EXPECT_EQ(ReadImageInfo(text, "x.pdf").error(), ImageError::NoReader);
    auto png = EncodeWith(kPngCodec, test::GradientImage(3, 2));
    png.resize(20);
    EXPECT_FALSE(ReadImageInfo(png, "x.png"));
}

}  // namespace
}  // namespace gw
