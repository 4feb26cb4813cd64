#include "catalogue/iconsource.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/paths.h"
#include "imagefile/ico/reader.h"
#include "support/pebuilder.h"

namespace gw {
namespace {

using pefix::IconImage;
using pefix::MakeDibIcon;
using pefix::MakePngIcon;
using pefix::ResourceBuilder;
using pefix::Rgba;
using Bytes = std::vector<std::uint8_t>;

constexpr Rgba kRed{200, 0, 0, 255}, kGreen{0, 200, 0, 255}, kBlue{0, 0, 200, 255},
    kYellow{200, 200, 0, 255}, kGrey{90, 90, 90, 255};

class TempDir {
  public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path() / "gw-iconsource-XXXXXX";
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string p = path_ + "/" + name;
        pefix::WriteBytes(p, bytes);
        return p;
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t Get16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// One pixel of a one-image 32-bit icon stream, rows counted from the top.
Rgba StreamPixel(const Bytes& s, int x, int y) {
    const int w = static_cast<int>(Get32(s, 22 + 4)), h = static_cast<int>(Get32(s, 22 + 8)) / 2;
    const std::size_t at = 22 + 40 + (std::size_t(h - 1 - y) * w + x) * 4;
    return {s[at + 2], s[at + 1], s[at], s[at + 3]};
}

bool StreamMaskBit(const Bytes& s, int x, int y) {
    const int w = static_cast<int>(Get32(s, 22 + 4)), h = static_cast<int>(Get32(s, 22 + 8)) / 2;
    const std::size_t row = (std::size_t(w) + 31) / 32 * 4;
    const std::size_t at = 22 + 40 + std::size_t(w) * h * 4 + std::size_t(h - 1 - y) * row;
    return (s[at + x / 8] >> (7 - x % 8)) & 1;
}

// Checks the fixed layout of a one-image stream of width × height.
void ExpectStreamLayout(const Bytes& s, int w, int h) {
    const std::size_t maskRow = (std::size_t(w) + 31) / 32 * 4;
    const std::size_t dataSize = 40 + std::size_t(w) * h * 4 + maskRow * h;
    ASSERT_GE(s.size(), 22 + dataSize);
    EXPECT_EQ(Get16(s, 0), 0);
    EXPECT_EQ(Get16(s, 2), 1);
    EXPECT_EQ(Get16(s, 4), 1);
    EXPECT_EQ(s[6], w == 256 ? 0 : w);
    EXPECT_EQ(s[7], h == 256 ? 0 : h);
    EXPECT_EQ(Get16(s, 8), 32);
    EXPECT_EQ(Get16(s, 10), 0);
    EXPECT_EQ(Get16(s, 12), 0);
    EXPECT_EQ(Get32(s, 14), dataSize);
    EXPECT_EQ(Get32(s, 18), 22u);
    EXPECT_EQ(Get32(s, 22), 40u);
    EXPECT_EQ(static_cast<int>(Get32(s, 26)), w);
    EXPECT_EQ(static_cast<int>(Get32(s, 30)), 2 * h);
    EXPECT_EQ(Get16(s, 34), 1);
    EXPECT_EQ(Get16(s, 36), 32);
    EXPECT_EQ(Get32(s, 38), 0u);
    EXPECT_EQ(Get32(s, 42), std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(StreamMaskBit(s, x, y), StreamPixel(s, x, y).a == 0) << x << "," << y;
}

// ---- Names -------------------------------------------------------------------------------

TEST(IconSourceNames, ExtensionsAndIconSources) {
    struct Case {
        const char* path;
        const char* extension;
        bool source;
    };
    const Case cases[] = {
        {"/x/shell.dll", ".dll", true},
        {"/x/SHELL.DLL", ".dll", true},
        {"/x/App.Exe", ".exe", true},
        {"/x/a.ocx", ".ocx", true},
        {"/x/a.cpl", ".cpl", true},
        {"/x/a.ICL", ".icl", true},
        {"/x/a.ico", ".ico", true},
        {"/x/a.cur", ".cur", false},
        {"/x/a.ico.png", ".png", false},
        {"/x/archive.tar.ICO", ".ico", true},
        {"/x.d/noextension", "", false},
        {"C:\\icons\\a.ico", ".ico", true},  // backslashes are ordinary characters
        {"/x/.dll", ".dll", true},
        {"/x/a.dll.", ".", false},
        {"", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LowerExtension(c.path), c.extension) << c.path;
        EXPECT_EQ(IsIconSourceFile(c.path), c.source) << c.path;
    }
}

// ---- Image headers and the choice of image -----------------------------------------------

TEST(IconImageProbe, ReadsSizeAndDepthOfBitmapsAndPngs) {
    struct Case {
        const char* name;
        Bytes bytes;
        bool ok;
        IconImageInfo info;
    };
    Bytes cut = MakeDibIcon(32, 32, 32, kRed).Bytes;
    cut.resize(40 + 32 * 32 * 4 - 1);
    Bytes noMask = MakeDibIcon(32, 32, 8, kRed).Bytes;
    noMask.resize(noMask.size() - 1);
    Bytes colourOnly = MakeDibIcon(32, 32, 24, kRed).Bytes;
    colourOnly.resize(40 + 32 * 32 * 3);
    Bytes bitfields = MakeDibIcon(16, 16, 32, kRed).Bytes;
    bitfields[16] = 3;
    Bytes sixteen = MakeDibIcon(16, 16, 32, kRed).Bytes;
    sixteen[14] = 16;
    Bytes topDown = MakeDibIcon(16, 16, 32, kRed).Bytes;
    topDown[11] = 0xFF;  // negative height
    Bytes pngBadHeader = MakePngIcon(16, 16, kRed).Bytes;
    pngBadHeader[12] = 'X';
    const Case cases[] = {
        {"Dib32", MakeDibIcon(48, 48, 32, kRed).Bytes, true, {48, 48, 32, false}},
        {"Dib24WithoutMask", colourOnly, true, {32, 32, 24, false}},
        {"Dib8", MakeDibIcon(32, 16, 8, kRed).Bytes, true, {32, 16, 8, false}},
        {"Dib4", MakeDibIcon(16, 16, 4, kRed).Bytes, true, {16, 16, 4, false}},
        {"Dib1", MakeDibIcon(16, 16, 1, kRed).Bytes, true, {16, 16, 1, false}},
        {"Png", MakePngIcon(256, 256, kRed).Bytes, true, {256, 256, 32, true}},
        {"DibColourRowsCut", cut, false, {}},
        {"DibPaletteWithoutFullMask", noMask, false, {}},
        {"DibBitfields", bitfields, false, {}},
        {"Dib16Bits", sixteen, false, {}},
        {"DibTopDown", topDown, false, {}},
        {"DibTooLarge", MakeDibIcon(1025, 1, 32, kRed).Bytes, false, {}},
        {"PngTooLarge", MakePngIcon(2048, 1, kRed).Bytes, false, {}},
        {"PngWithoutHeaderChunk", pngBadHeader, false, {}},
        {"Empty", {}, false, {}},
        {"Text", Bytes(64, 'a'), false, {}},
    };
    for (const Case& c : cases) {
        IconImageInfo info;
        EXPECT_EQ(ProbeIconImage(c.bytes, info), c.ok) << c.name;
        if (!c.ok) continue;
        EXPECT_EQ(info.Width, c.info.Width) << c.name;
        EXPECT_EQ(info.Height, c.info.Height) << c.name;
        EXPECT_EQ(info.BitCount, c.info.BitCount) << c.name;
        EXPECT_EQ(info.Png, c.info.Png) << c.name;
    }
}

TEST(IconImageChoice, BestFitComesFirst) {
    struct Image {
        int w, h, bits;
    };
    struct Case {
        const char* name;
        std::vector<Image> images;
        int width, height;
        std::vector<int> order;  // indexes into images, best first
    };
    const Case cases[] = {
        {"ExactSize", {{16, 16, 32}, {32, 32, 32}, {48, 48, 32}}, 32, 32, {1, 2, 0}},
        {"NearestLarger", {{16, 16, 32}, {256, 256, 32}, {48, 48, 32}}, 32, 32, {2, 1, 0}},
        {"LargestWhenAllSmaller", {{16, 16, 32}, {48, 48, 32}, {24, 24, 32}}, 64, 64, {1, 2, 0}},
        {"DeepestAmongEqualSizes", {{32, 32, 8}, {32, 32, 32}, {32, 32, 4}}, 32, 32, {1, 0, 2}},
        {"DepthDoesNotBeatSize", {{48, 48, 32}, {32, 32, 4}}, 32, 32, {1, 0}},
        {"TiesKeepDirectoryOrder", {{32, 32, 32}, {32, 32, 32}}, 32, 32, {0, 1}},
        {"OnlyOneSideLargerIsSmaller", {{64, 16, 32}, {40, 40, 32}}, 32, 32, {1, 0}},
        {"NonSquareRequest", {{16, 16, 32}, {32, 16, 32}, {48, 48, 32}}, 32, 16, {1, 2, 0}},
    };
    for (const Case& c : cases) {
        std::vector<IconCandidate> list;
        for (const Image& im : c.images) {
            IconCandidate cand;
            cand.Info = {im.w, im.h, im.bits, false};
            list.push_back(cand);
        }
        std::vector<IconCandidate> ranked = list;
        RankIconCandidates(ranked, c.width, c.height);
        ASSERT_EQ(ranked.size(), c.order.size()) << c.name;
        for (std::size_t i = 0; i < ranked.size(); ++i) {
            const IconImageInfo& want = list[static_cast<std::size_t>(c.order[i])].Info;
            EXPECT_EQ(ranked[i].Info.Width, want.Width) << c.name << " #" << i;
            EXPECT_EQ(ranked[i].Info.Height, want.Height) << c.name << " #" << i;
            EXPECT_EQ(ranked[i].Info.BitCount, want.BitCount) << c.name << " #" << i;
        }
    }
}

// ---- The stream ----------------------------------------------------------------------------

RasterImage HalfTransparent(int w, int h) {
    RasterImage im;
    im.Allocate(w, h, PixelFormat::ie24RGB);
    im.AddAlpha(255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            im.SetPixelRgb(x, y,
                           Rgb{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7});
            im.AlphaRow(y)[x] = x < w / 2 ? 0 : static_cast<std::uint8_t>(128 + y % 100);
        }
    return im;
}

TEST(IconStream, LayoutColourAlphaAndMask) {
    for (int size : {1, 16, 31, 32, 48, 256}) {
        SCOPED_TRACE(size);
        const RasterImage im = HalfTransparent(size, size);
        Bytes s;
        const std::size_t n = WriteIconStream(im, s);
        EXPECT_EQ(n, s.size());
        ExpectStreamLayout(s, size, size);
        for (int y = 0; y < size; y += 7)
            for (int x = 0; x < size; x += 5) {
                const Rgba p = StreamPixel(s, x, y);
                EXPECT_EQ(p.r, x);
                EXPECT_EQ(p.g, y);
                EXPECT_EQ(p.b, 7);
                EXPECT_EQ(p.a, im.AlphaRow(y)[x]);
            }
    }
}

TEST(IconStream, OpaqueImageGetsFullAlphaAndEmptyMask) {
    RasterImage im;
    im.Allocate(20, 10, PixelFormat::ie24RGB);
    Bytes s;
    ASSERT_GT(WriteIconStream(im, s), 0u);
    ExpectStreamLayout(s, 20, 10);
    EXPECT_EQ(StreamPixel(s, 19, 9).a, 255);
}

TEST(IconStream, RewrittenFromTheStartWithoutShrinking) {
    Bytes s(100000, 0xEE);
    const std::size_t n = WriteIconStream(HalfTransparent(16, 16), s);
    EXPECT_EQ(s.size(), 100000u);
    EXPECT_EQ(s[n - 1], 0);
    EXPECT_EQ(s[n], 0xEE);
    EXPECT_EQ(s.back(), 0xEE);
}

TEST(IconStream, SizesOutsideOneTo256WriteNothing) {
    Bytes s(10, 0xEE);
    EXPECT_EQ(WriteIconStream(RasterImage(), s), 0u);
    EXPECT_EQ(WriteIconStream(HalfTransparent(257, 4), s), 0u);
    EXPECT_EQ(s, Bytes(10, 0xEE));
}

// ---- Files ---------------------------------------------------------------------------------

class IconFiles : public ::testing::Test {
  protected:
    TempDir dir_;
};

TEST_F(IconFiles, CountsWhatTheFilesHold) {
    ResourceBuilder one;
    one.AddIconGroup(1, {MakeDibIcon(32, 32, 32, kRed)});
    ResourceBuilder three;
    three.AddIconGroup(1, {MakeDibIcon(32, 32, 32, kRed)});
    three.AddIconGroup(2, {MakeDibIcon(32, 32, 32, kGreen)});
    three.AddIconGroup(3, {MakeDibIcon(32, 32, 32, kBlue)});
    ResourceBuilder none;
    none.Add(16, 1, Bytes(100, 1));  // version information only
    ResourceBuilder looseIcons;
    looseIcons.AddIcons({MakeDibIcon(32, 32, 32, kRed)});
    std::filesystem::create_directory(dir_.Path() + "/folder.dll");
    const std::string text = "Just some text.\n";
    struct Case {
        const char* name;
        std::string path;
        int count;
    };
    const Case cases[] = {
        {"OneIcon", dir_.Write("one.dll", one.BuildPe()), 1},
        {"ThreeIcons", dir_.Write("three.exe", three.BuildPe()), 3},
        {"ThreeIconsPe32Plus", dir_.Write("three64.dll", three.BuildPe(true)), 3},
        {"ThreeIconsNe", dir_.Write("three.icl", three.BuildNe()), 3},
        {"CapitalExtension", dir_.Write("THREE.DLL", three.BuildPe()), 3},
        {"NoIconGroups", dir_.Write("none.dll", none.BuildPe()), 0},
        {"IconsWithoutGroup", dir_.Write("loose.dll", looseIcons.BuildPe()), 0},
        {"IconFileCountsOnce",
         dir_.Write("a.ico", pefix::BuildIcoFile(
                                 {MakeDibIcon(16, 16, 32, kRed), MakeDibIcon(32, 32, 32, kRed)})),
         1},
        {"IconFileWithBadHeader", dir_.Write("bad.ico", Bytes{0, 0, 2, 0, 1, 0}), 0},
        {"TextNamedDll", dir_.Write("text.dll", Bytes(text.begin(), text.end())), 0},
        {"EmptyFile", dir_.Write("empty.exe", {}), 0},
        {"MissingFile", dir_.Path() + "/missing.dll", 0},
        {"Folder", dir_.Path() + "/folder.dll", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CountIcons(c.path), c.count) << c.name;
}

TEST_F(IconFiles, NothingFromFilesThatAreNoIconSource) {
    const std::string text = "Just some text.\n";
    const std::string path = dir_.Write("text.dll", Bytes(text.begin(), text.end()));
    IconSource source;
    EXPECT_EQ(source.Open(path), IconSourceError::NotIconSource);
    EXPECT_EQ(source.Count(), 0);
    Bytes s(5, 0xEE);
    EXPECT_FALSE(ExtractIconImage(path, 0, 32, 32, s));
    EXPECT_EQ(s, Bytes(5, 0xEE));
    EXPECT_EQ(source.Open(dir_.Path() + "/missing.exe"), IconSourceError::CannotOpenFile);
}

struct FormatCase {
    const char* name;
    int kind;  // 0 PE32, 1 PE32+, 2 NE
    friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }
};

class IconFormats : public ::testing::TestWithParam<FormatCase> {
  protected:
    std::string Write(const ResourceBuilder& b, const std::string& name) {
        const int k = GetParam().kind;
        return dir_.Write(name, k == 2 ? b.BuildNe() : b.BuildPe(k == 1));
    }
    TempDir dir_;
};

TEST_P(IconFormats, ThreeIconsComeOutInOrder) {
    ResourceBuilder b;
    b.AddIconGroup(5, {MakeDibIcon(32, 32, 32, kRed)});
    b.AddIconGroup(6, {MakeDibIcon(32, 32, 32, kGreen)});
    b.AddIconGroup(9, {MakeDibIcon(32, 32, 32, kBlue)});
    const std::string path = Write(b, "three.dll");
    IconSource source;
    ASSERT_EQ(source.Open(path), IconSourceError::None);
    ASSERT_EQ(source.Count(), 3);
    const Rgba expected[] = {kRed, kGreen, kBlue};
    Bytes s;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(source.Extract(i, 32, 32, s)) << i;
        ExpectStreamLayout(s, 32, 32);
        EXPECT_EQ(StreamPixel(s, 10, 10), expected[i]) << i;
    }
    EXPECT_FALSE(source.Extract(3, 32, 32, s));
    EXPECT_FALSE(source.Extract(-1, 32, 32, s));
}

TEST_P(IconFormats, OneIconAtEveryExportSize) {
    ResourceBuilder b;
    b.AddIconGroup(1, {MakeDibIcon(16, 16, 8, kGreen), MakeDibIcon(32, 32, 32, kRed),
                       MakePngIcon(256, 256, kBlue)});
    const std::string path = Write(b, "one.dll");
    EXPECT_EQ(CountIcons(path), 1);
    for (int size : {16, 24, 32, 48, 64, 72, 96, 128, 256}) {
        Bytes s;
        ASSERT_TRUE(ExtractIconImage(path, 0, size, size, s)) << size;
        ExpectStreamLayout(s, size, size);
        // 16 and 32 exist; every other size is the nearest larger image scaled down.
        const Rgba want = size == 16 ? kGreen : size <= 32 ? kRed : kBlue;
        EXPECT_EQ(StreamPixel(s, size / 2, size / 2), want) << size;
    }
}

TEST_P(IconFormats, EveryBitmapDepthAndPngDecodes) {
    const Rgba white{255, 255, 255, 255}, black{0, 0, 0, 255};
    struct Case {
        const char* name;
        IconImage image;
        Rgba centre;
    };
    const Case cases[] = {
        {"OneBit", MakeDibIcon(32, 32, 1, white), white},
        {"FourBits", MakeDibIcon(32, 32, 4, kRed), kRed},
        {"EightBits", MakeDibIcon(32, 32, 8, kGreen), kGreen},
        {"TwentyFourBits", MakeDibIcon(32, 32, 24, kBlue), kBlue},
        {"ThirtyTwoBits", MakeDibIcon(32, 32, 32, kYellow), kYellow},
        {"Png", MakePngIcon(32, 32, kGrey), kGrey},
        {"OneBitBlack", MakeDibIcon(32, 32, 1, black), black},
    };
    ResourceBuilder b;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        b.AddIconGroup(static_cast<std::uint32_t>(i + 1), {cases[i].image});
    IconSource source;
    ASSERT_EQ(source.Open(Write(b, "depths.dll")), IconSourceError::None);
    ASSERT_EQ(source.Count(), static_cast<int>(std::size(cases)));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Bytes s;
        ASSERT_TRUE(source.Extract(static_cast<int>(i), 32, 32, s)) << cases[i].name;
        ExpectStreamLayout(s, 32, 32);
        EXPECT_EQ(StreamPixel(s, 16, 16), cases[i].centre) << cases[i].name;
    }
}

INSTANTIATE_TEST_SUITE_P(All, IconFormats,
                         ::testing::Values(FormatCase{"PE32", 0}, FormatCase{"PE32Plus", 1},
                                           FormatCase{"NE", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IconFiles, IconFileGivesItsExactSizeImage) {
    // The 32 image is a pattern, so any scaling would show.
    const IconImage pattern = MakeDibIcon(32, 32, 32, [](int x, int y) {
        return Rgba{static_cast<std::uint8_t>(x * 8), static_cast<std::uint8_t>(y * 8), 50,
                    static_cast<std::uint8_t>((x + y) % 3 ? 255 : 0)};
    });
    const std::string path =
        dir_.Write("three.ico", pefix::BuildIcoFile({MakeDibIcon(16, 16, 32, kRed), pattern,
                                                     MakeDibIcon(48, 48, 32, kBlue)}));
    EXPECT_EQ(CountIcons(path), 1);
    Bytes s;
    ASSERT_TRUE(ExtractIconImage(path, 0, 32, 32, s));
    ExpectStreamLayout(s, 32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const Rgba p = StreamPixel(s, x, y);
            const std::uint8_t a = (x + y) % 3 ? 255 : 0;
            ASSERT_EQ(p.a, a) << x << "," << y;
            if (a) {
                ASSERT_EQ(p, (Rgba{std::uint8_t(x * 8), std::uint8_t(y * 8), 50, 255}));
            }
        }
    EXPECT_FALSE(ExtractIconImage(path, 1, 32, 32, s));
}

TEST_F(IconFiles, IconFileWithOnly256IsScaledTo32) {
    const std::string path =
        dir_.Write("big.ico", pefix::BuildIcoFile({MakePngIcon(256, 256, kYellow)}));
    EXPECT_EQ(CountIcons(path), 1);
    Bytes s;
    ASSERT_TRUE(ExtractIconImage(path, 0, 32, 32, s));
    ExpectStreamLayout(s, 32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(StreamPixel(s, x, y), kYellow) << x << "," << y;
}

TEST_F(IconFiles, At256TheSizeBytesAreZeroAndTheStreamReadsBack) {
    const std::string path =
        dir_.Write("a.ico", pefix::BuildIcoFile({MakeDibIcon(48, 48, 32, [](int x, int) {
                       return x < 24 ? Rgba{0, 0, 0, 0} : kGreen;
                   })}));
    Bytes s;
    ASSERT_TRUE(ExtractIconImage(path, 0, 256, 256, s));
    EXPECT_EQ(s[6], 0);
    EXPECT_EQ(s[7], 0);
    ExpectStreamLayout(s, 256, 256);
    ByteReader reader(s);
    RasterImage image;
    FileParams params;
    bool failed = false;
    failed = ReadIconImage(reader, image, params) != ImageError::None;
    ASSERT_FALSE(failed);
    EXPECT_EQ(image.Width(), 256);
    EXPECT_EQ(image.Height(), 256);
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.AlphaRow(100)[0], 0);
    EXPECT_EQ(image.AlphaRow(100)[255], 255);
}

// Colour under transparent pixels must not bleed into the edge when an icon is scaled.
TEST_F(IconFiles, ScalingWeighsColourByAlpha) {
    const std::string path =
        dir_.Write("edge.ico", pefix::BuildIcoFile({MakeDibIcon(64, 64, 32, [](int x, int) {
                       return x < 30 ? Rgba{255, 0, 0, 0} : Rgba{0, 0, 255, 255};
                   })}));
    Bytes s;
    ASSERT_TRUE(ExtractIconImage(path, 0, 32, 32, s));
    ExpectStreamLayout(s, 32, 32);
    int partial = 0;
    for (int x = 0; x < 32; ++x) {
        const Rgba p = StreamPixel(s, x, 16);
        if (p.a == 0) continue;
        if (p.a < 255) ++partial;
        EXPECT_EQ(p.r, 0) << x;
        EXPECT_GE(p.b, 250) << x;
    }
    EXPECT_GT(partial, 0);
    EXPECT_EQ(StreamPixel(s, 0, 16).a, 0);
    EXPECT_EQ(StreamPixel(s, 31, 16).a, 255);
}

TEST_F(IconFiles, ChoosesAmongSizesDepthsAndPngs) {
    ResourceBuilder b;
    b.AddIconGroup(1, {MakeDibIcon(16, 16, 32, kRed), MakeDibIcon(32, 32, 8, kGrey),
                       MakeDibIcon(32, 32, 32, kYellow), MakeDibIcon(48, 48, 32, kGreen)});
    b.AddIconGroup(2, {MakeDibIcon(32, 32, 24, kGrey), MakePngIcon(32, 32, kBlue)});
    const std::string path = dir_.Write("choice.dll", b.BuildPe());
    struct Case {
        const char* name;
        int index, size;
        Rgba colour;
    };
    const Case cases[] = {
        {"ExactSizeDeepest", 0, 32, kYellow},
        {"ExactSmall", 0, 16, kRed},
        {"NearestLargerScaledDown", 0, 24, kYellow},
        {"LargestScaledUp", 0, 64, kGreen},
        {"PngIsDeepest", 1, 32, kBlue},
    };
    IconSource source;
    ASSERT_EQ(source.Open(path), IconSourceError::None);
    for (const Case& c : cases) {
        Bytes s;
        ASSERT_TRUE(source.Extract(c.index, c.size, c.size, s)) << c.name;
        EXPECT_EQ(StreamPixel(s, c.size / 2, c.size / 2), c.colour) << c.name;
    }
}

TEST_F(IconFiles, BadSizesAndIndexesGiveFalseAndLeaveTheStream) {
    ResourceBuilder b;
    b.AddIconGroup(1, {MakeDibIcon(32, 32, 32, kRed)});
    const std::string path = dir_.Write("one.dll", b.BuildPe());
    IconSource source;
    ASSERT_EQ(source.Open(path), IconSourceError::None);
    struct Case {
        const char* name;
        int index, w, h;
        IconSourceError error;
    };
    const Case cases[] = {
        {"ZeroWidth", 0, 0, 32, IconSourceError::SizeNotSupported},
        {"Above256", 0, 32, 257, IconSourceError::SizeNotSupported},
        {"NegativeIndex", -1, 32, 32, IconSourceError::IndexOutOfRange},
        {"IndexPastCount", 1, 32, 32, IconSourceError::IndexOutOfRange},
    };
    for (const Case& c : cases) {
        Bytes s(3, 0xEE);
        IconSourceError e = IconSourceError::None;
        EXPECT_FALSE(source.Extract(c.index, c.w, c.h, s, &e)) << c.name;
        EXPECT_EQ(e, c.error) << c.name;
        EXPECT_EQ(s, Bytes(3, 0xEE)) << c.name;
    }
}

TEST_F(IconFiles, LooksAtTheFirstImagesOfAnIconOnly) {
    std::vector<IconImage> images(kMaxImagesPerIcon, MakeDibIcon(16, 16, 32, kRed));
    images.push_back(MakeDibIcon(32, 32, 32, kBlue));
    ResourceBuilder b;
    b.AddIconGroup(1, images);
    Bytes s;
    ASSERT_TRUE(ExtractIconImage(dir_.Write("many.dll", b.BuildPe()), 0, 32, 32, s));
    EXPECT_EQ(StreamPixel(s, 16, 16), kRed);
}

// Damaged libraries: what is counted, and which icons can still be delivered.
TEST_F(IconFiles, DamagedLibraries) {
    auto truncatedDib = [] {
        IconImage im = MakeDibIcon(32, 32, 32, kGreen);
        im.Bytes.resize(im.Bytes.size() / 2);
        return im;
    };
    auto brokenPng = [] {
        IconImage im = MakePngIcon(32, 32, kGreen);
        for (std::size_t i = 41; i < im.Bytes.size() - 12; ++i) im.Bytes[i] ^= 0x5A;
        return im;
    };
    struct Case {
        const char* name;
        std::function<Bytes()> build;
        int count;
        std::vector<bool> delivered;
    };
    const Case cases[] = {
        {"GroupNamesMissingIcons",
         [] {
             ResourceBuilder b;
             b.AddIconGroup(1, {MakeDibIcon(32, 32, 32, kRed)});
             b.Add(kRtGroupIcon, 2,
                   pefix::BuildGroupDirectory({MakeDibIcon(32, 32, 32, kRed)}, {77}));
             b.AddIconGroup(3, {MakeDibIcon(32, 32, 32, kBlue)});
             return b.BuildPe();
         },
         3,
         {true, false, true}},
        {"GroupWithTruncatedImageOnly",
         [&] {
             ResourceBuilder b;
             b.AddIconGroup(1, {truncatedDib()});
             b.AddIconGroup(2, {MakeDibIcon(16, 16, 32, kRed)});
             return b.BuildPe();
         },
         2,
         {false, true}},
        {"BrokenBestImageGivesWayToTheNext",
         [&] {
             ResourceBuilder b;
             b.AddIconGroup(1, {MakeDibIcon(16, 16, 32, kRed), brokenPng()});
             return b.BuildPe();
         },
         1,
         {true}},
        {"GroupDirectoryOfWrongType",
         [] {
             ResourceBuilder b;
             Bytes dir = pefix::BuildGroupDirectory({MakeDibIcon(32, 32, 32, kRed)},
                                                    b.AddIcons({MakeDibIcon(32, 32, 32, kRed)}));
             dir[2] = 2;
             b.Add(kRtGroupIcon, 1, dir);
             return b.BuildPe();
         },
         1,
         {false}},
        {"GroupDirectoryClaimsMoreImagesThanItHolds",
         [] {
             ResourceBuilder b;
             Bytes dir = pefix::BuildGroupDirectory({MakeDibIcon(32, 32, 32, kRed)},
                                                    b.AddIcons({MakeDibIcon(32, 32, 32, kRed)}));
             dir[4] = 0xFF, dir[5] = 0xFF;
             b.Add(kRtGroupIcon, 1, dir);
             return b.BuildPe();
         },
         1,
         {true}},
        {"EmptyGroupDirectory",
         [] {
             ResourceBuilder b;
             b.Add(kRtGroupIcon, 1, {});
             return b.BuildPe();
         },
         1,
         {false}},
        {"FileCutInsideTheIcons",
         [] {
             // Groups first, so that the cut falls inside the last icon's bytes.
             ResourceBuilder b;
             b.SortEntries = false;
             const IconImage first = MakeDibIcon(32, 32, 32, kRed);
             const IconImage last = MakeDibIcon(48, 48, 32, kBlue);
             b.Add(kRtGroupIcon, 1, pefix::BuildGroupDirectory({first}, {1}));
             b.Add(kRtGroupIcon, 2, pefix::BuildGroupDirectory({last}, {2}));
             b.Add(kRtIcon, 1, first.Bytes);
             b.Add(kRtIcon, 2, last.Bytes);
             Bytes f = b.BuildPe();
             f.resize(f.size() - 5000);
             return f;
         },
         2,
         {true, false}},
        {"GroupDirectoryLoopsToRoot",
         [] {
             ResourceBuilder b;
             b.AddIconGroup(1, {MakeDibIcon(32, 32, 32, kRed)});
             pefix::PeLayout layout;
             Bytes f = b.BuildPe(false, &layout);
             const std::size_t entry = layout.Resources + 16 + 8 + 4;  // type 14's target
             f[entry] = f[entry + 1] = f[entry + 2] = 0;
             return f;
         },
         2,
         {false, false}},
        {"IconFileWhoseImageLiesOutsideIt",
         [] {
             Bytes f = pefix::BuildIcoFile({MakeDibIcon(32, 32, 32, kRed)});
             f[6 + 12] = 0xFF, f[6 + 13] = 0xFF;
             return f;
         },
         1,
         {false}},
    };
    for (const Case& c : cases) {
        const std::string path = dir_.Write(std::string(c.name) + ".dll", c.build());
        IconSource source;
        source.Open(path);
        ASSERT_EQ(source.Count(), c.count) << c.name;
        for (int i = 0; i < c.count; ++i) {
            Bytes s;
            EXPECT_EQ(source.Extract(i, 32, 32, s), c.delivered[static_cast<std::size_t>(i)])
                << c.name << " #" << i;
            if (c.delivered[static_cast<std::size_t>(i)]) ExpectStreamLayout(s, 32, 32);
        }
    }
}

// Cut and scrambled copies of sound files: whatever is counted or delivered stays well formed.
TEST_F(IconFiles, CutAndScrambledFilesStaySafe) {
    ResourceBuilder b;
    b.AddIconGroup(1, {MakeDibIcon(16, 16, 4, kRed), MakePngIcon(48, 48, kBlue)});
    b.AddNamedIconGroup("MAIN", {MakeDibIcon(32, 32, 32, kGreen)});
    const Bytes originals[] = {
        b.BuildPe(), b.BuildPe(true), b.BuildNe(),
        pefix::BuildIcoFile({MakeDibIcon(16, 16, 8, kRed), MakePngIcon(32, 32, kBlue)})};
    std::mt19937 random(12345);
    int delivered = 0, written = 0;
    for (const Bytes& original : originals) {
        std::vector<Bytes> variants;
        for (std::size_t cut = 0; cut < original.size(); cut += 1 + original.size() / 97)
            variants.emplace_back(original.begin(), original.begin() + static_cast<long>(cut));
        // Headers and directories sit in the first 0x600 bytes of every fixture.
        const std::size_t region = std::min<std::size_t>(original.size(), 0x600);
        for (int k = 0; k < 300; ++k) {
            Bytes v = original;
            for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
                v[random() % region] = static_cast<std::uint8_t>(random());
            variants.push_back(std::move(v));
        }
        for (const Bytes& v : variants) {
            // A fresh name each time: rewriting one file in place makes the file system flush.
            const std::string path = dir_.Write("v" + std::to_string(++written) + ".dll", v);
            IconSource source;
            source.Open(path);
            std::filesystem::remove(path);
            for (int i = 0; i < source.Count() && i < 64; ++i) {
                Bytes s;
                if (!source.Extract(i, 24, 24, s)) continue;
                ++delivered;
                ExpectStreamLayout(s, 24, 24);
            }
        }
    }
    EXPECT_GT(delivered, 0);
}

}  // namespace
}  // namespace gw
