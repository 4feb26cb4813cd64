#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "imagefile/formats/registry.h"
#include "support/metafile_builder.h"
#include "support/picture_bytes.h"

namespace gw {
namespace {

using test::EmfBuilder;

constexpr Rgb kRed{255, 0, 0}, kBlue{0, 0, 255}, kBlack{0, 0, 0}, kWhite{255, 255, 255};
constexpr std::uint32_t kStockBlackBrush = 0x80000004, kStockNullPen = 0x80000008;
// One inch in hundredths of a millimetre: 96 pixels.
constexpr int kInch = 2540;

bool Read(const std::vector<std::uint8_t>& file, ImageHolder& h) {
    return kEmfCodec.Read(h, file, ReadOptions{}) == ImageError::None;
}

std::uint8_t AlphaAt(const RasterImage& image, int x, int y) {
    return image.HasAlpha() ? image.AlphaRow(y)[x] : 255;
}

// Brush 1 red, brush 2 blue, no pen.
EmfBuilder RedBlue() {
    EmfBuilder b;
    b.Brush(1, 0, kRed).Brush(2, 0, kBlue).Select(kStockNullPen).Select(1);
    return b;
}

TEST(EmfRead, FrameGivesThePictureSizeAndDetectionFindsIt) {
    EmfBuilder b = RedBlue();
    b.Rectangle(0, 0, 48, 32);
    const std::vector<std::uint8_t> file = b.Build(kInch, kInch * 2 / 3);
    EXPECT_EQ(DetectImageFormat(file), kTypeEmf);
    EXPECT_TRUE(kEmfCodec.Probe(file));
    ImageHolder h;
    ASSERT_TRUE(Read(file, h));
    EXPECT_EQ(h.Image.Width(), 96);
    EXPECT_EQ(h.Image.Height(), 64);
    EXPECT_EQ(h.Params.ImageWidth, 96);
    EXPECT_EQ(h.Params.ChannelCount, 4);
    EXPECT_EQ(h.Image.PixelRgb(24, 16), kRed);
    EXPECT_EQ(AlphaAt(h.Image, 24, 16), 255);
    EXPECT_EQ(AlphaAt(h.Image, 70, 50), 0);
}

TEST(EmfRead, ReferenceDeviceResolutionScalesDeviceUnits) {
    // A 192-dpi reference device: device units are half a picture pixel.
    EmfBuilder b = RedBlue();
    b.Rectangle(0, 0, 96, 96);
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(kInch, kInch, 1920, 1920, 254, 254), h));
    ASSERT_EQ(h.Image.Width(), 96);
    EXPECT_EQ(h.Image.PixelRgb(40, 40), kRed);
    EXPECT_EQ(AlphaAt(h.Image, 60, 60), 0);
}

TEST(EmfRead, PolygonsUnderAWorldTransform) {
    EmfBuilder b = RedBlue();
    b.SetWorldTransform({2, 0, 0, 2, 40, 40});
    b.Poly(86, {{0, 0}, {20, 0}, {20, 20}, {0, 20}});  // 16-bit polygon, to 40..80
    b.ModifyWorldTransform({1, 0, 0, 1, 0, 0}, 1);     // identity
    b.Select(2).Poly(3, {{0, 0}, {30, 0}, {0, 30}});
    // Left multiplication applies the new transform first: scale, then the translation.
    b.SetWorldTransform({1, 0, 0, 1, 50, 0}).ModifyWorldTransform({2, 0, 0, 2, 0, 0}, 2);
    b.Poly(86, {{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(kInch, kInch), h));
    EXPECT_EQ(h.Image.PixelRgb(60, 60), kRed);
    EXPECT_EQ(AlphaAt(h.Image, 38, 60), 0);
    EXPECT_EQ(AlphaAt(h.Image, 85, 85), 0);
    EXPECT_EQ(h.Image.PixelRgb(5, 5), kBlue);
    EXPECT_EQ(h.Image.PixelRgb(60, 10), kBlue);
    EXPECT_EQ(AlphaAt(h.Image, 75, 10), 0);
}

TEST(EmfRead, PolyPolygonsAndFillModes) {
    const std::vector<std::pair<int, int>> outer = {{0, 0}, {90, 0}, {90, 90}, {0, 90}};
    const std::vector<std::pair<int, int>> inner = {{30, 30}, {60, 30}, {60, 60}, {30, 60}};
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        EmfBuilder b = RedBlue();
        b.SetPolyFillMode(mode).PolyPoly(91, {outer, inner});
        ImageHolder h;
        ASSERT_TRUE(Read(b.Build(kInch, kInch), h));
        EXPECT_EQ(h.Image.PixelRgb(10, 45), kRed);
        if (mode == 1)
            EXPECT_EQ(AlphaAt(h.Image, 45, 45), 0);
        else
            EXPECT_EQ(h.Image.PixelRgb(45, 45), kRed);
    }
}

TEST(EmfRead, PathBracketFillsStrokesAndDrawsNothingUntilThen) {
    struct Case {
        std::string name;
        std::uint32_t paint;  // 62 fill, 63 stroke and fill, 64 stroke
        bool interior, edgeBlack;
    } cases[] = {
        {"fill", 62, true, false},
        {"stroke and fill", 63, true, true},
        {"stroke", 64, false, true},
        {"no paint record", 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EmfBuilder b;
        b.Brush(1, 0, kRed).Select(1).Pen(2, 0, 4, kBlack).Select(2);
        b.Longs(59, {}).MoveTo(10, 10).LineTo(80, 10);
        b.Poly(88, {{80, 40}, {80, 80}, {10, 80}});  // 16-bit bezier from the current point
        b.Longs(61, {}).Longs(60, {});
        if (c.paint) b.Longs(c.paint, {0, 0, 0, 0});
        ImageHolder h;
        ASSERT_TRUE(Read(b.Build(kInch, kInch), h));
        if (c.interior)
            EXPECT_EQ(h.Image.PixelRgb(40, 40), kRed);
        else
            EXPECT_EQ(AlphaAt(h.Image, 40, 40), 0);
        if (c.edgeBlack)
            EXPECT_EQ(h.Image.PixelRgb(45, 10), kBlack);
        else if (c.interior)
            EXPECT_EQ(h.Image.PixelRgb(45, 11), kRed);
        else
            EXPECT_EQ(AlphaAt(h.Image, 45, 10), 0);
        EXPECT_EQ(AlphaAt(h.Image, 5, 5), 0);
    }
}

TEST(EmfRead, StockObjectsMappingAndSavedStates) {
    EmfBuilder b = RedBlue();
    b.SetMapMode(8).SetWindowExt(10, 10).SetViewportExt(96, 96);
    b.SaveDc().Select(kStockBlackBrush).Rectangle(0, 0, 5, 5).RestoreDc(-1);
    b.Rectangle(5, 5, 10, 10);  // red again after the restore
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(kInch, kInch), h));
    EXPECT_EQ(h.Image.PixelRgb(24, 24), kBlack);
    EXPECT_EQ(h.Image.PixelRgb(72, 72), kRed);
    EXPECT_EQ(AlphaAt(h.Image, 72, 24), 0);
}

TEST(EmfRead, PieFromTheRightEndToTheTop) {
    EmfBuilder b = RedBlue();
    b.Longs(47, {0, 0, 96, 96, 96, 48, 48, 0});
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(kInch, kInch), h));
    EXPECT_EQ(h.Image.PixelRgb(70, 25), kRed);
    EXPECT_EQ(AlphaAt(h.Image, 25, 25), 0);
    EXPECT_EQ(AlphaAt(h.Image, 70, 70), 0);
}

TEST(EmfRead, EmbeddedTwentyFourBitBitmap) {
    const std::vector<std::uint8_t> dib = test::PackedDib(2, 2, {kRed, kBlack, kBlue, kWhite});
    EmfBuilder b;
    b.StretchDiBits(dib, 0, 0, 2, 2, 0, 0, 48, 48);
    // Source rows count from the bottom of a bottom-up bitmap: (1, 0) is the lower right.
    b.StretchDiBits(dib, 1, 0, 1, 1, 48, 0, 48, 48);
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(kInch, kInch), h));
    EXPECT_EQ(h.Image.PixelRgb(5, 5), kRed);
    EXPECT_EQ(h.Image.PixelRgb(42, 5), kBlack);
    EXPECT_EQ(h.Image.PixelRgb(5, 42), kBlue);
    EXPECT_EQ(h.Image.PixelRgb(42, 42), kWhite);
    EXPECT_EQ(h.Image.PixelRgb(72, 24), kWhite);
    EXPECT_EQ(AlphaAt(h.Image, 72, 72), 0);
}

TEST(EmfRead, MalformedFilesFailOrKeepWhatCameBefore) {
    const auto first = [] {
        EmfBuilder b = RedBlue();
        b.Rectangle(0, 0, 48, 48);
        return b;
    };
    const std::vector<std::uint8_t> good = first().Build(kInch, kInch);
    struct Case {
        std::string name;
        std::vector<std::uint8_t> file;
        bool reads, drawsFirst;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, false, false});
    cases.push_back({"header cut short", {good.begin(), good.begin() + 60}, false, false});
    {
        std::vector<std::uint8_t> f = good;
        f[4] = 0xff;  // header size beyond the data
        f[5] = 0xff;
        cases.push_back({"header size beyond the data", f, false, false});
    }
    cases.push_back({"end record missing", {good.begin(), good.end() - 20}, true, true});
    cases.push_back({"no frame and no bounds", first().Build(0, 0), false, false});
    {
        EmfBuilder b = first();
        b.SizedRaw(43, 0, {}).Rectangle(48, 48, 96, 96);
        cases.push_back({"record size zero", b.Build(kInch, kInch), true, true});
    }
    {
        EmfBuilder b = first();
        b.SizedRaw(43, 0x7ffffff0, {0, 0, 0, 0});
        cases.push_back({"record size beyond the data", b.Build(kInch, kInch), true, true});
    }
    {
        EmfBuilder b = first();
        b.SizedRaw(43, 13, {0, 0, 0, 0, 0}).Rectangle(48, 48, 96, 96);
        cases.push_back({"record size not in whole longs", b.Build(kInch, kInch), true, true});
    }
    {
        EmfBuilder b = first();
        b.Select(500).Brush(70000, 0, kBlue).Select(70000).Longs(40, {0x7fffffff});
        b.Longs(3, {0, 0, 0, 0, 0x40000000, 1, 2});  // more points than the record holds
        b.Longs(8, {0, 0, 0, 0, 0x40000000, 9, 1});  // polygon counts beyond the record
        b.Longs(8, {0, 0, 0, 0, 2, 5, 3, 3, 0, 0});  // counts that do not add up
        b.SetWorldTransform({0, 0, 0, 0, 0, 0});     // singular: ignored
        b.Longs(81, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0x7fffffff, 40, 0, 0, 0, 0, 10, 10});
        b.Rectangle(50, 50, 60, 60);
        cases.push_back({"indexes, counts and offsets out of range",
                         b.Build(kInch, kInch, 960, 960, 254, 254, 3), true, true});
    }
    {
        EmfBuilder b = RedBlue();
        b.Rectangle(0, 0, 100000, 100000);
        cases.push_back({"huge frame", b.Build(0x7fffffff, 0x7fffffff), true, false});
    }
    {
        EmfBuilder b = first();
        b.SetMapMode(8).SetWindowExt(0x7fffffff, 1).SetViewportExt(1, 0x7fffffff);
        b.Ellipse(-0x7fffffff, 0, 0x7fffffff, 1).SetMapMode(3).Rectangle(0, 0, 1, 1);
        b.SetMapMode(1).Poly(2, {{0, 0}, {0x7fffffff, -0x7fffffff}, {5, 5}, {-0x7fffffff, 9}});
        cases.push_back({"extreme extents", b.Build(kInch, kInch), true, true});
    }
    {
        cases.push_back({"implausible reference device",
                         first().Build(kInch, kInch, 1, 1, 0x7fffffff, 1), true, true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageHolder h;
        ASSERT_EQ(Read(c.file, h), c.reads);
        if (c.drawsFirst) {
            EXPECT_EQ(h.Image.PixelRgb(24, 24), kRed);
        }
        if (c.reads) {
            EXPECT_LE(h.Image.Width(), 4096);
            EXPECT_LE(h.Image.Height(), 4096);
        }
    }
}

}  // namespace
}  // namespace gw

namespace gw {
namespace {

void Put32(std::vector<std::uint8_t>& p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// ExtCreateFontIndirectW: slot, LOGFONTW with a face name in UTF-16.
std::vector<std::uint8_t> WideFont(std::uint32_t slot, int height, const char* face) {
    std::vector<std::uint8_t> p;
    Put32(p, slot);
    Put32(p, static_cast<std::uint32_t>(height));
    for (int i = 0; i < 3; ++i) Put32(p, 0);
    Put32(p, 700);
    p.insert(p.end(), {0, 0, 0, 0, 0, 0, 0, 0});
    std::size_t n = 0;
    for (; face[n]; ++n) p.insert(p.end(), {static_cast<std::uint8_t>(face[n]), 0});
    p.resize(p.size() + 2 * (32 - n), 0);
    return p;
}

// ExtTextOutW at (x, y) with ETO_OPAQUE's rectangle when given.
std::vector<std::uint8_t> WideText(const std::u16string& text, int x, int y, const int* rect) {
    std::vector<std::uint8_t> p(16, 0);  // bounds
    Put32(p, 1);                         // compatible graphics mode
    Put32(p, 0);
    Put32(p, 0);
    Put32(p, static_cast<std::uint32_t>(x));
    Put32(p, static_cast<std::uint32_t>(y));
    Put32(p, static_cast<std::uint32_t>(text.size()));
    Put32(p, 76);  // the string follows these fields and the record's head
    Put32(p, rect ? 2 : 0);
    for (int i = 0; i < 4; ++i) Put32(p, rect ? static_cast<std::uint32_t>(rect[i]) : 0);
    Put32(p, 0);
    for (char16_t c : text)
        p.insert(p.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    return p;
}

TEST(EmfRead, WideTextWithItsFontAndAnOpaqueRectangle) {
    const int rect[4] = {50, 50, 90, 90};
    EmfBuilder b;
    b.Raw(82, WideFont(1, -24, "DejaVu Sans")).Select(1);
    b.Longs(24, {test::ColorRef(kRed)}).Longs(18, {1});
    b.Raw(84, WideText(u"HEH", 10, 10, nullptr));
    b.Longs(25, {test::ColorRef(kBlue)});
    b.Raw(84, WideText(u"", 0, 0, rect));
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(kInch, kInch), h));
    int red = 0;
    for (int y = 10; y < 36; ++y)
        for (int x = 10; x < 70; ++x)
            if (h.Image.PixelRgb(x, y) == kRed && AlphaAt(h.Image, x, y) == 255) ++red;
    EXPECT_GT(red, 60);
    EXPECT_EQ(AlphaAt(h.Image, 30, 45), 0);
    EXPECT_EQ(h.Image.PixelRgb(70, 70), kBlue);
    EXPECT_EQ(AlphaAt(h.Image, 70, 70), 255);
}

TEST(EmfRead, GeometricDashesScaleWithTheirWidth) {
    // ExtCreatePen: slot, bitmap fields, style (geometric, dash, flat ends), width, solid brush.
    auto pen = [](std::uint32_t style, std::uint32_t width) {
        std::vector<std::uint8_t> p;
        Put32(p, 1);
        for (int i = 0; i < 4; ++i) Put32(p, 0);
        Put32(p, style);
        Put32(p, width);
        Put32(p, 0);
        Put32(p, 0);
        Put32(p, 0);
        Put32(p, 0);
        return p;
    };
    EmfBuilder b;
    b.Raw(95, pen(0x00010000 | 1 | 0x0200, 4)).Select(1).MoveTo(0, 20).LineTo(96, 20);
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(kInch, kInch), h));
    EXPECT_EQ(AlphaAt(h.Image, 5, 20), 255);  // a dash of three widths: 0..12
    EXPECT_EQ(AlphaAt(h.Image, 14, 20), 0);   // then one width free: 12..16
    EXPECT_EQ(AlphaAt(h.Image, 18, 20), 255);
}

}  // namespace
}  // namespace gw
