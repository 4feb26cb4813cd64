#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "imagefile/formats/registry.h"
#include "imagefile/metafile/text.h"
#include "support/metafile_builder.h"
#include "support/picture_bytes.h"

namespace gw {
namespace {

using test::WmfBuilder;

constexpr Rgb kRed{255, 0, 0}, kBlue{0, 0, 255}, kGreen{0, 160, 0};
constexpr int kNullPen = 5, kSolid = 0, kNullBrush = 1, kHatched = 2;

bool Read(const std::vector<std::uint8_t>& file, ImageHolder& h, int hint = 0) {
    ReadOptions options;
    options.DisplaySizeHint = hint;
    return kWmfCodec.Read(h, file, options) == ImageError::None;
}

std::uint8_t AlphaAt(const RasterImage& image, int x, int y) {
    return image.HasAlpha() ? image.AlphaRow(y)[x] : 255;
}

// Null pen; objects 0 and 1 are a red and a blue solid brush.
WmfBuilder RedBlue() {
    WmfBuilder b;
    b.Pen(kNullPen, 0, {}).Select(0).Delete(0);
    b.Brush(kSolid, kRed).Brush(kSolid, kBlue);
    return b;
}

TEST(WmfRead, PlaceableRedRectangleOnBlueEllipse) {
    WmfBuilder b = RedBlue();
    b.SetWindowOrg(0, 0).SetWindowExt(1440, 960);
    b.Select(1).Ellipse(0, 0, 1440, 960).Select(0).Rectangle(360, 240, 1080, 720);
    const std::vector<std::uint8_t> file = b.BuildPlaceable(0, 0, 1440, 960, 1440);
    EXPECT_EQ(DetectImageFormat(file), kTypeWmf);
    EXPECT_TRUE(kWmfCodec.Probe(file));

    ImageHolder h;
    ASSERT_TRUE(Read(file, h));
    const RasterImage& im = h.Image;
    // One inch by two thirds of an inch at 96 dots per inch.
    ASSERT_EQ(im.Width(), 96);
    ASSERT_EQ(im.Height(), 64);
    EXPECT_EQ(h.Params.ImageWidth, 96);
    EXPECT_EQ(h.Params.ImageHeight, 64);
    EXPECT_EQ(h.Params.ChannelCount, 4);
    EXPECT_EQ(im.Format(), PixelFormat::ie24RGB);
    EXPECT_EQ(im.PixelRgb(48, 32), kRed);
    EXPECT_EQ(AlphaAt(im, 48, 32), 255);
    EXPECT_EQ(im.PixelRgb(8, 32), kBlue);
    EXPECT_EQ(im.PixelRgb(48, 4), kBlue);
    // Outside the ellipse nothing was drawn.
    EXPECT_EQ(AlphaAt(im, 1, 1), 0);
    EXPECT_EQ(AlphaAt(im, 94, 62), 0);
}

TEST(WmfRead, PlaceableBoxWithAnOffsetOriginAndNoWindowRecords) {
    WmfBuilder b = RedBlue();
    b.Select(0).Rectangle(1000, 2000, 1050, 2100);
    ImageHolder h;
    ASSERT_TRUE(Read(b.BuildPlaceable(1000, 2000, 1100, 2100, 100), h));
    ASSERT_EQ(h.Image.Width(), 96);
    EXPECT_EQ(h.Image.PixelRgb(20, 48), kRed);
    EXPECT_EQ(AlphaAt(h.Image, 70, 48), 0);
}

struct MappingCase {
    std::string name;
    std::vector<std::uint8_t> file;
    int width, height;
    std::vector<std::pair<int, int>> filled, empty;
};

std::vector<MappingCase> MappingCases() {
    std::vector<MappingCase> cases;
    {  // The window fills the picture; without placeable header its extent sets the size.
        WmfBuilder b = RedBlue();
        b.SetWindowOrg(0, 0).SetWindowExt(200, 100).Select(0).Rectangle(0, 0, 100, 100);
        cases.push_back({"anisotropic window", b.Build(), 200, 100, {{50, 50}}, {{150, 50}}});
    }
    {  // A negative extent turns the y axis upwards.
        WmfBuilder b = RedBlue();
        b.SetWindowOrg(0, 100).SetWindowExt(200, -100).Select(0).Rectangle(0, 0, 200, 50);
        cases.push_back({"y axis up", b.Build(), 200, 100, {{100, 75}}, {{100, 25}}});
    }
    {  // Logical units are device units; the window origin still shifts.
        WmfBuilder b = RedBlue();
        b.SetWindowExt(200, 100).SetMapMode(1).SetWindowOrg(10, 0).Select(0);
        b.Rectangle(10, 0, 60, 50);
        cases.push_back({"text", b.Build(), 200, 100, {{25, 25}}, {{75, 25}, {25, 75}}});
    }
    {  // Isotropic keeps the aspect: the smaller scale of the two wins.
        WmfBuilder b = RedBlue();
        b.SetMapMode(7).SetWindowExt(100, 100).SetViewportExt(200, 100).Select(0);
        b.Rectangle(0, 0, 100, 100);
        cases.push_back(
            {"isotropic", b.BuildPlaceable(0, 0, 200, 100, 96), 200, 100, {{50, 50}}, {{150, 50}}});
    }
    {
        WmfBuilder b = RedBlue();
        b.SetMapMode(8).SetWindowExt(100, 100).SetViewportExt(200, 100).Select(0);
        b.Rectangle(0, 0, 100, 100);
        cases.push_back({"anisotropic viewport",
                         b.BuildPlaceable(0, 0, 200, 100, 96),
                         200,
                         100,
                         {{50, 50}, {150, 50}},
                         {}});
    }
    {  // Tenths of a millimetre, y upwards: 254 units are one inch.
        WmfBuilder b = RedBlue();
        b.SetMapMode(2).Select(0).Rectangle(0, 0, 127, -254);
        cases.push_back(
            {"low metric", b.BuildPlaceable(0, 0, 96, 96, 96), 96, 96, {{24, 90}}, {{72, 48}}});
    }
    {  // The viewport origin moves device space.
        WmfBuilder b = RedBlue();
        b.SetWindowExt(100, 100).SetViewportOrg(50, 0).SetViewportExt(100, 100).Select(0);
        b.Rectangle(0, 0, 50, 50);
        cases.push_back({"viewport origin", b.Build(), 100, 100, {{75, 25}}, {{25, 25}}});
    }
    return cases;
}

TEST(WmfRead, MappingModes) {
    for (const MappingCase& c : MappingCases()) {
        SCOPED_TRACE(c.name);
        ImageHolder h;
        ASSERT_TRUE(Read(c.file, h));
        ASSERT_EQ(h.Image.Width(), c.width);
        ASSERT_EQ(h.Image.Height(), c.height);
        for (auto [x, y] : c.filled) {
            EXPECT_EQ(h.Image.PixelRgb(x, y), kRed) << x << "," << y;
            EXPECT_EQ(AlphaAt(h.Image, x, y), 255) << x << "," << y;
        }
        for (auto [x, y] : c.empty) EXPECT_EQ(AlphaAt(h.Image, x, y), 0) << x << "," << y;
    }
}

TEST(WmfRead, PictureSizeWithoutPlaceableHeader) {
    struct Case {
        std::string name;
        std::vector<std::uint8_t> file;
        int width, height;
    } cases[] = {
        {"from the window extent", WmfBuilder().SetWindowExt(300, -120).Build(), 300, 120},
        {"long side capped", WmfBuilder().SetWindowExt(30000, 15000).Build(), 1024, 512},
        {"no window at all", WmfBuilder().Rectangle(0, 0, 10, 10).Build(), 256, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageHolder h;
        ASSERT_TRUE(Read(c.file, h));
        EXPECT_EQ(h.Image.Width(), c.width);
        EXPECT_EQ(h.Image.Height(), c.height);
    }
}

TEST(WmfRead, DisplaySizeHintRendersSmallerButRecordsTheFullSize) {
    WmfBuilder b = RedBlue();
    b.Select(0).Rectangle(0, 0, 1000, 500);
    ImageHolder h;
    ASSERT_TRUE(Read(b.BuildPlaceable(0, 0, 1000, 500, 96), h, 100));
    EXPECT_EQ(h.Image.Width(), 100);
    EXPECT_EQ(h.Image.Height(), 50);
    EXPECT_EQ(h.Params.ImageWidth, 1000);
    EXPECT_EQ(h.Params.ImageHeight, 500);
    EXPECT_EQ(h.Image.PixelRgb(50, 25), kRed);
}

TEST(WmfRead, ObjectTableAndSavedStates) {
    WmfBuilder b = RedBlue();  // slot 0 red, slot 1 blue; the pen's slot was reused
    b.SetWindowExt(100, 100).Select(0).SaveDc().Select(1).RestoreDc(-1);
    b.Rectangle(0, 0, 50, 50);                                                // red again
    b.Delete(1).Brush(kHatched, kGreen).Select(1).Rectangle(50, 0, 100, 50);  // reuses slot 1
    b.Brush(kNullBrush, {}).Select(2).Rectangle(0, 50, 50, 100);
    b.Select(9).Rectangle(50, 50, 100, 100);  // no such object: still the null brush
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(3), h));
    EXPECT_EQ(h.Image.PixelRgb(25, 25), kRed);
    EXPECT_EQ(h.Image.PixelRgb(75, 25), kGreen);
    EXPECT_EQ(AlphaAt(h.Image, 25, 75), 0);
    EXPECT_EQ(AlphaAt(h.Image, 75, 75), 0);
}

TEST(WmfRead, PolygonsPolylinesAndFillModes) {
    const std::vector<std::pair<int, int>> outer = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    const std::vector<std::pair<int, int>> inner = {{30, 30}, {70, 30}, {70, 70}, {30, 70}};
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        WmfBuilder b = RedBlue();
        b.SetWindowExt(200, 100).Select(0).SetPolyFillMode(mode).PolyPolygon({outer, inner});
        b.Select(1).Polygon({{100, 0}, {200, 0}, {150, 100}});
        ImageHolder h;
        ASSERT_TRUE(Read(b.Build(), h));
        EXPECT_EQ(h.Image.PixelRgb(10, 50), kRed);
        // Alternate leaves the hole; winding with both squares turning the same way fills it.
        if (mode == 1)
            EXPECT_EQ(AlphaAt(h.Image, 50, 50), 0);
        else
            EXPECT_EQ(h.Image.PixelRgb(50, 50), kRed);
        EXPECT_EQ(h.Image.PixelRgb(150, 20), kBlue);
        EXPECT_EQ(AlphaAt(h.Image, 190, 90), 0);
    }
}

TEST(WmfRead, PenLinesAndRoundRectangles) {
    WmfBuilder b;
    b.SetWindowExt(100, 100).Pen(0, 6, kGreen).Select(0).Brush(kNullBrush, {}).Select(1);
    b.MoveTo(0, 10).LineTo(100, 10).Polyline({{10, 30}, {10, 90}});
    b.RoundRect(40, 40, 90, 90, 40, 40);
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(), h));
    EXPECT_EQ(h.Image.PixelRgb(50, 10), kGreen);
    EXPECT_EQ(h.Image.PixelRgb(10, 60), kGreen);
    EXPECT_EQ(h.Image.PixelRgb(65, 40), kGreen);  // the top edge of the rounded box
    EXPECT_EQ(AlphaAt(h.Image, 41, 41), 0);       // cut off by the rounded corner
    EXPECT_EQ(AlphaAt(h.Image, 65, 65), 0);       // null brush: inside stays empty
    EXPECT_EQ(AlphaAt(h.Image, 50, 25), 0);
}

TEST(WmfRead, ArcsChordsAndPiesRunCounterclockwiseOnScreen) {
    struct Case {
        std::string name;
        bool yUp;
        int function;
        std::vector<std::pair<int, int>> filled, empty;
    } cases[] = {
        // From the right end of the circle to its top: the upper right quarter.
        {"pie", false, 0x081A, {{70, 30}}, {{30, 30}, {30, 70}, {70, 70}}},
        {"pie with the y axis up", true, 0x081A, {{70, 30}}, {{30, 30}, {30, 70}, {70, 70}}},
        {"chord", false, 0x0830, {{80, 20}}, {{60, 40}, {30, 70}}},
        {"arc", false, 0x0817, {}, {{80, 20}, {60, 40}, {30, 70}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WmfBuilder b = RedBlue();
        const int top = c.yUp ? 100 : 0;
        b.SetWindowOrg(0, top).SetWindowExt(100, c.yUp ? -100 : 100).Select(0);
        b.Words(c.function, {c.yUp ? 100 : 0, 50, 50, 100, 100, 100, 0, 0});
        ImageHolder h;
        ASSERT_TRUE(Read(b.Build(), h));
        for (auto [x, y] : c.filled) {
            EXPECT_EQ(h.Image.PixelRgb(x, y), kRed) << x << "," << y;
        }
        for (auto [x, y] : c.empty) {
            EXPECT_EQ(AlphaAt(h.Image, x, y), 0) << x << "," << y;
        }
    }
}

TEST(WmfRead, EmbeddedBitmapsAndPatternOperations) {
    // 2 × 2 bitmap: red green on top, blue white below.
    const std::vector<std::uint8_t> dib =
        test::PackedDib(2, 2, {kRed, kGreen, kBlue, Rgb{255, 255, 255}});
    WmfBuilder b;
    b.SetWindowExt(40, 20).StretchDib(dib, 0, 0, 2, 2, 0, 0, 20, 20);
    b.Brush(kSolid, kBlue).Select(0).PatternBlt(0x00F00021, 20, 0, 20, 10);
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(), h));
    EXPECT_EQ(h.Image.PixelRgb(2, 2), kRed);
    EXPECT_EQ(h.Image.PixelRgb(17, 2), kGreen);
    EXPECT_EQ(h.Image.PixelRgb(2, 17), kBlue);
    EXPECT_EQ(h.Image.PixelRgb(17, 17), (Rgb{255, 255, 255}));
    EXPECT_EQ(h.Image.PixelRgb(30, 5), kBlue);
    EXPECT_EQ(AlphaAt(h.Image, 30, 15), 0);
}

TEST(WmfRead, MalformedFilesFailOrKeepWhatCameBefore) {
    const std::vector<std::uint8_t> good = [] {
        WmfBuilder b = RedBlue();
        b.SetWindowExt(100, 100).Select(0).Rectangle(0, 0, 50, 50);
        return b.Build();
    }();
    struct Case {
        std::string name;
        std::vector<std::uint8_t> file;
        bool reads;
        bool drawsFirstRectangle;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, false, false});
    cases.push_back({"header cut short", {good.begin(), good.begin() + 12}, false, false});
    cases.push_back({"placeable key only", {0xD7, 0xCD, 0xC6, 0x9A}, false, false});
    cases.push_back({"end record missing", {good.begin(), good.end() - 6}, true, true});
    cases.push_back({"cut inside the last record", {good.begin(), good.end() - 10}, true, false});
    {
        WmfBuilder b = RedBlue();
        b.SetWindowExt(100, 100).Select(0).Rectangle(0, 0, 50, 50).SizedRaw(0, 0x041B, {});
        b.Rectangle(50, 50, 100, 100);
        cases.push_back({"record size zero", b.Build(), true, true});
    }
    {
        WmfBuilder b = RedBlue();
        b.SetWindowExt(100, 100).Select(0).Rectangle(0, 0, 50, 50);
        b.SizedRaw(0x7fffffff, 0x041B, {0, 0, 0, 0, 0, 0, 0, 0});
        cases.push_back({"record size beyond the data", b.Build(), true, true});
    }
    {
        WmfBuilder b = RedBlue();
        b.SetWindowExt(100, 100).Select(0).Rectangle(0, 0, 50, 50).Select(40000).Delete(65535);
        b.Words(0x0324, {30000, 1, 2});  // more points than the record holds
        b.Words(0x0538, {5000, 3});      // polygon counts beyond the record
        b.Words(0x0127, {-50});          // nothing saved that deep
        b.Words(0x041B, {1});            // rectangle without its corners
        cases.push_back({"indexes and counts out of range", b.Build(), true, true});
    }
    {
        WmfBuilder b = RedBlue();
        b.Select(0).Rectangle(0, 0, 32767, 32767);
        cases.push_back(
            {"huge placeable box", b.BuildPlaceable(-32768, -32768, 32767, 32767, 1), true, false});
    }
    {
        WmfBuilder b = RedBlue();
        b.SetWindowExt(100, 100).Select(0).Rectangle(0, 0, 50, 50).SetWindowExt(0, 0);
        b.SetMapMode(8).SetViewportExt(1, 1).SetWindowExt(32767, 1).Ellipse(-32768, 0, 32767, 1);
        b.StretchDib({1, 2, 3}, 0, 0, 1, 1, 0, 0, 100, 100);  // not a bitmap
        cases.push_back({"degenerate extents and bitmaps", b.Build(), true, true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageHolder h;
        ASSERT_EQ(Read(c.file, h), c.reads);
        if (c.drawsFirstRectangle) {
            EXPECT_EQ(h.Image.PixelRgb(25, 25), kRed);
        }
        if (c.reads) {
            EXPECT_LE(h.Image.Width(), 4096);
            EXPECT_LE(h.Image.Height(), 4096);
        }
    }
}

TEST(WmfRead, ManyRecordsEndCleanly) {
    WmfBuilder b = RedBlue();
    b.SetWindowExt(10, 10).Select(0);
    for (int i = 0; i < 20000; ++i) b.Rectangle(i % 10, 0, i % 10 + 1, 10);
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(), h));
    EXPECT_EQ(h.Image.PixelRgb(5, 5), kRed);
    EXPECT_FALSE(h.Image.HasAlpha());
    EXPECT_EQ(h.Params.ChannelCount, 3);
}

TEST(WmfRead, LoadedThroughTheRegistryByContent) {
    WmfBuilder b = RedBlue();
    b.SetWindowExt(10, 10).Select(0).Rectangle(0, 0, 10, 10);
    const std::vector<std::uint8_t> file = b.Build();
    ImageHolder h;
    bool hFailed = !ImageStatus(LoadPictureFromStream(h, ByteReader(file))).ok();
    ASSERT_FALSE(hFailed);
    EXPECT_EQ(h.Params.FileType, kTypeWmf);
    EXPECT_EQ(h.Image.PixelRgb(5, 5), kRed);
}

}  // namespace
}  // namespace gw

namespace gw {
namespace {

// Red pixels (mostly red: anti-aliased glyph edges count when they are clearly red) inside
// the box, and outside it.
std::pair<int, int> RedInside(const RasterImage& image, int left, int top, int right, int bottom) {
    int inside = 0, outside = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb c = image.PixelRgb(x, y);
            if (AlphaAt(image, x, y) < 128 || c.r < 128 || c.g > 100 || c.b > 100) continue;
            (x >= left && x < right && y >= top && y < bottom ? inside : outside)++;
        }
    return {inside, outside};
}

std::vector<std::uint8_t> FontParams(int height, const char* face) {
    std::vector<std::uint8_t> p;
    auto word = [&p](int v) {
        p.push_back(static_cast<std::uint8_t>(v));
        p.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    word(height);
    word(0);
    word(0);
    word(0);
    word(400);
    p.insert(p.end(), {0, 0, 0, 0, 0, 0, 0, 0});
    for (const char* c = face; *c; ++c) p.push_back(static_cast<std::uint8_t>(*c));
    p.resize(p.size() + (32 - std::char_traits<char>::length(face)), 0);
    return p;
}

// TextOut: the string's bytes, then y and x.
std::vector<std::uint8_t> TextOutParams(const std::string& text, int x, int y) {
    std::vector<std::uint8_t> p;
    p.push_back(static_cast<std::uint8_t>(text.size()));
    p.push_back(0);
    for (char c : text) p.push_back(static_cast<std::uint8_t>(c));
    if (text.size() % 2) p.push_back(0);
    for (int v : {y, 0, x, 0}) p.push_back(static_cast<std::uint8_t>(v));
    return p;
}

TEST(WmfRead, TextIsDrawnWithItsFontColourAndAlignment) {
    struct Case {
        const char* name;
        int align;  // TA_* flags
        int x, y;
        int left, top, right, bottom;  // where the glyphs must lie
    } cases[] = {
        {"left top", 0, 10, 10, 10, 10, 66, 36},
        {"right bottom", 2 | 8, 90, 90, 34, 62, 91, 91},
        {"centre baseline", 6 | 24, 50, 50, 20, 28, 80, 51},
    };
    for (const Case& c : cases) {
        WmfBuilder b;
        b.SetWindowExt(100, 100);
        b.Raw(0x02FB, FontParams(-24, "DejaVu Sans")).Select(0);
        b.Words(0x0209, {0x00FF, 0}).Words(0x0102, {1}).Words(0x012E, {c.align});
        b.Raw(0x0521, TextOutParams("HEH", c.x, c.y));
        ImageHolder h;
        ASSERT_TRUE(Read(b.Build(), h)) << c.name;
        const auto [inside, outside] = RedInside(h.Image, c.left, c.top, c.right, c.bottom);
        EXPECT_GT(inside, 60) << c.name;
        EXPECT_EQ(outside, 0) << c.name;
    }
}

TEST(MetafileText, StringsDecodeByTheirFontsCharacterSet) {
    using B = std::vector<std::uint8_t>;
    EXPECT_EQ(TextFromCharSet(B{'A', 0x80, 0xE9}, 0), "A\u20AC\u00E9");          // ANSI
    EXPECT_EQ(TextFromCharSet(B{0xD6, 0xD0, 0xCE, 0xC4}, 134), "\u4E2D\u6587");  // GB 2312
    EXPECT_EQ(TextFromCharSet(B{0x82, 0xA0}, 128), "\u3042");                    // Shift-JIS
    EXPECT_EQ(TextFromCharSet(B{0xC0}, 204), "\u0410");                          // Cyrillic
    EXPECT_EQ(TextFromCharSet(B{0xD6}, 134), "?");                               // half a character
    EXPECT_EQ(TextFromUtf16(B{'H', 0, 0xAC, 0x20, 'x'}), "H\u20AC");             // odd byte dropped
}

TEST(WmfRead, OpaqueTextFillsItsBackground) {
    WmfBuilder b;
    b.SetWindowExt(100, 100);
    b.Raw(0x02FB, FontParams(-24, "DejaVu Sans")).Select(0);
    b.Words(0x0209, {0x00FF, 0}).Words(0x0201, {0, 0x00FF}).Words(0x0102, {2});
    b.Raw(0x0521, TextOutParams("HEH", 10, 10));
    ImageHolder h;
    ASSERT_TRUE(Read(b.Build(), h));
    EXPECT_EQ(h.Image.PixelRgb(12, 12), kBlue);  // the cell's top left, above the glyphs
    EXPECT_EQ(AlphaAt(h.Image, 12, 12), 255);
    EXPECT_EQ(AlphaAt(h.Image, 80, 80), 0);
}

// A viewer plays a placeable file with the box as window and the picture as viewport, in
// device pixels: viewport records inside the file are in those pixels too.
TEST(WmfRead, ViewportRecordsAreInThePicturesPixels) {
    struct Case {
        const char* name;
        int vpX, vpW;
        int redX, clearX;  // a pixel inside the red field and one left empty (-1: none)
    } cases[] = {
        {"whole picture", 0, 96, 20, -1},
        {"right half", 48, 48, 60, 20},
    };
    for (const Case& c : cases) {
        WmfBuilder b = RedBlue();
        b.SetMapMode(8).SetWindowOrg(0, 0).SetWindowExt(1000, 750);
        b.SetViewportOrg(c.vpX, 0).SetViewportExt(c.vpW, 72);
        b.Select(0).Rectangle(0, 0, 1000, 750).Select(1).Rectangle(500, 375, 1000, 750);
        ImageHolder h;
        ASSERT_TRUE(Read(b.BuildPlaceable(0, 0, 1440, 1080, 1440), h)) << c.name;
        ASSERT_EQ(h.Image.Width(), 96) << c.name;
        EXPECT_EQ(h.Image.PixelRgb(c.redX, 20), kRed) << c.name;
        EXPECT_EQ(h.Image.PixelRgb(c.vpX + c.vpW * 3 / 4, 54), kBlue) << c.name;
        if (c.clearX >= 0) {
            EXPECT_EQ(AlphaAt(h.Image, c.clearX, 36), 0) << c.name;
        }
    }
}

TEST(WmfRead, StyledPensLeaveGaps) {
    struct Case {
        const char* name;
        int style, width;
        bool gapAt20;  // a one-pixel dash is 18 pixels long, then 6 free
    } cases[] = {
        {"solid", 0, 1, false},
        {"dash", 1, 1, true},
        {"dot", 2, 1, false},  // dots of 3: pixel 20 lies in the fourth dot
        {"wide dash draws solid", 1, 6, false},
    };
    for (const Case& c : cases) {
        WmfBuilder b;
        b.SetWindowExt(100, 100).Pen(c.style, c.width, {0, 0, 0}).Select(0);
        b.MoveTo(0, 10).LineTo(100, 10);
        ImageHolder h;
        ASSERT_TRUE(Read(b.Build(), h)) << c.name;
        EXPECT_EQ(AlphaAt(h.Image, 1, 10), 255) << c.name;
        EXPECT_EQ(AlphaAt(h.Image, 20, 10), c.gapAt20 ? 0 : 255) << c.name;
        if (c.width == 1) {
            EXPECT_EQ(AlphaAt(h.Image, 5, 11), 0) << c.name;  // one pixel wide
        }
    }
    WmfBuilder dots;
    dots.SetWindowExt(100, 100).Pen(2, 1, {0, 0, 0}).Select(0).MoveTo(0, 10).LineTo(100, 10);
    ImageHolder h;
    ASSERT_TRUE(Read(dots.Build(), h));
    EXPECT_EQ(AlphaAt(h.Image, 1, 10), 255);
    EXPECT_EQ(AlphaAt(h.Image, 4, 10), 0);
}

}  // namespace
}  // namespace gw
