#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "imagefile/formats/codec.h"
#include "imagefile/ico/reader.h"
#include "support/icobuilder.h"

namespace gw {
namespace {

using test::BuildDib;
using test::BuildIconContainer;
using test::DibSpec;
using test::IcoEntry;

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

IcoEntry EntryFor(const DibSpec& s) {
    IcoEntry e;
    e.width = static_cast<std::uint8_t>(s.width & 0xff);
    e.height = static_cast<std::uint8_t>(s.height & 0xff);
    e.bitCount = static_cast<std::uint16_t>(s.bitCount);
    e.payload = BuildDib(s);
    return e;
}

std::vector<std::uint8_t> OneImageIcon(const DibSpec& s) {
    return BuildIconContainer({EntryFor(s)});
}

struct Read {
    RasterImage image;
    FileParams params;
    bool failed = false;
};

Read ReadIcon(const std::vector<std::uint8_t>& bytes, int index = 0, Rgb background = kWhite) {
    Read r;
    r.params.ICO_ImageIndex = index;
    r.params.IconBackground = background;
    ByteReader stream(bytes);
    r.failed = ReadIconImage(stream, r.image, r.params) != ImageError::None;
    return r;
}

Read ReadCursor(const std::vector<std::uint8_t>& bytes, int index = 0, Rgb background = kWhite) {
    Read r;
    r.params.CUR_ImageIndex = index;
    r.params.CursorBackground = background;
    ByteReader stream(bytes);
    r.failed = ReadCursorImage(stream, r.image, r.params) != ImageError::None;
    return r;
}

std::uint8_t AlphaAt(const RasterImage& img, int x, int y) {
    return img.HasAlpha() ? img.AlphaRow(y)[x] : 255;
}

// A 2 × 2 32-bit image with the given alpha values and mask (row-major from the top).
DibSpec TwoByTwo32(std::uint8_t alpha, std::vector<std::uint8_t> mask) {
    DibSpec s;
    s.width = s.height = 2;
    s.bitCount = 32;
    for (std::uint32_t rgb : {0x112233u, 0x445566u, 0x778899u, 0xaabbccu})
        s.pixels.push_back(rgb | (static_cast<std::uint32_t>(alpha) << 24));
    s.mask = std::move(mask);
    return s;
}

// ---- Format tests ----

TEST(IsIconStream, AcceptsContainersOfItsOwnType) {
    auto icon = OneImageIcon(TwoByTwo32(255, {}));
    EXPECT_TRUE(IsIconStream(ByteReader(icon)));
    EXPECT_FALSE(IsCursorStream(ByteReader(icon)));
    IcoEntry e = EntryFor(TwoByTwo32(255, {}));
    auto cursor = BuildIconContainer({e}, 2);
    EXPECT_TRUE(IsCursorStream(ByteReader(cursor)));
    EXPECT_FALSE(IsIconStream(ByteReader(cursor)));
}

TEST(IsIconStream, RejectsMalformedHeadersAndDirectories) {
    const IcoEntry good = EntryFor(TwoByTwo32(255, {}));
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases;
    auto with = [&](const char* name, auto change) {
        IcoEntry e = good;
        change(e);
        cases.push_back({name, BuildIconContainer({e})});
    };
    auto full = BuildIconContainer({good});
    cases.push_back({"22 bytes", std::vector<std::uint8_t>(full.begin(), full.begin() + 22)});
    with("reserved byte set", [](IcoEntry& e) { e.reserved = 1; });
    with("zero image size", [](IcoEntry& e) { e.size = 0; });
    with("offset into the directory", [](IcoEntry& e) { e.offset = 21; });
    cases.push_back({"zero count", BuildIconContainer({good}, 1, 0)});
    cases.push_back({"directory longer than the data", BuildIconContainer({good}, 1, 200)});
    auto badReserved = BuildIconContainer({good});
    badReserved[0] = 1;
    cases.push_back({"reserved header word", badReserved});
    for (const Case& c : cases) EXPECT_FALSE(IsIconStream(ByteReader(c.bytes))) << c.name;

    IcoEntry atEnd = good;
    atEnd.offset = 22;  // exactly the position after the entry
    EXPECT_TRUE(IsIconStream(ByteReader(BuildIconContainer({atEnd}))));
}

TEST(IsIconStream, LooksFromTheCurrentPositionAndLeavesItThere) {
    auto icon = OneImageIcon(TwoByTwo32(255, {}));
    std::vector<std::uint8_t> prefixed(5 + icon.size(), 0xee);
    std::copy(icon.begin(), icon.end(), prefixed.begin() + 5);
    ByteReader r(prefixed);
    r.skip(5);
    EXPECT_TRUE(IsIconStream(r));
    EXPECT_EQ(r.pos(), 5u);
    EXPECT_TRUE(r.ok());
}

// ---- 32- and 24-bit masks and alpha ----

TEST(ReadIconImage, ThirtyTwoBitMaskAndAlphaRules) {
    // All alpha 0 with mask bits: the mask is the transparency.
    Read r = ReadIcon(OneImageIcon(TwoByTwo32(0, {1, 0, 0, 1})));
    ASSERT_FALSE(r.failed);
    ASSERT_TRUE(r.image.HasAlpha());
    EXPECT_EQ(AlphaAt(r.image, 0, 0), 0);
    EXPECT_EQ(AlphaAt(r.image, 1, 0), 255);
    EXPECT_EQ(AlphaAt(r.image, 0, 1), 255);
    EXPECT_EQ(AlphaAt(r.image, 1, 1), 0);
    EXPECT_EQ(r.image.PixelRgb(1, 0), (Rgb{0x44, 0x55, 0x66}));

    // All alpha 0, mask all clear: opaque, no alpha plane.
    r = ReadIcon(OneImageIcon(TwoByTwo32(0, {})));
    EXPECT_FALSE(r.image.HasAlpha());

    // One non-zero alpha: the mask is ignored.
    DibSpec s = TwoByTwo32(0, {1, 1, 1, 1});
    s.pixels[2] |= 0x80000000u;
    r = ReadIcon(OneImageIcon(s));
    ASSERT_TRUE(r.image.HasAlpha());
    EXPECT_EQ(AlphaAt(r.image, 0, 0), 0);
    EXPECT_EQ(AlphaAt(r.image, 0, 1), 0x80);

    // Own alpha values are kept as they are.
    r = ReadIcon(OneImageIcon(TwoByTwo32(200, {1, 1, 1, 1})));
    EXPECT_EQ(AlphaAt(r.image, 1, 1), 200);
    EXPECT_EQ(r.image.Format(), PixelFormat::ie24RGB);
    EXPECT_EQ(r.params.ChannelCount, 4);
    EXPECT_EQ(r.params.BitsPerChannel, 8);
}

TEST(ReadIconImage, RegressionZeroAlphaWithoutMaskIsOpaqueNotInvisible) {
    DibSpec s = TwoByTwo32(0, {});
    s.withMask = false;
    Read r = ReadIcon(OneImageIcon(s));
    EXPECT_FALSE(r.failed);
    EXPECT_FALSE(r.image.HasAlpha());
}

TEST(ReadIconImage, TwentyFourBitMaskOnlyWhenPresent) {
    DibSpec s = TwoByTwo32(0, {0, 1, 0, 0});
    s.bitCount = 24;
    Read r = ReadIcon(OneImageIcon(s));
    ASSERT_TRUE(r.image.HasAlpha());
    EXPECT_EQ(AlphaAt(r.image, 1, 0), 0);
    EXPECT_EQ(AlphaAt(r.image, 0, 0), 255);
    EXPECT_EQ(r.image.PixelRgb(1, 1), (Rgb{0xaa, 0xbb, 0xcc}));
    EXPECT_EQ(r.params.ChannelCount, 3);

    s.withMask = false;  // data stops right after the colour rows
    r = ReadIcon(OneImageIcon(s));
    EXPECT_FALSE(r.failed);
    EXPECT_FALSE(r.image.HasAlpha());
    EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{0x11, 0x22, 0x33}));
}

TEST(ReadIconImage, BytesAfterTheIconCountTowardsTheMaskTest) {
    DibSpec s = TwoByTwo32(0, {});
    s.bitCount = 24;
    s.withMask = false;
    auto bytes = OneImageIcon(s);
    bytes.insert(bytes.end(), {0x80, 0, 0, 0, 0, 0, 0, 0});  // mask rows of 2 × 4 bytes
    Read r = ReadIcon(bytes);
    ASSERT_TRUE(r.image.HasAlpha());
    EXPECT_EQ(AlphaAt(r.image, 0, 1), 0);  // first stored row is the bottom row
}

// ---- Palette depths ----

DibSpec Indexed(int bits, int w, int h, std::vector<std::uint32_t> indices,
                std::vector<std::uint8_t> mask) {
    DibSpec s;
    s.width = w;
    s.height = h;
    s.bitCount = bits;
    for (int i = 0; i < (1 << bits); ++i)
        s.colorTable.push_back({static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i), 3});
    s.pixels = std::move(indices);
    s.mask = std::move(mask);
    return s;
}

TEST(ReadIconImage, FourAndEightBitPixelsAndTransparentBackground) {
    for (int bits : {4, 8}) {
        SCOPED_TRACE(bits);
        // Odd width: the low nibble of a 4-bit row's last byte is ignored.
        DibSpec s = Indexed(bits, 3, 2, {1, 2, 3, 4, 5, 15}, {0, 1, 0, 0, 0, 0});
        Read r = ReadIcon(OneImageIcon(s));
        ASSERT_FALSE(r.failed);
        EXPECT_EQ(r.image.Format(), PixelFormat::ie24RGB);
        EXPECT_EQ(r.image.Width(), 3);
        EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{7, 1, 3}));
        EXPECT_EQ(r.image.PixelRgb(2, 1), (Rgb{105, 15, 3}));
        EXPECT_EQ(r.image.PixelRgb(1, 0), kWhite);
        EXPECT_EQ(AlphaAt(r.image, 1, 0), 0);
        EXPECT_EQ(AlphaAt(r.image, 0, 0), 255);
        EXPECT_EQ(r.params.PaletteCount, 1 << bits);
        EXPECT_EQ(r.params.Palette.size(), static_cast<std::size_t>(1 << bits));
        EXPECT_EQ(r.params.ChannelCount, 1);
        EXPECT_EQ(r.params.BitsPerChannel, bits);

        r = ReadIcon(OneImageIcon(s), 0, {10, 20, 30});
        EXPECT_EQ(r.image.PixelRgb(1, 0), (Rgb{10, 20, 30}));

        s.mask.clear();
        r = ReadIcon(OneImageIcon(s));
        EXPECT_FALSE(r.image.HasAlpha());
    }
}

TEST(ReadIconImage, OneBitColoursUnderBothBackgrounds) {
    // Pixels: opaque black, opaque white, transparent (stored 0), inverting (stored 1).
    DibSpec s;
    s.width = 4;
    s.height = 1;
    s.bitCount = 1;
    s.colorTable = {{9, 9, 9}, {200, 0, 0}};  // not applied to 1-bit rows
    s.pixels = {0, 1, 0, 1};
    s.mask = {0, 0, 1, 1};
    struct Case {
        Rgb background;
        Rgb transparent, inverting;
    };
    for (const Case& c : {Case{kWhite, kWhite, kBlack}, Case{{1, 2, 3}, kBlack, kWhite}}) {
        Read r = ReadIcon(OneImageIcon(s), 0, c.background);
        ASSERT_FALSE(r.failed);
        EXPECT_EQ(r.image.Format(), PixelFormat::ie1g);
        EXPECT_EQ(r.image.PixelRgb(0, 0), kBlack);
        EXPECT_EQ(r.image.PixelRgb(1, 0), kWhite);
        EXPECT_EQ(r.image.PixelRgb(2, 0), c.transparent);
        EXPECT_EQ(r.image.PixelRgb(3, 0), c.inverting);
        EXPECT_EQ(AlphaAt(r.image, 1, 0), 255);
        EXPECT_EQ(AlphaAt(r.image, 2, 0), 0);
        EXPECT_EQ(AlphaAt(r.image, 3, 0), 0);
        EXPECT_EQ(r.params.PaletteCount, 2);
        EXPECT_EQ(r.params.BitsPerChannel, 1);
    }
}

TEST(ReadIconImage, OtherDepthsAreSizedButNotDecoded) {
    DibSpec s = TwoByTwo32(255, {});
    s.bitCount = 16;
    Read r = ReadIcon(OneImageIcon(s));
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.image.Width(), 2);
    EXPECT_EQ(r.image.PixelRgb(1, 1), kBlack);
    EXPECT_FALSE(r.image.HasAlpha());
    EXPECT_EQ(r.params.ChannelCount, 3);
}

// ---- Size, depth and the directory lists ----

TEST(ReadIconImage, SizeFromEntryOrHeader) {
    struct Case {
        const char* name;
        std::uint8_t entryW, entryH;
        int headerW, headerH;
        int w, h;
    };
    const Case cases[] = {
        {"zero bytes take the header", 0, 0, 256, 512, 256, 256},
        {"header wins", 32, 32, 48, 96, 48, 48},
        {"absurd header loses", 32, 32, 4096, 8192, 32, 32},
        {"matching sizes", 16, 16, 16, 32, 16, 16},
        {"zero height byte", 8, 0, 8, 24, 8, 12},
    };
    for (const Case& c : cases) {
        DibSpec s;
        s.width = c.w;
        s.height = c.h;
        s.bitCount = 32;
        s.headerWidth = c.headerW;
        s.headerHeight = c.headerH;
        IcoEntry e = EntryFor(s);
        e.width = c.entryW;
        e.height = c.entryH;
        Read r = ReadIcon(BuildIconContainer({e}));
        EXPECT_FALSE(r.failed) << c.name;
        EXPECT_EQ(r.image.Width(), c.w) << c.name;
        EXPECT_EQ(r.image.Height(), c.h) << c.name;
        EXPECT_EQ(r.params.ImageWidth, c.w) << c.name;
        EXPECT_EQ(r.params.ImageHeight, c.h) << c.name;
    }
}

TEST(ReadIconImage, ExtractedStreamAtThirtyTwoAndAt256) {
    for (int size : {32, 256}) {
        DibSpec s;
        s.width = s.height = size;
        s.bitCount = 32;
        s.pixels.assign(static_cast<std::size_t>(size * size), 0x80102030u);
        s.pixels[0] = 0xff000000u;
        s.imageSizeField = static_cast<std::uint32_t>(size * size * 4);
        auto bytes = test::BuildExtractedIconStream(s);
        bytes.resize(bytes.size() + 100, 0x5a);  // leftovers of a longer icon
        Read r = ReadIcon(bytes);
        ASSERT_FALSE(r.failed) << size;
        EXPECT_EQ(r.image.Width(), size);
        EXPECT_EQ(r.image.Height(), size);
        EXPECT_EQ(r.image.Format(), PixelFormat::ie24RGB);
        EXPECT_EQ(AlphaAt(r.image, 0, 0), 255);
        EXPECT_EQ(AlphaAt(r.image, 1, 0), 0x80);
        EXPECT_EQ(r.params.ChannelCount, 4);
        if (size == 32) {
            EXPECT_EQ(r.params.IconSizeList[0], (std::pair<int, int>{32, 32}));
            EXPECT_EQ(r.params.IconDepthList[0], 5);
        } else {
            EXPECT_EQ(r.params.IconSizeList[0], (std::pair<int, int>{0, 0}));
            EXPECT_EQ(r.params.IconDepthList[0], 0);
        }
    }
}

TEST(ReadIconImage, DirectoryListsAndImageIndex) {
    std::vector<IcoEntry> entries;
    for (int i = 0; i < 18; ++i) {
        DibSpec s = TwoByTwo32(255, {});
        s.pixels[0] = 0xff000000u | static_cast<std::uint32_t>(i);
        IcoEntry e = EntryFor(s);
        e.width = e.height = static_cast<std::uint8_t>(i + 1);
        if (i == 1) e.bitCount = 0, e.colorCount = 16;
        if (i == 2) e.bitCount = 0;
        if (i == 3) e.width = e.height = 0;
        entries.push_back(e);
    }
    auto bytes = BuildIconContainer(entries);
    Read r = ReadIcon(bytes, 17);
    ASSERT_FALSE(r.failed);
    EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{0, 0, 17}));
    EXPECT_EQ(r.params.IconSizeList[0], (std::pair<int, int>{1, 1}));
    EXPECT_EQ(r.params.IconDepthList[0], 32);
    EXPECT_EQ(r.params.IconDepthList[1], 4);
    EXPECT_EQ(r.params.IconDepthList[2], 24);
    EXPECT_EQ(r.params.IconSizeList[3], (std::pair<int, int>{0, 0}));
    EXPECT_EQ(r.params.IconSizeList[15], (std::pair<int, int>{16, 16}));

    // A 256-pixel entry k is read as itself.
    r = ReadIcon(bytes, 3);
    EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{0, 0, 3}));

    for (int k : {-1, 18}) {
        Read out;
        out.image.Allocate(5, 5, PixelFormat::ie24RGB);
        out.params.ICO_ImageIndex = k;
        ByteReader stream(bytes);
        EXPECT_EQ(ReadIconImage(stream, out.image, out.params), ImageError::NoSuchImage);
        EXPECT_EQ(out.image.Width(), 5);
    }
}

TEST(ReadIconImage, DepthFromHeaderEntryOrColourCount) {
    DibSpec s = Indexed(4, 2, 2, {1, 2, 3, 4}, {});
    s.headerBitCount = 0;
    IcoEntry e = EntryFor(s);
    e.bitCount = 0;
    e.colorCount = 16;
    Read r = ReadIcon(BuildIconContainer({e}));
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.params.BitsPerChannel, 4);
    EXPECT_EQ(r.image.PixelRgb(1, 0), (Rgb{14, 2, 3}));

    e.colorCount = 0;
    Read none;
    none.image.Allocate(3, 3, PixelFormat::ie24RGB);
    auto bytes = BuildIconContainer({e});
    ByteReader stream(bytes);
    none.failed = ReadIconImage(stream, none.image, none.params) != ImageError::None;
    EXPECT_TRUE(none.failed);
    EXPECT_EQ(none.image.Width(), 3);
}

TEST(ReadIconImage, ResolutionFromPixelsPerMetre) {
    DibSpec s = TwoByTwo32(255, {});
    s.xPelsPerMeter = 11811;
    s.yPelsPerMeter = 3780;
    Read r = ReadIcon(OneImageIcon(s));
    EXPECT_EQ(r.params.HorizontalDpi, 300);
    EXPECT_EQ(r.params.VerticalDpi, 96);
    s.xPelsPerMeter = 0;
    s.yPelsPerMeter = -5;
    r = ReadIcon(OneImageIcon(s));
    EXPECT_EQ(r.params.HorizontalDpi, 300);
    EXPECT_EQ(r.params.VerticalDpi, 300);
}

TEST(FileParams, ResolutionAndColourCountHelpers) {
    EXPECT_EQ(DpiFromPixelsPerMetre(11811), 300);
    EXPECT_EQ(DpiFromPixelsPerMetre(0), 300);
    EXPECT_EQ(DpiFromPixelsPerMetre(2835), 72);
    EXPECT_EQ(PixelsPerMetreFromDpi(300), 11811u);
    EXPECT_EQ(PixelsPerMetreFromDpi(96), 3780u);
    EXPECT_EQ(PixelsPerMetreFromDpi(0), 0u);
    EXPECT_EQ(PixelsPerMetreFromDpi(2000000000), 2147483647u);
    const std::pair<std::uint64_t, int> bits[] = {{0, 0},  {1, 0},   {2, 1},   {16, 4},
                                                  {32, 5}, {255, 8}, {256, 8}, {257, 9}};
    for (auto [n, b] : bits) EXPECT_EQ(BitsForColorCount(n), b) << n;
}

// ---- Other payloads ----

TEST(ReadIconImage, PngPayloadGoesToThePngReader) {
    IcoEntry e;
    e.width = e.height = 2;
    e.bitCount = 32;
    e.payload = test::BuildPng(2, 2, {0xff0000ffu, 0x00ffffffu, 0x80123456u, 0xff000000u});
    Read r = ReadIcon(BuildIconContainer({e}));
    if (!kPngCodec.Read) {
        EXPECT_TRUE(r.failed);
        return;
    }
    ASSERT_FALSE(r.failed);
    EXPECT_EQ(r.image.Width(), 2);
    EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{0, 0, 255}));
    EXPECT_EQ(AlphaAt(r.image, 1, 0), 0);
    EXPECT_EQ(AlphaAt(r.image, 0, 1), 0x80);
}

TEST(ReadIconImage, BitmapFileFallsBackToTheBmpReader) {
    DibSpec s = TwoByTwo32(255, {});
    s.bitCount = 24;
    Read r = ReadIcon(test::BuildBmpFile(s));
    if (!kBmpCodec.Read) {
        EXPECT_TRUE(r.failed);
        return;
    }
    ASSERT_FALSE(r.failed);
    EXPECT_EQ(r.image.Width(), 2);
    EXPECT_EQ(r.image.PixelRgb(1, 1), (Rgb{0xaa, 0xbb, 0xcc}));
}

// ---- Cursors ----

TEST(ReadCursorImage, SizeHotSpotAndDepth) {
    DibSpec s = TwoByTwo32(0, {1, 0, 0, 0});
    s.headerWidth = 64;  // not used for cursors
    IcoEntry e = EntryFor(s);
    e.planes = 7;
    e.bitCount = 9;
    Read r = ReadCursor(BuildIconContainer({e}, 2));
    ASSERT_FALSE(r.failed);
    EXPECT_EQ(r.image.Width(), 2);
    EXPECT_EQ(r.params.CursorHotSpotX, 7);
    EXPECT_EQ(r.params.CursorHotSpotY, 9);
    EXPECT_EQ(r.params.BitsPerChannel, 32);
    EXPECT_EQ(r.params.ChannelCount, 1);
    EXPECT_EQ(AlphaAt(r.image, 0, 0), 0);

    IcoEntry big = e;
    big.width = big.height = 0;
    r = ReadCursor(BuildIconContainer({big}, 2));
    EXPECT_EQ(r.image.Width(), 256);
    EXPECT_EQ(r.image.Height(), 256);
}

TEST(ReadCursorImage, PaletteCursorsTakeTheCursorBackground) {
    DibSpec s = Indexed(8, 2, 1, {4, 250}, {0, 1});
    IcoEntry e = EntryFor(s);
    e.colorCount = 255;  // a 256-entry table
    Read r = ReadCursor(BuildIconContainer({e}, 2), 0, {5, 6, 7});
    ASSERT_FALSE(r.failed);
    EXPECT_EQ(r.params.PaletteCount, 256);
    EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{28, 4, 3}));
    EXPECT_EQ(r.image.PixelRgb(1, 0), (Rgb{5, 6, 7}));
    EXPECT_EQ(AlphaAt(r.image, 1, 0), 0);

    DibSpec four = Indexed(4, 3, 1, {1, 2, 3}, {1, 1, 0});
    IcoEntry e4 = EntryFor(four);
    e4.colorCount = 16;
    r = ReadCursor(BuildIconContainer({e4}, 2), 0, {5, 6, 7});
    EXPECT_EQ(r.image.PixelRgb(0, 0), (Rgb{5, 6, 7}));
    EXPECT_EQ(r.image.PixelRgb(1, 0), (Rgb{5, 6, 7}));
    EXPECT_EQ(r.image.PixelRgb(2, 0), (Rgb{21, 3, 3}));

    DibSpec mono;
    mono.width = 2;
    mono.height = 1;
    mono.bitCount = 1;
    mono.colorTable = {kBlack, kWhite};
    mono.pixels = {1, 0};
    mono.mask = {0, 1};
    IcoEntry e1 = EntryFor(mono);
    e1.colorCount = 2;
    r = ReadCursor(BuildIconContainer({e1}, 2));
    EXPECT_EQ(r.image.Format(), PixelFormat::ie1g);
    EXPECT_EQ(r.image.PixelRgb(0, 0), kWhite);
    EXPECT_EQ(r.image.PixelRgb(1, 0), kWhite);
    EXPECT_EQ(AlphaAt(r.image, 1, 0), 0);
}

TEST(ReadCursorImage, DepthFromColourCountAndIndexRange) {
    DibSpec s = Indexed(4, 2, 1, {1, 2}, {});
    s.headerBitCount = 0;
    IcoEntry e = EntryFor(s);
    e.colorCount = 16;
    Read r = ReadCursor(BuildIconContainer({e}, 2));
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.params.BitsPerChannel, 4);
    e.colorCount = 0;
    r = ReadCursor(BuildIconContainer({e}, 2));
    EXPECT_TRUE(r.failed);
    r = ReadCursor(BuildIconContainer({e}, 2), 1);
    EXPECT_TRUE(r.failed);  // no image 1
    EXPECT_TRUE(r.image.Empty());
}

// ---- Holders and codecs ----

TEST(LoadImageStream, ResetsTheHolderAndRecordsTheFormat) {
    ImageHolder holder;

    holder.Params.Comments = {"old"};
    holder.Params.FileName = "/x/y.png";
    DibSpec s = TwoByTwo32(255, {});
    s.xPelsPerMeter = 1;  // rounds to 0 dpi
    auto bytes = OneImageIcon(s);
    ByteReader stream(bytes);
    bool holderFailed = !ImageStatus(LoadImageStream(holder, stream)).ok();
    EXPECT_FALSE(holderFailed);
    EXPECT_TRUE(holder.Params.Comments.empty());
    EXPECT_EQ(holder.Params.FileType, 6);
    EXPECT_TRUE(holder.Params.FileName.empty());
    EXPECT_EQ(holder.Params.HorizontalDpi, 300);
    EXPECT_EQ(holder.Image.Width(), 2);
}

TEST(LoadImageStream, OutOfRangeIndexFailsAndKeepsPixelsButNotAlpha) {
    ImageHolder holder;
    holder.Image.Allocate(4, 4, PixelFormat::ie24RGB);
    holder.Image.AddAlpha(3);
    holder.Params.ICO_ImageIndex = 5;
    auto bytes = OneImageIcon(TwoByTwo32(255, {}));
    ByteReader stream(bytes);
    EXPECT_EQ(LoadImageStream(holder, stream), ImageError::NoSuchImage);
    EXPECT_EQ(holder.Image.Width(), 4);
    EXPECT_FALSE(holder.Image.HasAlpha());
}

TEST(IconCodecs, ProbeReadAndWrite) {
    auto icon = OneImageIcon(TwoByTwo32(100, {}));
    EXPECT_TRUE(kIcoCodec.Probe(icon));
    EXPECT_FALSE(kCurCodec.Probe(icon));
    ImageHolder holder;
    ASSERT_EQ(kIcoCodec.Read(holder, icon, ReadOptions{}), ImageError::None);
    EXPECT_EQ(AlphaAt(holder.Image, 0, 0), 100);

    std::vector<std::uint8_t> written;
    ASSERT_EQ(kIcoCodec.Write(holder, written), ImageError::None);
    ImageHolder back;
    ASSERT_EQ(kIcoCodec.Read(back, written, ReadOptions{}), ImageError::None);
    EXPECT_EQ(back.Image.Pixels(), holder.Image.Pixels());
    EXPECT_EQ(back.Image.Alpha(), holder.Image.Alpha());

    IcoEntry e = EntryFor(TwoByTwo32(255, {}));
    auto cursor = BuildIconContainer({e}, 2);
    EXPECT_TRUE(kCurCodec.Probe(cursor));
    ImageHolder cur;
    EXPECT_EQ(kCurCodec.Read(cur, cursor, ReadOptions{}), ImageError::None);
    EXPECT_EQ(cur.Params.FileType, 7);
    EXPECT_EQ(kCurCodec.Write, nullptr);
    ImageHolder empty;
    EXPECT_NE(kIcoCodec.Write(empty, written), ImageError::None);
}

}  // namespace
}  // namespace gw
