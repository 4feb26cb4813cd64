#include "imagefile/ops/quantize.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>

namespace gw {
namespace {

RasterImage Gradient(int w, int h) {
    RasterImage img;
    img.Allocate(w, h, PixelFormat::ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.SetPixelRgb(x, y,
                            {static_cast<std::uint8_t>(x * 255 / (w - 1)),
                             static_cast<std::uint8_t>(y * 255 / (h - 1)),
                             static_cast<std::uint8_t>((x + y) * 255 / (w + h - 2))});
    return img;
}

int Distance(Rgb a, Rgb b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

double MeanError(const RasterImage& img, const ReducedImage& q) {
    double sum = 0;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x)
            sum += Distance(img.PixelRgb(x, y),
                            q.Palette[q.Indices[static_cast<std::size_t>(y * img.Width() + x)]]);
    return sum / (img.Width() * img.Height());
}

void ExpectWellFormed(const RasterImage& img, const ReducedImage& q, int maxColors) {
    ASSERT_LE(q.Palette.size(), static_cast<std::size_t>(maxColors));
    ASSERT_FALSE(q.Palette.empty());
    ASSERT_EQ(q.Indices.size(), static_cast<std::size_t>(img.Width() * img.Height()));
    for (std::uint8_t i : q.Indices) ASSERT_LT(i, q.Palette.size());
}

TEST(ReduceColors, FewColoursKeepFirstAppearanceOrder) {
    RasterImage img;
    ASSERT_TRUE(img.Allocate(3, 2, PixelFormat::ie24RGB));
    const Rgb a{10, 20, 30}, b{200, 0, 0}, c{0, 0, 255};
    img.SetPixelRgb(0, 0, b);
    img.SetPixelRgb(1, 0, a);
    img.SetPixelRgb(2, 0, b);
    img.SetPixelRgb(0, 1, c);
    img.SetPixelRgb(1, 1, a);
    img.SetPixelRgb(2, 1, c);
    ReducedImage q = ReduceColors(img, 16);
    EXPECT_EQ(q.Palette, (std::vector<Rgb>{b, a, c}));
    EXPECT_EQ(q.Indices, (std::vector<std::uint8_t>{0, 1, 0, 2, 1, 2}));
}

TEST(ReduceColors, ExactlyTargetCountIsKeptExactly) {
    for (int target : {16, 256}) {
        RasterImage img;
        ASSERT_TRUE(img.Allocate(target, 2, PixelFormat::ie24RGB));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < target; ++x)
                img.SetPixelRgb(
                    x, y, {static_cast<std::uint8_t>(x), 7, static_cast<std::uint8_t>(255 - x)});
        ReducedImage q = ReduceColors(img, target);
        ASSERT_EQ(q.Palette.size(), static_cast<std::size_t>(target));
        EXPECT_EQ(MeanError(img, q), 0.0) << target;
    }
}

TEST(ReduceColors, ManyColoursAreReducedWithSmallError) {
    RasterImage img = Gradient(128, 128);
    for (auto [target, bound] : {std::tuple{256, 14.0}, std::tuple{16, 48.0}}) {
        ReducedImage q = ReduceColors(img, target);
        ExpectWellFormed(img, q, target);
        EXPECT_LT(MeanError(img, q), bound) << target;
    }
}

TEST(ReduceColors, SixteenColoursKeepSeparateClusters) {
    // Three patches of noisy colour: each pixel must map to a colour of its own patch.
    RasterImage img;
    ASSERT_TRUE(img.Allocate(30, 30, PixelFormat::ie24RGB));
    const Rgb centres[3] = {{220, 30, 30}, {30, 30, 220}, {30, 200, 40}};
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            Rgb c = centres[x / 10];
            int n = (x * 7 + y * 13) % 9;
            img.SetPixelRgb(x, y,
                            {static_cast<std::uint8_t>(c.r + n), static_cast<std::uint8_t>(c.g + n),
                             static_cast<std::uint8_t>(c.b + n)});
        }
    ReducedImage q = ReduceColors(img, 16);
    ExpectWellFormed(img, q, 16);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            EXPECT_LT(Distance(q.Palette[q.Indices[static_cast<std::size_t>(y * 30 + x)]],
                               centres[x / 10]),
                      40);
}

TEST(ReduceColors, NeuQuantFindsSmallDistinctAreas) {
    // A gradient with a small pure-magenta spot: the spot keeps a close colour.
    RasterImage img = Gradient(80, 80);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) img.SetPixelRgb(x + 40, y + 40, {255, 0, 255});
    ReducedImage q = ReduceColors(img, 256);
    ExpectWellFormed(img, q, 256);
    EXPECT_LT(Distance(q.Palette[q.Indices[41 * 80 + 41]], {255, 0, 255}), 60);
}

TEST(ReduceColors, AcceptsPaletteAndBitImages) {
    RasterImage bw;
    ASSERT_TRUE(bw.Allocate(9, 1, PixelFormat::ie1g));
    bw.Row(0)[0] = 0xA0;
    ReducedImage q = ReduceColors(bw, 16);
    EXPECT_EQ(q.Palette, (std::vector<Rgb>{{255, 255, 255}, {0, 0, 0}}));
    EXPECT_EQ(q.Indices[0], 0);
    EXPECT_EQ(q.Indices[1], 1);
    EXPECT_EQ(q.Indices[2], 0);

    RasterImage pal;
    ASSERT_TRUE(pal.Allocate(20, 20, PixelFormat::ie8p));
    for (int i = 0; i < 256; ++i)
        pal.Palette().push_back(
            {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 0});
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) pal.Row(y)[x] = static_cast<std::uint8_t>(y * 20 + x);
    q = ReduceColors(pal, 16);
    ExpectWellFormed(pal, q, 16);
}

TEST(ReduceColors, EmptyImageGivesNothing) {
    ReducedImage q = ReduceColors(RasterImage{}, 256);
    EXPECT_TRUE(q.Palette.empty());
    EXPECT_TRUE(q.Indices.empty());
}

TEST(ReduceColors, IsDeterministic) {
    RasterImage img = Gradient(50, 40);
    ReducedImage a = ReduceColors(img, 256), b = ReduceColors(img, 256);
    EXPECT_EQ(a.Palette, b.Palette);
    EXPECT_EQ(a.Indices, b.Indices);
}

}  // namespace
}  // namespace gw
