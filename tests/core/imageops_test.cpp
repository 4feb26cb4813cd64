#include "imagefile/ops/imageops.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imagefile/ops/resample.h"
#include "imagefile/raster.h"

namespace gw {
namespace {

// A 4 × 3 ie24RGB picture of `background` with the given pixels set.
ImageHolder Picture(Rgb background, const std::vector<std::pair<std::pair<int, int>, Rgb>>& set) {
    ImageHolder h;
    EXPECT_TRUE(h.Image.Allocate(4, 3, PixelFormat::ie24RGB));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) h.Image.SetPixelRgb(x, y, background);
    for (auto [at, c] : set) h.Image.SetPixelRgb(at.first, at.second, c);
    return h;
}

// An 8 × 2 ie1g picture; `bits` are the two rows, first pixel in the high bit.
ImageHolder BlackAndWhite(std::uint8_t top, std::uint8_t bottom) {
    ImageHolder h;
    EXPECT_TRUE(h.Image.Allocate(8, 2, PixelFormat::ie1g));
    h.Image.Row(0)[0] = top;
    h.Image.Row(1)[0] = bottom;
    return h;
}

std::uint8_t AlphaAt(const ImageHolder& h, int x, int y) {
    return h.Image.AlphaRow(y)[x];
}

// ---------------------------------------------------------------------------------------------
// MakeColorTransparent

TEST(MakeColorTransparent, ExactColourEverywhereOthersOpaque) {
    const Rgb c{10, 20, 30}, near{10, 20, 31};
    ImageHolder h = Picture({200, 200, 200}, {{{0, 2}, c}, {{3, 0}, c}, {{1, 1}, near}});
    MakeColorTransparent(h, c, c, 0);
    ASSERT_TRUE(h.Image.HasAlpha());
    EXPECT_EQ(AlphaAt(h, 0, 2), 0);
    EXPECT_EQ(AlphaAt(h, 3, 0), 0);  // not connected to the corner
    EXPECT_EQ(AlphaAt(h, 1, 1), 255);
    EXPECT_EQ(AlphaAt(h, 2, 2), 255);
    EXPECT_EQ(h.Image.PixelRgb(0, 2), c);  // colours untouched
}

TEST(MakeColorTransparent, RangeBoundsAreInclusive) {
    ImageHolder h = Picture({0, 0, 0}, {{{0, 0}, {10, 10, 10}},
                                        {{1, 0}, {20, 20, 20}},
                                        {{2, 0}, {21, 20, 20}},
                                        {{3, 0}, {15, 9, 15}}});
    MakeColorTransparent(h, {10, 10, 10}, {20, 20, 20}, 40);
    EXPECT_EQ(AlphaAt(h, 0, 0), 40);
    EXPECT_EQ(AlphaAt(h, 1, 0), 40);
    EXPECT_EQ(AlphaAt(h, 2, 0), 255);
    EXPECT_EQ(AlphaAt(h, 3, 0), 255);
}

TEST(MakeColorTransparent, KeepsAnExistingPlaneAndAddsOneWhenNothingMatches) {
    ImageHolder h = Picture({1, 2, 3}, {});
    MakeColorTransparent(h, {9, 9, 9}, {9, 9, 9}, 0);
    ASSERT_TRUE(h.Image.HasAlpha());
    EXPECT_TRUE(h.Image.AlphaAllOpaque());
    h.Image.AlphaRow(0)[0] = 100;
    MakeColorTransparent(h, {1, 2, 3}, {1, 2, 3}, 7);
    EXPECT_EQ(AlphaAt(h, 0, 0), 7);
}

TEST(MakeColorTransparent, BlackAndWhiteByTheRedBound) {
    ImageHolder white = BlackAndWhite(0xF0, 0x0F);
    MakeColorTransparent(white, {255, 255, 255}, {255, 255, 255}, 0);
    EXPECT_EQ(AlphaAt(white, 0, 0), 0);
    EXPECT_EQ(AlphaAt(white, 7, 1), 0);
    EXPECT_EQ(AlphaAt(white, 7, 0), 255);
    ImageHolder black = BlackAndWhite(0xF0, 0x0F);
    MakeColorTransparent(black, {0, 0, 0}, {0, 0, 0}, 0);
    EXPECT_EQ(AlphaAt(black, 0, 0), 255);
    EXPECT_EQ(AlphaAt(black, 7, 0), 0);
}

TEST(MakeColorTransparent, PaletteImageKeepsItsAlpha) {
    ImageHolder h;
    ASSERT_TRUE(h.Image.Allocate(2, 1, PixelFormat::ie8p));
    h.Image.Palette() = {{5, 5, 5}};
    MakeColorTransparent(h, {5, 5, 5}, {5, 5, 5}, 0);
    ASSERT_TRUE(h.Image.HasAlpha());
    EXPECT_TRUE(h.Image.AlphaAllOpaque());
}

TEST(MakeColorTransparent, OnlyInsideASelection) {
    const Rgb c{10, 20, 30};
    ImageHolder h = Picture(c, {});
    h.Selection.assign(12, 0);
    h.Selection[5] = 1;  // (1, 1)
    MakeColorTransparent(h, c, c, 0);
    EXPECT_EQ(AlphaAt(h, 1, 1), 0);
    EXPECT_EQ(AlphaAt(h, 0, 0), 255);
}

// ---------------------------------------------------------------------------------------------
// ReadPixelColor, ColorToTriple

TEST(ReadPixelColor, EveryPixelFormat) {
    ImageHolder bw = BlackAndWhite(0x80, 0x00);
    EXPECT_EQ(ReadPixelColor(bw.Image, 0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(ReadPixelColor(bw.Image, 1, 0), (Rgb{0, 0, 0}));

    RasterImage pal;
    ASSERT_TRUE(pal.Allocate(2, 1, PixelFormat::ie8p));
    pal.Palette() = {{1, 2, 3}, {70, 80, 90}};
    pal.Row(0)[1] = 1;
    EXPECT_EQ(ReadPixelColor(pal, 1, 0), (Rgb{70, 80, 90}));  // the colour, not the index

    ImageHolder rgb = Picture({0, 0, 0}, {{{3, 2}, {11, 22, 33}}});
    EXPECT_EQ(ReadPixelColor(rgb.Image, 3, 2), (Rgb{11, 22, 33}));
    EXPECT_EQ(rgb.Image.Row(2)[9], 33);  // stored blue first
}

TEST(ReadPixelColor, OutsideTheImageIsBlack) {
    ImageHolder h = Picture({9, 9, 9}, {});
    EXPECT_EQ(ReadPixelColor(h.Image, -1, 0), (Rgb{}));
    EXPECT_EQ(ReadPixelColor(h.Image, 0, 3), (Rgb{}));
    EXPECT_EQ(ReadPixelColor(RasterImage{}, 0, -1), (Rgb{}));
}

TEST(ColorToTriple, ExplicitColoursSplitLowByteFirst) {
    EXPECT_EQ(ColorToTriple(10582346), (Rgb{74, 121, 161}));
    EXPECT_EQ(ColorToTriple(16777215), (Rgb{255, 255, 255}));
}

TEST(ColorToTriple, SystemColoursGoThroughTheResolver) {
    const ColorValue buttonFace = static_cast<ColorValue>(0xFF00000F);
    EXPECT_EQ(ColorToTriple(buttonFace), (Rgb{240, 240, 240}));
    int asked = -1;
    const Rgb c = ColorToTriple(buttonFace, [&](int index) {
        asked = index;
        return ColorValue{0x00332211};
    });
    EXPECT_EQ(asked, 15);
    EXPECT_EQ(c, (Rgb{0x11, 0x22, 0x33}));
    EXPECT_EQ(ColorToTriple(static_cast<ColorValue>(0xFF000005)), (Rgb{255, 255, 255}));
    EXPECT_EQ(DefaultSystemColor(99), 0);
}

// ---------------------------------------------------------------------------------------------
// Selection

TEST(Selection, SelectFillAndClear) {
    const Rgb c{10, 20, 30};
    ImageHolder h = Picture({1, 1, 1}, {{{0, 0}, c}, {{2, 1}, c}});
    h.Image.AddAlpha(99);
    SelectColor(h, c);
    EXPECT_TRUE(HasSelection(h));
    FillSelection(h, {200, 100, 50});
    EXPECT_EQ(h.Image.PixelRgb(0, 0), (Rgb{200, 100, 50}));
    EXPECT_EQ(h.Image.PixelRgb(2, 1), (Rgb{200, 100, 50}));
    EXPECT_EQ(h.Image.PixelRgb(1, 0), (Rgb{1, 1, 1}));
    EXPECT_EQ(AlphaAt(h, 0, 0), 99);
    ClearSelection(h);
    EXPECT_FALSE(HasSelection(h));
    FillSelection(h, {0, 0, 0});
    EXPECT_EQ(h.Image.PixelRgb(1, 0), (Rgb{1, 1, 1}));
}

TEST(Selection, NoMatchSelectsNothing) {
    ImageHolder h = Picture({1, 1, 1}, {});
    h.Selection.assign(12, 1);
    SelectColor(h, {2, 2, 2});
    EXPECT_FALSE(HasSelection(h));
}

TEST(Selection, FillChangesNothingOnPaletteAndBlackAndWhite) {
    ImageHolder pal;
    ASSERT_TRUE(pal.Image.Allocate(2, 1, PixelFormat::ie8p));
    pal.Image.Palette() = {{7, 7, 7}};
    const RasterImage palBefore = pal.Image;
    SelectColor(pal, {7, 7, 7});
    EXPECT_TRUE(HasSelection(pal));
    FillSelection(pal, {200, 0, 0});
    EXPECT_EQ(pal.Image.Pixels(), palBefore.Pixels());
    EXPECT_EQ(pal.Image.Palette(), palBefore.Palette());

    ImageHolder bw = BlackAndWhite(0xF0, 0xF0);
    const RasterImage bwBefore = bw.Image;
    SelectColor(bw, {255, 255, 255});
    EXPECT_TRUE(HasSelection(bw));
    FillSelection(bw, {0, 0, 0});
    EXPECT_EQ(bw.Image.Pixels(), bwBefore.Pixels());
}

// ---------------------------------------------------------------------------------------------
// Assign, BlankView, HasAlpha

TEST(Assign, CopiesImageAlphaBackgroundAndResolution) {
    ImageHolder src = Picture({1, 2, 3}, {});
    src.Image.AddAlpha(50);
    src.Background = {9, 8, 7};
    src.Params.HorizontalDpi = 72;
    src.Params.VerticalDpi = 96;
    src.Params.JPEG_Quality = 12;
    ImageHolder dst;
    dst.Params.JPEG_Quality = 90;
    dst.Selection.assign(4, 1);
    Assign(dst, src);
    EXPECT_EQ(dst.Image.Width(), 4);
    EXPECT_EQ(dst.Image.Pixels(), src.Image.Pixels());
    EXPECT_TRUE(HasAlpha(dst));
    EXPECT_EQ(dst.Background, (Rgb{9, 8, 7}));
    EXPECT_EQ(dst.Params.HorizontalDpi, 72);
    EXPECT_EQ(dst.Params.VerticalDpi, 96);
    EXPECT_EQ(dst.Params.JPEG_Quality, 90);
    EXPECT_TRUE(dst.Selection.empty());

    Assign(dst, BlackAndWhite(0, 0));  // absence of alpha is copied too
    EXPECT_FALSE(HasAlpha(dst));
    EXPECT_EQ(dst.Image.Format(), PixelFormat::ie1g);
    Assign(dst, dst);
    EXPECT_EQ(dst.Image.Width(), 8);
}

TEST(BlankView, OnePixelOfTheBackground) {
    ImageHolder h = Picture({1, 2, 3}, {});
    h.Image.AddAlpha(0);
    h.Background = {40, 50, 60};
    BlankView(h);
    EXPECT_EQ(h.Image.Width(), 1);
    EXPECT_EQ(h.Image.Height(), 1);
    EXPECT_FALSE(HasAlpha(h));
    EXPECT_EQ(h.Image.PixelRgb(0, 0), (Rgb{40, 50, 60}));
}

// ---------------------------------------------------------------------------------------------
// The transparency sequence

TEST(MakeBackgroundTransparent, CornerColourBecomesTransparentFill) {
    const Rgb c{10, 20, 30};
    ImageHolder h = Picture(c, {{{1, 1}, {10, 20, 31}}, {{2, 1}, {200, 0, 0}}});
    MakeBackgroundTransparent(h, ColorValue{0x00FF0000});  // blue
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool kept = y == 1 && (x == 1 || x == 2);
            EXPECT_EQ(AlphaAt(h, x, y), kept ? 255 : 0) << x << "," << y;
            if (!kept) {
                EXPECT_EQ(h.Image.PixelRgb(x, y), (Rgb{0, 0, 255}));
            }
        }
    EXPECT_EQ(h.Image.PixelRgb(1, 1), (Rgb{10, 20, 31}));
    EXPECT_FALSE(HasSelection(h));
}

TEST(MakeBackgroundTransparent, EdgesBlendTheFillNotTheOldBackground) {
    // A red dot on green: after the sequence (fill blue) and a reduction, the half-transparent
    // edge pixels carry red and blue, never green.
    ImageHolder h;
    ASSERT_TRUE(h.Image.Allocate(8, 8, PixelFormat::ie24RGB));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            h.Image.SetPixelRgb(
                x, y, x >= 2 && x < 6 && y >= 2 && y < 6 ? Rgb{255, 0, 0} : Rgb{0, 255, 0});
    MakeBackgroundTransparent(h, Rgb{0, 0, 255});
    ResampleImage(h, 3, 3, ResampleFilter::rfHermite);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(h.Image.PixelRgb(x, y).g, 0);
    EXPECT_GT(AlphaAt(h, 1, 1), 0);
}

TEST(MakeBackgroundTransparent, BlackAndWhiteKeepsItsColours) {
    ImageHolder h = BlackAndWhite(0x0F, 0xF0);  // bottom-left pixel white
    const RasterImage before = h.Image;
    MakeBackgroundTransparent(h, Rgb{255, 0, 0});
    EXPECT_EQ(h.Image.Pixels(), before.Pixels());
    EXPECT_EQ(AlphaAt(h, 0, 1), 0);
    EXPECT_EQ(AlphaAt(h, 4, 0), 0);
    EXPECT_EQ(AlphaAt(h, 0, 0), 255);
}

TEST(MakeBackgroundTransparent, EmptyImageIsLeftAlone) {
    ImageHolder h;
    MakeBackgroundTransparent(h, Rgb{1, 2, 3});
    EXPECT_TRUE(h.Image.Empty());
    EXPECT_FALSE(HasAlpha(h));
}

}  // namespace
}  // namespace gw
