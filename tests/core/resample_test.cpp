#include "imagefile/ops/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "imagefile/raster.h"

namespace gw {
namespace {

using F = ResampleFilter;

RasterImage MakeRgb(int w, int h, const std::function<Rgb(int, int)>& colour) {
    RasterImage img;
    EXPECT_TRUE(img.Allocate(w, h, PixelFormat::ie24RGB));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.SetPixelRgb(x, y, colour(x, y));
    return img;
}

// A row of grey values, one pixel high.
RasterImage GreyRow(const std::vector<int>& values) {
    return MakeRgb(static_cast<int>(values.size()), 1, [&](int x, int) {
        const auto v = static_cast<std::uint8_t>(values[x]);
        return Rgb{v, v, v};
    });
}

std::vector<int> RedRow(const RasterImage& img, int y = 0) {
    std::vector<int> out;
    for (int x = 0; x < img.Width(); ++x) out.push_back(img.PixelRgb(x, y).r);
    return out;
}

std::vector<int> RedColumn(const RasterImage& img, int x) {
    std::vector<int> out;
    for (int y = 0; y < img.Height(); ++y) out.push_back(img.PixelRgb(x, y).r);
    return out;
}

RasterImage Random(int w, int h, bool alpha, unsigned seed) {
    std::mt19937 rng(seed);
    RasterImage img = MakeRgb(w, h, [&](int, int) {
        return Rgb{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                   static_cast<std::uint8_t>(rng())};
    });
    if (alpha) {
        img.AddAlpha();
        for (auto& a : img.Alpha()) a = static_cast<std::uint8_t>(rng());
    }
    return img;
}

bool SameImage(const RasterImage& a, const RasterImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format())
        return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (!(a.PixelRgb(x, y) == b.PixelRgb(x, y))) return false;
    return a.Alpha() == b.Alpha();
}

// ---------------------------------------------------------------------------------------------
// rfHermite, worked by hand. f(t) = (2|t| - 3)t² + 1.

TEST(HermiteResample, ReducesThreePixelsToTwo) {
    // n = 3, m = 2: s = (2-1)/(3-1) = 1/2, width w = 1/s = 2, weights 256·s·f((c-j)s).
    //   i = 0, c = 0: j = -2..2, (c-j)s = 1, .5, 0, -.5, -1 → 0, 64, 128, 64, 0.
    //     j = -1 mirrors to 1: (128·p0 + 128·p1) div 256.
    //   i = 1, c = 2: j = 0..4 → 0, 64, 128, 64, 0; j = 3 mirrors to 2·3-1-3 = 2:
    //     (64·p1 + 192·p2) div 256.
    // p = (0, 100, 255): 12800/256 = 50 and (6400 + 48960)/256 = 216.25 → 216.
    // p = (255, 0, 0): 32640/256 = 127.5 → 127 (truncated) and 0.
    RasterImage src = MakeRgb(3, 1, [](int x, int) {
        const std::uint8_t red[] = {0, 100, 255}, blue[] = {255, 0, 0};
        return Rgb{red[x], 10, blue[x]};
    });
    RasterImage out = ResampleRaster(src, 2, 1, F::rfHermite, {});
    ASSERT_EQ(out.Width(), 2);
    EXPECT_EQ(out.PixelRgb(0, 0), (Rgb{50, 10, 127}));
    EXPECT_EQ(out.PixelRgb(1, 0), (Rgb{216, 10, 0}));
}

TEST(HermiteResample, EnlargesTwoPixelsToFour) {
    // n = 2, m = 4: s = 3, c = i/3, weights 256·f(c-j) rounded.
    //   i = 1, c = 1/3: f(1/3) = 20/27 → 189.6 → 190; f(-2/3) = 7/27 → 66.4 → 66.
    //   i = 2 mirrors that; i = 0 and i = 3 hit a pixel exactly (f(0) = 1, f(±1) = 0).
    // p = (0, 255): 66·255/256 = 65.7 → 65, 190·255/256 = 189.3 → 189.
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({0, 255}), 4, 1, F::rfHermite)),
              (std::vector<int>{0, 65, 189, 255}));
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({255, 0}), 4, 1, F::rfHermite)),
              (std::vector<int>{255, 189, 65, 0}));
}

TEST(HermiteResample, WeightsRoundHalfToEven) {
    // n = 17, m = 2: s = 1/16, w = 16. For i = 0 (c = 0) the weight of j is 16·f(j/16), and
    // j = ±12 gives 16·f(0.75) = 16 × 0.15625 = 2.5, which rounds to 2. The weights then sum
    // to 256 (rounding 2.5 up would make 258). Only pixel 12 is lit; j = -12 mirrors onto it:
    // (2 + 2)·255 div 256 = 3 (rounding up would give 6·255 div 258 = 5).
    //   i = 1 (c = 16): j = 12 has 16·f(0.25) = 13.5 → 14, j = 21 mirrors onto 12 with
    //   16·f(5/16) = 1573/128 → 12: 26·255 div 256 = 25.
    std::vector<int> row(17, 0);
    row[12] = 255;
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow(row), 2, 1, F::rfHermite)), (std::vector<int>{3, 25}));
}

TEST(HermiteResample, RoundsBetweenThePasses) {
    // Same weights as ReducesThreePixelsToTwo on both axes; output (0, 0) is
    // (p(0,y) + p(1,y)) div 2 per row, then the same over rows 0 and 1.
    // Rows (1, 0, 0) and (1, 2, 0) give 0 and 1 after the horizontal pass, so (0 + 1) div 2 = 0;
    // one pass without the 8-bit intermediate would give (0.5 + 1.5) / 2 = 1.
    const int v[3][3] = {{1, 0, 0}, {1, 2, 0}, {0, 0, 0}};
    RasterImage src = MakeRgb(3, 3, [&](int x, int y) {
        const auto c = static_cast<std::uint8_t>(v[y][x]);
        return Rgb{c, c, c};
    });
    EXPECT_EQ(ResampleRaster(src, 2, 2, F::rfHermite).PixelRgb(0, 0).r, 0);
}

TEST(HermiteResample, ColumnsUseTheSameArithmetic) {
    RasterImage src = MakeRgb(1, 3, [](int, int y) {
        const std::uint8_t v[] = {0, 100, 255};
        return Rgb{v[y], v[y], v[y]};
    });
    EXPECT_EQ(RedColumn(ResampleRaster(src, 1, 2, F::rfHermite), 0), (std::vector<int>{50, 216}));
}

TEST(HermiteResample, ExtremeReductionIsNotBlack) {
    // s = 1/1199: every weight 256·s·f(..) is below 0.5 and rounds to 0; the nearest source
    // pixel stands in instead of an empty sum.
    std::vector<int> row(1200, 200);
    row[0] = 10;
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow(row), 2, 1, F::rfHermite)),
              (std::vector<int>{10, 200}));
}

// The rules written as plainly as possible (weights per output pixel, a list of mirrored
// indexes, 64-bit sums) to cross-check the transposed, tiled, vectorised code on bigger images.
std::vector<std::vector<std::pair<int, int>>> PlainHermiteWeights(int n, int m) {
    auto f = [](double t) {
        const double a = std::fabs(t);
        return a < 1 ? (2 * a - 3) * t * t + 1 : 0.0;
    };
    const double s = n > 1 && m > 1 ? double(m - 1) / (n - 1) : double(m) / n;
    std::vector<std::vector<std::pair<int, int>>> all(m);
    for (int i = 0; i < m; ++i) {
        const double c = i / s, w = s >= 1 ? 1.0 : 1.0 / s;
        for (int j = int(std::floor(c - w)); j <= int(std::ceil(c + w)); ++j) {
            const int weight =
                int(std::nearbyint(s >= 1 ? 256 * f(c - j) : 256 * s * f((c - j) * s)));
            int k = j < 0 ? -j : j >= n ? 2 * n - 1 - j : j;
            k = std::clamp(k, 0, n - 1);
            if (weight != 0) all[i].push_back({k, weight});
        }
    }
    return all;
}

int PlainPass(const std::vector<std::pair<int, int>>& taps, const std::function<int(int)>& at) {
    std::int64_t sum = 0, weights = 0;
    for (auto [k, w] : taps) {
        sum += std::int64_t{w} * at(k);
        weights += w;
    }
    return int(std::clamp<std::int64_t>(sum / (weights == 0 ? 256 : weights), 0, 255));
}

// One channel (0..2 colour, 3 alpha) of the image resampled by the plain rules.
std::vector<int> PlainHermite(const RasterImage& src, int w, int h, int channel) {
    auto sample = [&](int x, int y) {
        if (channel == 3) return int(src.AlphaRow(y)[x]);
        const Rgb c = src.PixelRgb(x, y);
        return int(channel == 0 ? c.r : channel == 1 ? c.g : c.b);
    };
    const auto wx = PlainHermiteWeights(src.Width(), w), wy = PlainHermiteWeights(src.Height(), h);
    std::vector<int> inter(std::size_t(w) * src.Height()), out(std::size_t(w) * h);
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < w; ++x)
            inter[std::size_t(y) * w + x] = PlainPass(wx[x], [&](int k) { return sample(k, y); });
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[std::size_t(y) * w + x] =
                PlainPass(wy[y], [&](int k) { return inter[std::size_t(k) * w + x]; });
    return out;
}

TEST(HermiteResample, MatchesThePlainRulesOnRandomImages) {
    for (auto [sw, sh, w, h] : {std::tuple{37, 23, 11, 60},
                                {5, 300, 300, 5},
                                {64, 64, 16, 16},
                                {100, 3, 7, 1},
                                {250, 180, 512, 77},
                                {2, 2, 3, 3}}) {
        const RasterImage src = Random(sw, sh, true, unsigned(sw * 31 + h));
        ResampleOptions options;
        options.Threads = 2;
        const RasterImage out = ResampleRaster(src, w, h, F::rfHermite, options);
        ASSERT_EQ(out.Width(), w);
        for (int channel = 0; channel < 4; ++channel) {
            const std::vector<int> plain = PlainHermite(src, w, h, channel);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const Rgb c = out.PixelRgb(x, y);
                    const int got = channel == 3   ? out.AlphaRow(y)[x]
                                    : channel == 0 ? c.r
                                    : channel == 1 ? c.g
                                                   : c.b;
                    ASSERT_EQ(got, plain[std::size_t(y) * w + x])
                        << sw << "x" << sh << "→" << w << "x" << h << " channel " << channel
                        << " at " << x << "," << y;
                }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// rfFastLinear, worked by hand.

TEST(FastLinearResample, EnlargesWithSeventeenBitFractions) {
    // n = 2, m = 3: d = 1.5. x = 1: x/d = 0.667, q = 0, φ = ⌊0.667 × 131072⌋ = 87381;
    // 0 + (255 × 87381) div 131072 = 169; the other way 255 + (-255 × 87381) div 131072
    // = 255 - 169 (truncated toward zero) = 86. x = 2: q = 1, both neighbours are pixel 1.
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({0, 255}), 3, 1, F::rfFastLinear)),
              (std::vector<int>{0, 169, 255}));
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({255, 0}), 3, 1, F::rfFastLinear)),
              (std::vector<int>{255, 86, 0}));
}

TEST(FastLinearResample, ReducesByBoxMeans) {
    // n = 4, m = 2: d = 0.5. x = 0: columns 0..⌊1/0.5⌋ = 0..2 → (10 + 20 + 40) div 3 = 23.
    // x = 1: q = 2, last = ⌊min(2, 1)/0.5⌋ = 2 → 40 (column 3 is not used).
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({10, 20, 40, 80}), 2, 1, F::rfFastLinear)),
              (std::vector<int>{23, 40}));
}

TEST(FastLinearResample, OnlyTheHorizontalBoxEndGetsTheNudge) {
    // 28 → 18: for x = 8 the box end is 9/d = 9 × 28/18, which comes out as 13.999999999999998
    // in double. Horizontally (+1e-10) it is column 14; vertically it stays row 13.
    RasterImage lines = MakeRgb(28, 28, [](int x, int) {
        const std::uint8_t v = x == 14 ? 255 : 0;
        return Rgb{v, v, v};
    });
    // Columns 12..14 for x = 8: 255 div 3.
    EXPECT_EQ(ResampleRaster(lines, 18, 18, F::rfFastLinear).PixelRgb(8, 0).r, 85);
    RasterImage rows = MakeRgb(28, 28, [](int, int y) {
        const std::uint8_t v = y == 14 ? 255 : 0;
        return Rgb{v, v, v};
    });
    RasterImage out = ResampleRaster(rows, 18, 18, F::rfFastLinear);
    EXPECT_EQ(out.PixelRgb(0, 8).r, 0);   // rows 12..13
    EXPECT_EQ(out.PixelRgb(0, 9).r, 85);  // rows 13..15
}

// ---------------------------------------------------------------------------------------------
// The other filters.

TEST(OtherFilters, NearestBoxAndPointSampling) {
    // Box kernel: c = 1/3 lies nearest pixel 0, c = 2/3 nearest pixel 1.
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({10, 200}), 4, 1, F::rfNearest)),
              (std::vector<int>{10, 10, 200, 200}));
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({10, 200}), 4, 1, F::rfNone)),
              (std::vector<int>{10, 10, 200, 200}));
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({10, 200, 30, 40}), 2, 1, F::rfProjectBW)),
              (std::vector<int>{10, 30}));
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({10, 200, 30, 40}), 2, 1, F::rfProjectWB)),
              (std::vector<int>{200, 40}));
}

TEST(OtherFilters, TriangleInterpolatesLinearly) {
    // n = 2, m = 5: s = 4; c = 1/4 gives weights 192 and 64: 64·200 div 256 = 50.
    EXPECT_EQ(RedRow(ResampleRaster(GreyRow({0, 200}), 5, 1, F::rfTriangle)),
              (std::vector<int>{0, 50, 100, 150, 200}));
}

TEST(OtherFilters, LanczosOvershootIsClamped) {
    RasterImage out = ResampleRaster(GreyRow({0, 0, 0, 255, 255, 255}), 13, 1, F::rfLanczos3);
    for (int v : RedRow(out)) {
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 255);
    }
    EXPECT_EQ(RedRow(out).front(), 0);
    EXPECT_EQ(RedRow(out).back(), 255);
}

// ---------------------------------------------------------------------------------------------
// Properties over every filter.

struct FilterCase {
    F filter;
    const char* name;
};

class EveryFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(EveryFilter, FlatColourStaysExactlyFlat) {
    const Rgb colour{37, 150, 222};
    for (auto [w, h, nw, nh] : {std::tuple{32, 32, 16, 16},
                                {32, 32, 48, 40},
                                {7, 5, 3, 11},
                                {2, 2, 1, 1},
                                {1, 9, 4, 2}}) {
        RasterImage src = MakeRgb(w, h, [&](int, int) { return colour; });
        src.AddAlpha(77);
        RasterImage out = ResampleRaster(src, nw, nh, GetParam().filter);
        ASSERT_EQ(out.Width(), nw);
        ASSERT_EQ(out.Height(), nh);
        ASSERT_TRUE(out.HasAlpha());
        for (int y = 0; y < nh; ++y)
            for (int x = 0; x < nw; ++x) ASSERT_EQ(out.PixelRgb(x, y), colour) << w << "→" << nw;
        for (std::uint8_t a : out.Alpha()) ASSERT_EQ(a, 77);
    }
}

TEST_P(EveryFilter, OnePixelSourceFillsTheResult) {
    RasterImage src = MakeRgb(1, 1, [](int, int) { return Rgb{9, 99, 199}; });
    src.AddAlpha(128);
    RasterImage out = ResampleRaster(src, 5, 3, GetParam().filter);
    ASSERT_EQ(out.Width(), 5);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(out.PixelRgb(x, y), (Rgb{9, 99, 199}));
    EXPECT_EQ(out.Alpha(), std::vector<std::uint8_t>(15, 128));
}

TEST_P(EveryFilter, AlphaBesideTransparentPixelsBecomesIntermediate) {
    RasterImage src = MakeRgb(16, 16, [](int, int) { return Rgb{200, 0, 0}; });
    src.AddAlpha(255);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) src.AlphaRow(y)[x] = 0;
    ImageHolder h;
    h.Image = src;
    ResampleImage(h, 11, 6, GetParam().filter, {});
    ASSERT_TRUE(h.Image.HasAlpha());
    ASSERT_EQ(h.Image.Alpha().size(), 66u);
    EXPECT_EQ(h.Image.AlphaRow(3)[0], 0);
    EXPECT_EQ(h.Image.AlphaRow(3)[10], 255);
    bool intermediate = false;
    for (std::uint8_t a : h.Image.Alpha()) intermediate |= a > 0 && a < 255;
    // The sampling filters pick one source value per pixel.
    const F f = GetParam().filter;
    const bool sampling = f == F::rfNone || f == F::rfProjectBW || f == F::rfProjectWB;
    EXPECT_EQ(intermediate, !sampling);
}

TEST_P(EveryFilter, NoAlphaPlaneStaysWithout) {
    ImageHolder h;
    h.Image = Random(20, 10, false, 3);
    ResampleImage(h, 7, 13, GetParam().filter);
    EXPECT_EQ(h.Image.Width(), 7);
    EXPECT_FALSE(h.Image.HasAlpha());
}

INSTANTIATE_TEST_SUITE_P(
    Filters, EveryFilter,
    ::testing::Values(FilterCase{F::rfNone, "None"}, FilterCase{F::rfTriangle, "Triangle"},
                      FilterCase{F::rfHermite, "Hermite"}, FilterCase{F::rfBell, "Bell"},
                      FilterCase{F::rfBSpline, "BSpline"}, FilterCase{F::rfLanczos3, "Lanczos3"},
                      FilterCase{F::rfMitchell, "Mitchell"}, FilterCase{F::rfNearest, "Nearest"},
                      FilterCase{F::rfLinear, "Linear"}, FilterCase{F::rfFastLinear, "FastLinear"},
                      FilterCase{F::rfBilinear, "Bilinear"}, FilterCase{F::rfBicubic, "Bicubic"},
                      FilterCase{F::rfProjectBW, "ProjectBW"},
                      FilterCase{F::rfProjectWB, "ProjectWB"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The holder operation.

TEST(ResampleImage, SameSizeLeavesTheImageUntouched) {
    ImageHolder h;
    ASSERT_TRUE(h.Image.Allocate(48, 48, PixelFormat::ie1g));
    h.Image.Row(5)[1] = 0xA5;
    const RasterImage before = h.Image;
    ResampleImage(h, 48, 48, F::rfHermite);
    EXPECT_EQ(h.Image.Format(), PixelFormat::ie1g);
    EXPECT_EQ(h.Image.Pixels(), before.Pixels());
}

TEST(ResampleImage, EmptyImageOrBadSizeChangesNothing) {
    ImageHolder h;
    ResampleImage(h, 16, 16, F::rfHermite);
    EXPECT_TRUE(h.Image.Empty());
    h.Image = Random(4, 4, false, 1);
    const RasterImage before = h.Image;
    ResampleImage(h, 0, 16, F::rfHermite);
    ResampleImage(h, 1 << 20, 1 << 20, F::rfHermite);
    EXPECT_TRUE(SameImage(h.Image, before));
}

TEST(ResampleImage, PixelFormatRules) {
    ImageHolder bw;
    ASSERT_TRUE(bw.Image.Allocate(8, 2, PixelFormat::ie1g));
    bw.Image.Row(0)[0] = 0xF0;  // left half of the top row white
    ImageHolder kept = bw;
    ResampleImage(bw, 4, 1, F::rfHermite);
    EXPECT_EQ(bw.Image.Format(), PixelFormat::ie24RGB);
    ResampleImage(kept, 4, 1, F::rfNone);
    EXPECT_EQ(kept.Image.Format(), PixelFormat::ie1g);
    EXPECT_EQ(kept.Image.PixelRgb(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(kept.Image.PixelRgb(3, 0), (Rgb{0, 0, 0}));

    ImageHolder pal;
    ASSERT_TRUE(pal.Image.Allocate(2, 1, PixelFormat::ie8p));
    pal.Image.Palette() = {{1, 2, 3}, {40, 50, 60}};
    pal.Image.Row(0)[1] = 1;
    ResampleImage(pal, 4, 1, F::rfNone);
    EXPECT_EQ(pal.Image.Format(), PixelFormat::ie24RGB);
    EXPECT_EQ(pal.Image.PixelRgb(3, 0), (Rgb{40, 50, 60}));
}

TEST(ResampleImage, ProjectionKeepsThinBlackLines) {
    ImageHolder h;
    ASSERT_TRUE(h.Image.Allocate(8, 1, PixelFormat::ie1g));
    h.Image.Row(0)[0] = 0xEF;  // one black pixel at x = 3
    ImageHolder wb = h;
    ResampleImage(h, 2, 1, F::rfProjectBW);
    EXPECT_EQ(h.Image.Format(), PixelFormat::ie1g);
    EXPECT_EQ(h.Image.PixelRgb(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(h.Image.PixelRgb(1, 0), (Rgb{255, 255, 255}));
    ResampleImage(wb, 2, 1, F::rfProjectWB);
    EXPECT_EQ(wb.Image.PixelRgb(0, 0), (Rgb{255, 255, 255}));
}

TEST(ResampleImage, DropsTheOldSelection) {
    ImageHolder h;
    h.Image = Random(4, 4, false, 1);
    h.Selection.assign(16, 1);
    ResampleImage(h, 2, 2, F::rfHermite);
    EXPECT_TRUE(h.Selection.empty());
}

// ---------------------------------------------------------------------------------------------
// Threads and tiles change nothing.

TEST(ResampleThreads, ThreadedEqualsSingleThreaded) {
    const RasterImage src = Random(640, 480, true, 11);
    for (F filter : {F::rfHermite, F::rfLanczos3, F::rfTriangle}) {
        for (auto [w, h] : {std::pair{200, 150}, {1000, 70}, {333, 777}}) {
            ResampleOptions one;
            one.Threads = 1;
            const RasterImage ref = ResampleRaster(src, w, h, filter, one);
            for (int threads : {2, 3, 8}) {
                ResampleOptions many;
                many.Threads = threads;
                EXPECT_TRUE(SameImage(ResampleRaster(src, w, h, filter, many), ref))
                    << static_cast<int>(filter) << " " << w << "x" << h << " " << threads;
            }
        }
    }
}

TEST(ResampleThreads, ColumnTilesEqualOneTile) {
    const RasterImage src = Random(97, 61, true, 5);
    ResampleOptions tiled;
    tiled.MaxIntermediateBytes = 1;  // the smallest tiles
    tiled.Threads = 2;
    for (auto [w, h] : {std::pair{300, 40}, {50, 50}, {17, 200}})
        EXPECT_TRUE(SameImage(ResampleRaster(src, w, h, F::rfHermite, tiled),
                              ResampleRaster(src, w, h, F::rfHermite, {})))
            << w << "x" << h;
}

}  // namespace
}  // namespace gw
