#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "base/fileio.h"
#include "imagefile/ico/reader.h"
#include "imagefile/ico/writer.h"
#include "support/icobuilder.h"

namespace gw {
namespace {

using test::ParseIconDirectory;
using test::U16At;
using test::U32At;

// A w × h true-colour image with a pattern of at most `colors` distinct colours.
ImageHolder Holder(int w, int h, int channels, int colors = 1 << 24) {
    ImageHolder holder;
    holder.Image.Allocate(w, h, PixelFormat::ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = (x * 31 + y * 17) % colors;
            holder.Image.SetPixelRgb(
                x, y,
                {static_cast<std::uint8_t>(v * 13), static_cast<std::uint8_t>(v >> 2),
                 static_cast<std::uint8_t>(255 - v)});
        }
    holder.Params.ChannelCount = channels;
    holder.Params.BitsPerChannel = 8;
    return holder;
}

void Declare(ImageHolder& h, int channels, int bits) {
    h.Params.ChannelCount = channels;
    h.Params.BitsPerChannel = bits;
}

std::vector<std::uint8_t> Encode(std::vector<ImageHolder>& holders) {
    std::vector<std::uint8_t> out;
    EncodeIconFile(holders, static_cast<int>(holders.size()) - 1, out);
    return out;
}

struct Read {
    RasterImage image;
    FileParams params;
    bool failed = false;
};

Read ReadBack(const std::vector<std::uint8_t>& bytes, int index = 0) {
    Read r;
    r.params.ICO_ImageIndex = index;
    ByteReader stream(bytes);
    r.failed = ReadIconImage(stream, r.image, r.params) != ImageError::None;
    return r;
}

TEST(WriteIconFile, ThreeSizesWithAlphaAt32Bits) {
    std::vector<ImageHolder> holders;
    for (int s : {16, 32, 256}) {
        holders.push_back(Holder(s, s, 4));
        holders.back().Image.AddAlpha(128);
    }
    auto bytes = Encode(holders);
    EXPECT_EQ(U16At(bytes, 0), 0);
    EXPECT_EQ(U16At(bytes, 2), 1);
    auto dir = ParseIconDirectory(bytes);
    ASSERT_EQ(dir.size(), 3u);
    const std::uint8_t widths[] = {16, 32, 0};
    std::uint32_t expectedOffset = 54;
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const int s = holders[i].Image.Width();
        EXPECT_EQ(dir[i].width, widths[i]);
        EXPECT_EQ(dir[i].height, widths[i]);
        EXPECT_EQ(dir[i].colorCount, 0);
        EXPECT_EQ(dir[i].reserved, 0);
        EXPECT_EQ(dir[i].planes, 1);
        EXPECT_EQ(dir[i].bitCount, 32);
        EXPECT_EQ(dir[i].offset, expectedOffset);
        const std::uint32_t mask = static_cast<std::uint32_t>((s + 31) / 32 * 4 * s);
        EXPECT_EQ(dir[i].size, 40u + 4u * s * s + mask);
        const std::size_t h = dir[i].offset;
        EXPECT_EQ(U32At(bytes, h), 40u);
        EXPECT_EQ(U32At(bytes, h + 4), static_cast<std::uint32_t>(s));
        EXPECT_EQ(U32At(bytes, h + 8), static_cast<std::uint32_t>(2 * s));
        EXPECT_EQ(U16At(bytes, h + 12), 1);
        EXPECT_EQ(U16At(bytes, h + 14), 32);
        EXPECT_EQ(U32At(bytes, h + 16), 0u);
        EXPECT_EQ(U32At(bytes, h + 20), 0u);  // image size
        EXPECT_EQ(U32At(bytes, h + 24), 11811u);
        EXPECT_EQ(U32At(bytes, h + 28), 11811u);
        EXPECT_EQ(U32At(bytes, h + 32), 0u);
        EXPECT_EQ(U32At(bytes, h + 36), 0u);
        expectedOffset += dir[i].size;
    }
    EXPECT_EQ(bytes.size(), expectedOffset);
    Read r = ReadBack(bytes, 2);
    EXPECT_EQ(r.image.Width(), 256);
    EXPECT_EQ(r.image.AlphaRow(255)[255], 128);
}

TEST(WriteIconFile, DirectoryAndHeaderFieldsPerDepth) {
    struct Case {
        const char* name;
        int channels, bits;
        int bitCount;
        std::uint8_t colorCount;
        std::uint16_t planes, dirBitCount;
        std::uint32_t imageSize;  // for a 5 × 3 image
        std::uint32_t payload;
    };
    // Mask rows 4 bytes; (5 × 3) div 8 = 1.
    const Case cases[] = {
        {"24-bit", 3, 8, 24, 0, 1, 24, 3 * 16, 40 + 48 + 12},
        {"32-bit", 4, 8, 32, 0, 1, 32, 0, 40 + 60 + 12},
        {"8-bit", 1, 8, 8, 255, 0, 0, 1 + 3 * 8, 40 + 1024 + 24 + 12},
        {"4-bit", 1, 4, 4, 16, 0, 0, 1 + 3 * 4, 40 + 64 + 12 + 12},
        {"other declared", 2, 5, 8, 255, 0, 0, 1 + 3 * 8, 40 + 1024 + 24 + 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ImageHolder> holders;
        holders.push_back(Holder(5, 3, c.channels, 6));
        Declare(holders[0], c.channels, c.bits);
        auto bytes = Encode(holders);
        auto dir = ParseIconDirectory(bytes);
        ASSERT_EQ(dir.size(), 1u);
        EXPECT_EQ(dir[0].colorCount, c.colorCount);
        EXPECT_EQ(dir[0].planes, c.planes);
        EXPECT_EQ(dir[0].bitCount, c.dirBitCount);
        EXPECT_EQ(dir[0].size, c.payload);
        EXPECT_EQ(U16At(bytes, 22 + 14), c.bitCount);
        EXPECT_EQ(U32At(bytes, 22 + 20), c.imageSize);
        EXPECT_EQ(bytes.size(), 22u + c.payload);
    }

    ImageHolder bw;
    bw.Image.Allocate(5, 3, PixelFormat::ie1g);
    std::vector<ImageHolder> holders;
    holders.push_back(std::move(bw));
    auto bytes = Encode(holders);
    auto dir = ParseIconDirectory(bytes);
    EXPECT_EQ(dir[0].colorCount, 2);
    EXPECT_EQ(dir[0].planes, 0);
    EXPECT_EQ(dir[0].bitCount, 0);
    EXPECT_EQ(U16At(bytes, 22 + 14), 1);
    EXPECT_EQ(U32At(bytes, 22 + 20), 3u * 4 + 1);
    EXPECT_EQ(U32At(bytes, 22 + 40), 0u);           // black
    EXPECT_EQ(U32At(bytes, 22 + 44), 0x00ffffffu);  // white
    EXPECT_EQ(dir[0].size, 40u + 8 + 12 + 12);
}

TEST(WriteIconFile, DeclaredDepthAndPaletteChanges) {
    std::vector<ImageHolder> holders;
    holders.push_back(ImageHolder{});
    holders[0].Image.Allocate(4, 4, PixelFormat::ie1g);
    Declare(holders[0], 3, 8);
    holders.push_back(Holder(4, 4, 1, 5));
    Declare(holders[1], 1, 4);
    holders[1].Params.Palette = {{1, 1, 1}};
    holders.push_back(Holder(4, 4, 3));
    holders[2].Params.Palette = {{1, 1, 1}};
    holders[2].Params.PaletteCount = 1;
    Encode(holders);
    EXPECT_EQ(holders[0].Params.ChannelCount, 1);
    EXPECT_EQ(holders[0].Params.BitsPerChannel, 1);
    EXPECT_EQ(holders[1].Params.PaletteCount, 5);
    EXPECT_EQ(holders[1].Params.Palette.size(), 5u);
    EXPECT_EQ(holders[1].Params.Palette[0], holders[1].Image.PixelRgb(0, 0));
    EXPECT_TRUE(holders[2].Params.Palette.empty());
    EXPECT_EQ(holders[2].Params.PaletteCount, 0);
}

TEST(WriteIconFile, MaskBitForEveryAlphaBelow255) {
    std::vector<ImageHolder> holders;
    holders.push_back(Holder(9, 2, 3));
    holders[0].Image.AddAlpha(255);
    holders[0].Image.AlphaRow(0)[8] = 254;
    holders[0].Image.AlphaRow(1)[0] = 0;
    auto bytes = Encode(holders);
    const std::size_t maskStart = bytes.size() - 8;  // two rows of 4 bytes, bottom row first
    EXPECT_EQ(bytes[maskStart], 0x80);               // row 1, pixel 0
    EXPECT_EQ(bytes[maskStart + 4], 0x00);
    EXPECT_EQ(bytes[maskStart + 5], 0x80);  // row 0, pixel 8
    Read r = ReadBack(bytes);
    ASSERT_TRUE(r.image.HasAlpha());
    EXPECT_EQ(r.image.AlphaRow(0)[8], 0);
    EXPECT_EQ(r.image.AlphaRow(0)[7], 255);
}

TEST(WriteIconFile, ResolutionWrittenAsPixelsPerMetre) {
    std::vector<ImageHolder> holders;
    holders.push_back(Holder(2, 2, 3));
    holders[0].Params.HorizontalDpi = 96;
    auto bytes = Encode(holders);
    EXPECT_EQ(U32At(bytes, 22 + 24), 3780u);
    EXPECT_EQ(U32At(bytes, 22 + 28), 11811u);
}

// ---- Round trips through the reader ----

TEST(WriteIconFile, RoundTripsAtEveryDepth) {
    struct Case {
        const char* name;
        int channels, bits, colors;
    };
    const Case cases[] = {
        {"24-bit", 3, 8, 1 << 24}, {"32-bit", 4, 8, 1 << 24}, {"8-bit", 1, 8, 200},
        {"4-bit", 1, 4, 16},       {"odd-width", 1, 4, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ImageHolder> holders;
        holders.push_back(Holder(c.colors == 3 ? 7 : 33, 17, c.channels, c.colors));
        Declare(holders[0], c.channels, c.bits);
        if (c.channels == 4) {
            holders[0].Image.AddAlpha(255);
            holders[0].Image.AlphaRow(3)[4] = 17;
        }
        const RasterImage original = holders[0].Image;
        Read r = ReadBack(Encode(holders));
        ASSERT_FALSE(r.failed);
        EXPECT_EQ(r.params.ChannelCount, c.channels);
        EXPECT_EQ(r.params.BitsPerChannel, c.bits);
        ASSERT_EQ(r.image.Width(), original.Width());
        ASSERT_EQ(r.image.Height(), original.Height());
        for (int y = 0; y < original.Height(); ++y)
            for (int x = 0; x < original.Width(); ++x)
                ASSERT_EQ(r.image.PixelRgb(x, y), original.PixelRgb(x, y)) << x << "," << y;
        EXPECT_EQ(r.image.Alpha(), original.Alpha());
    }
}

TEST(WriteIconFile, OneBitRoundTripAndTransparency) {
    std::vector<ImageHolder> holders;
    holders.push_back(ImageHolder{});
    RasterImage& img = holders[0].Image;
    img.Allocate(10, 3, PixelFormat::ie1g);
    img.Row(0)[0] = 0xA5;
    img.Row(1)[1] = 0xC0;
    img.Row(2)[0] = 0x01;
    img.AddAlpha(255);
    img.AlphaRow(2)[0] = 0;  // a black pixel made transparent
    Read r = ReadBack(Encode(holders));
    ASSERT_FALSE(r.failed);
    EXPECT_EQ(r.image.Format(), PixelFormat::ie1g);
    EXPECT_EQ(r.image.Row(0)[0], 0xA5);
    EXPECT_EQ(r.image.Row(1)[1] & 0xC0, 0xC0);
    EXPECT_EQ(r.image.PixelRgb(0, 2), (Rgb{255, 255, 255}));  // transparent shows white
    EXPECT_EQ(r.image.AlphaRow(2)[0], 0);
}

TEST(WriteIconFile, PaletteImagesUseTheirOwnIndices) {
    std::vector<ImageHolder> holders;
    holders.push_back(ImageHolder{});
    RasterImage& img = holders[0].Image;
    img.Allocate(3, 1, PixelFormat::ie8p);
    img.Palette() = {{10, 0, 0}, {0, 20, 0}, {0, 0, 30}};
    img.Row(0)[0] = 2;
    img.Row(0)[1] = 0;
    img.Row(0)[2] = 1;
    Declare(holders[0], 1, 8);
    auto bytes = Encode(holders);
    const std::size_t table = 22 + 40;
    EXPECT_EQ(U32At(bytes, table + 8), 30u);  // entry 2: blue 30
    EXPECT_EQ(bytes[table + 1024], 2);
    Read r = ReadBack(bytes);
    EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{0, 0, 30}));
    EXPECT_EQ(r.image.PixelRgb(2, 0), (Rgb{0, 20, 0}));
}

TEST(WriteIconFile, RegressionColourImagesNeverGoIntoOneBitRows) {
    // A true-colour image declared 1 bit is written at 24 bits; a palette image at 8 bits.
    std::vector<ImageHolder> holders;
    holders.push_back(Holder(4, 4, 1));
    Declare(holders[0], 1, 1);
    holders.push_back(ImageHolder{});
    holders[1].Image.Allocate(2, 1, PixelFormat::ie8p);
    holders[1].Image.Palette() = {{1, 2, 3}, {200, 100, 50}};
    holders[1].Image.Row(0)[1] = 1;
    Declare(holders[1], 1, 1);
    // A palette image declared 16 colours whose indices go beyond 15.
    holders.push_back(ImageHolder{});
    holders[2].Image.Allocate(2, 1, PixelFormat::ie8p);
    holders[2].Image.Palette().resize(40);
    holders[2].Image.Palette()[39] = {9, 8, 7};
    holders[2].Image.Row(0)[1] = 39;
    Declare(holders[2], 1, 4);
    // A palette image declared 24 bits.
    holders.push_back(ImageHolder{});
    holders[3].Image.Allocate(2, 1, PixelFormat::ie8p);
    holders[3].Image.Palette() = {{1, 2, 3}, {4, 5, 6}};
    holders[3].Image.Row(0)[0] = 1;
    const RasterImage first = holders[0].Image;
    auto bytes = Encode(holders);
    auto dir = ParseIconDirectory(bytes);
    EXPECT_EQ(dir[0].bitCount, 24);
    EXPECT_EQ(dir[1].colorCount, 255);
    EXPECT_EQ(dir[2].colorCount, 16);
    EXPECT_EQ(dir[3].bitCount, 24);
    Read r = ReadBack(bytes, 0);
    EXPECT_EQ(r.image.PixelRgb(3, 2), first.PixelRgb(3, 2));
    r = ReadBack(bytes, 1);
    EXPECT_EQ(r.image.PixelRgb(1, 0), (Rgb{200, 100, 50}));
    r = ReadBack(bytes, 2);
    EXPECT_EQ(r.image.PixelRgb(1, 0), (Rgb{9, 8, 7}));
    r = ReadBack(bytes, 3);
    EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{4, 5, 6}));
}

TEST(WriteIconFile, ManyColoursAreReducedForPaletteEntries) {
    for (int bits : {4, 8}) {
        std::vector<ImageHolder> holders;
        holders.push_back(Holder(48, 48, 1));
        Declare(holders[0], 1, bits);
        Read r = ReadBack(Encode(holders));
        ASSERT_FALSE(r.failed);
        EXPECT_LE(holders[0].Params.Palette.size(), static_cast<std::size_t>(1 << bits));
        EXPECT_GT(holders[0].Params.Palette.size(), 1u);
        // Every pixel read back is one of the reduced colours.
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                Rgb c = r.image.PixelRgb(x, y);
                ASSERT_NE(std::find(holders[0].Params.Palette.begin(),
                                    holders[0].Params.Palette.end(), c),
                          holders[0].Params.Palette.end());
            }
    }
}

TEST(WriteIconFile, CreatesTheFileOrRaisesCannotCreate) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("gw_ico_writer_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "out.ico").string();
    std::vector<ImageHolder> holders;
    holders.push_back(Holder(16, 16, 3));
    holders.push_back(Holder(32, 32, 3));
    ASSERT_TRUE(WriteIconFile(path, holders, 0).ok());  // only the first holder
    auto bytes = ReadWholeFile(path);
    EXPECT_EQ(ParseIconDirectory(bytes).size(), 1u);
    std::vector<std::uint8_t> expected;
    EncodeIconFile(holders, 0, expected);
    EXPECT_EQ(bytes, expected);

    // A file already there is neither replaced nor touched, and no temporary file is left.
    EXPECT_EQ(WriteIconFile(path, holders, 1), ImageStatus(ImageError::CannotCreateFile, EEXIST));
    EXPECT_EQ(ReadWholeFile(path), bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);
    std::filesystem::remove_all(dir);

    const std::string missing = (dir / "no" / "such.ico").string();
    const ImageStatus status = WriteIconFile(missing, holders, 1);
    EXPECT_EQ(ImageStatusText(status, missing),
              "Cannot create file \"" + missing + "\". No such file or directory");
}

}  // namespace
}  // namespace gw
