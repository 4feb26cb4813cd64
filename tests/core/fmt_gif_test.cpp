#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imagefile/formats/codec.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

// ---- fixtures and inspection through giflib itself ----

struct FrameDesc {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<Rgb> localMap;  // empty: use the global map
    std::vector<std::uint8_t> indices;
    int transparent = -1;
    int disposal = 0, delay = 0;
};

struct GifDesc {
    int width = 0, height = 0;
    std::vector<Rgb> globalMap;
    int background = 0;
    bool gif89 = true;
    std::vector<FrameDesc> frames;
};

int AppendFn(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

ColorMapObject* MakeMap(const std::vector<Rgb>& colours) {
    if (colours.empty()) return nullptr;
    int size = 2;
    while (size < static_cast<int>(colours.size())) size *= 2;
    ColorMapObject* map = GifMakeMapObject(size, nullptr);
    for (int i = 0; i < size; ++i) {
        Rgb c = i < static_cast<int>(colours.size()) ? colours[i] : Rgb{};
        map->Colors[i] = {c.r, c.g, c.b};
    }
    return map;
}

std::vector<std::uint8_t> BuildGif(const GifDesc& desc) {
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendFn, &error);
    EGifSetGifVersion(gif, desc.gif89);
    ColorMapObject* global = MakeMap(desc.globalMap);
    EGifPutScreenDesc(gif, desc.width, desc.height, 8, desc.background, global);
    GifFreeMapObject(global);
    for (const FrameDesc& f : desc.frames) {
        if (desc.gif89) {
            GraphicsControlBlock gcb{f.disposal, false, f.delay,
                                     f.transparent >= 0 ? f.transparent : NO_TRANSPARENT_COLOR};
            GifByteType ext[4];
            EGifGCBToExtension(&gcb, ext);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        }
        ColorMapObject* local = MakeMap(f.localMap);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local);
        GifFreeMapObject(local);
        std::vector<int> order;
        if (f.interlaced) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < f.height; y += step[pass]) order.push_back(y);
        } else {
            for (int y = 0; y < f.height; ++y) order.push_back(y);
        }
        for (int y : order)
            EGifPutLine(gif, const_cast<GifPixelType*>(f.indices.data() + y * f.width), f.width);
    }
    EGifCloseFile(gif, &error);
    return out;
}

struct SlurpSource {
    const std::vector<std::uint8_t>* data;
    std::size_t pos = 0;
};

int SlurpRead(GifFileType* gif, GifByteType* out, int n) {
    auto* s = static_cast<SlurpSource*>(gif->UserData);
    int count = static_cast<int>(std::min<std::size_t>(n, s->data->size() - s->pos));
    std::memcpy(out, s->data->data() + s->pos, count);
    s->pos += count;
    return count;
}

// What giflib finds in a written file: screen, global map, first frame and its control block.
struct Inspected {
    bool ok = false;
    int width = 0, height = 0, mapSize = 0;
    std::vector<Rgb> map;
    bool interlaced = false;
    GraphicsControlBlock gcb{};
    bool hasGcb = false;
    std::vector<std::uint8_t> indices;
    int frames = 0;
    Rgb At(int x, int y) const { return map[indices[y * width + x]]; }
};

Inspected Inspect(const std::vector<std::uint8_t>& bytes) {
    Inspected r;
    SlurpSource src{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&src, SlurpRead, &error);
    if (!gif) return r;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0 && gif->SColorMap) {
        r.ok = true;
        r.width = gif->SWidth;
        r.height = gif->SHeight;
        r.mapSize = gif->SColorMap->ColorCount;
        for (int i = 0; i < r.mapSize; ++i) {
            GifColorType c = gif->SColorMap->Colors[i];
            r.map.push_back({c.Red, c.Green, c.Blue});
        }
        const SavedImage& first = gif->SavedImages[0];
        r.interlaced = first.ImageDesc.Interlace;
        r.hasGcb = DGifSavedExtensionToGCB(gif, 0, &r.gcb) == GIF_OK;
        r.indices.assign(first.RasterBits,
                         first.RasterBits + first.ImageDesc.Width * first.ImageDesc.Height);
        r.frames = gif->ImageCount;
    }
    DGifCloseFile(gif, &error);
    return r;
}

FrameDesc Frame(int w, int h, std::vector<std::uint8_t> indices) {
    FrameDesc f;
    f.width = w;
    f.height = h;
    f.indices = std::move(indices);
    return f;
}

const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255};

// ---- reader ----

TEST(GifRead, TwoColourBlackAndWhiteFrameIsOneBit) {
    GifDesc desc{4, 2, {kBlack, kWhite}, 0, true, {Frame(4, 2, {1, 0, 1, 0, 0, 0, 1, 1})}};
    ImageHolder holder;
    ASSERT_EQ(kGifCodec.Read(holder, BuildGif(desc), {}), ImageError::None);
    EXPECT_EQ(holder.Image.Format(), PixelFormat::ie1g);
    EXPECT_EQ(holder.Params.ChannelCount, 1);
    EXPECT_EQ(holder.Params.BitsPerChannel, 1);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), kWhite);
    EXPECT_EQ(holder.Image.PixelRgb(1, 0), kBlack);
    EXPECT_EQ(holder.Image.PixelRgb(3, 1), kWhite);
    EXPECT_FALSE(holder.Image.HasAlpha());
}

TEST(GifRead, TransparentIndexBecomesAlphaAndSettingsAreRecorded) {
    FrameDesc f = Frame(3, 1, {0, 1, 2});
    f.transparent = 1;
    f.disposal = 1;
    f.delay = 25;
    GifDesc desc{3, 1, {kRed, kBlue, kWhite, kBlack}, 0, true, {f}};
    ImageHolder holder;
    ASSERT_EQ(kGifCodec.Read(holder, BuildGif(desc), {}), ImageError::None);
    EXPECT_EQ(holder.Image.Format(), PixelFormat::ie24RGB);
    ASSERT_TRUE(holder.Image.HasAlpha());
    EXPECT_EQ(holder.Image.AlphaRow(0)[0], 255);
    EXPECT_EQ(holder.Image.AlphaRow(0)[1], 0);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), kRed);
    EXPECT_EQ(holder.Image.PixelRgb(2, 0), kWhite);
    const FileParams& p = holder.Params;
    EXPECT_EQ(p.BitsPerChannel, 2);
    EXPECT_EQ(p.PaletteCount, 4);
    EXPECT_EQ(p.Palette[1], kBlue);
    EXPECT_EQ(p.GIF_Version, "GIF89a");
    EXPECT_EQ(p.GIF_Disposal, 1);
    EXPECT_EQ(p.GIF_Delay, 25);
}

TEST(GifRead, LocalMapInterlacingAndGif87) {
    FrameDesc f = Frame(1, 10, {0, 1, 0, 1, 0, 1, 0, 1, 0, 1});
    f.interlaced = true;
    f.localMap = {kBlue, kRed};
    GifDesc desc{1, 10, {kBlack, kWhite}, 0, false, {f}};
    ImageHolder holder;
    ASSERT_EQ(kGifCodec.Read(holder, BuildGif(desc), {}), ImageError::None);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(holder.Image.PixelRgb(0, y), y % 2 ? kRed : kBlue) << y;
    EXPECT_TRUE(holder.Params.GIF_Interlaced);
    EXPECT_EQ(holder.Params.GIF_Version, "GIF87a");
}

TEST(GifRead, FrameSmallerThanTheScreenSitsOnTheBackground) {
    FrameDesc f = Frame(2, 1, {0, 0});
    f.left = 1;
    f.top = 1;
    GifDesc desc{4, 3, {kRed, kBlue}, 1, true, {f}};
    ImageHolder holder;
    ASSERT_EQ(kGifCodec.Read(holder, BuildGif(desc), {}), ImageError::None);
    EXPECT_EQ(holder.Image.Width(), 4);
    EXPECT_EQ(holder.Image.Height(), 3);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), kBlue);
    EXPECT_EQ(holder.Image.PixelRgb(1, 1), kRed);
    EXPECT_EQ(holder.Image.PixelRgb(3, 1), kBlue);

    desc.frames[0].transparent = 1;
    ASSERT_EQ(kGifCodec.Read(holder, BuildGif(desc), {}), ImageError::None);
    ASSERT_TRUE(holder.Image.HasAlpha());
    EXPECT_EQ(holder.Image.AlphaRow(0)[0], 0);
    EXPECT_EQ(holder.Image.AlphaRow(1)[1], 255);
}

TEST(GifRead, ImageIndexPicksTheFrame) {
    GifDesc desc{2, 1, {kRed, kBlue}, 0, true, {Frame(2, 1, {0, 0}), Frame(2, 1, {1, 1})}};
    auto gif = BuildGif(desc);
    ImageHolder holder;
    ASSERT_EQ(kGifCodec.Read(holder, gif, {}), ImageError::None);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), kRed);
    holder.Params.GIF_ImageIndex = 1;
    ASSERT_EQ(kGifCodec.Read(holder, gif, {}), ImageError::None);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), kBlue);
    holder.Params.GIF_ImageIndex = 2;
    EXPECT_NE(kGifCodec.Read(holder, gif, {}), ImageError::None);
}

TEST(GifRead, MalformedFilesFailCleanly) {
    std::vector<std::uint8_t> pixels(64 * 64);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
    std::vector<Rgb> map(256);
    GifDesc desc{64, 64, map, 0, true, {Frame(64, 64, pixels)}};
    auto good = BuildGif(desc);
    std::vector<std::uint8_t> huge = good;
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;  // screen 65535 × 65535
    std::vector<std::uint8_t> hugeFrame = BuildGif({64, 64, map, 0, true, {Frame(1, 1, {0})}});
    // Image descriptor (after the 8-byte control extension) claims 65535 × 65535.
    const std::size_t at = 13 + 256 * 3 + 8;
    ASSERT_EQ(hugeFrame[at], 0x2C);
    hugeFrame[at + 5] = hugeFrame[at + 6] = hugeFrame[at + 7] = hugeFrame[at + 8] = 0xFF;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"signature only", {'G', 'I', 'F', '8', '9', 'a'}},
        {"cut in the colour table", {good.begin(), good.begin() + 100}},
        {"cut in the image data", {good.begin(), good.begin() + good.size() / 2}},
        {"huge screen", huge},
        {"huge frame", hugeFrame},
        {"no frame", {good.begin(), good.begin() + 13 + 256 * 3}},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        EXPECT_NE(kGifCodec.Read(holder, c.bytes, {}), ImageError::None) << c.name;
    }
}

// ---- writer ----

TEST(GifWrite, TrueColourIsGif89aWithDisposalTwo) {
    ImageHolder holder;
    holder.Image = test::ColourCycleImage(5, 4, {kRed, kBlue, {1, 2, 3}});
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kGifCodec.Write(holder, out), ImageError::None);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 6), "GIF89a");
    Inspected r = Inspect(out);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.width, 5);
    EXPECT_EQ(r.height, 4);
    EXPECT_EQ(r.mapSize, 256);
    EXPECT_FALSE(r.interlaced);
    ASSERT_TRUE(r.hasGcb);
    EXPECT_EQ(r.gcb.DisposalMode, 2);
    EXPECT_EQ(r.gcb.DelayTime, 0);
    EXPECT_EQ(r.gcb.TransparentColor, NO_TRANSPARENT_COLOR);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(r.At(x, y), holder.Image.PixelRgb(x, y));
}

TEST(GifWrite, AlphaUses255ColoursPlusTheTransparentEntry) {
    ImageHolder holder;
    holder.Image = test::GradientImage(37, 21);  // far more than 256 colours
    test::AddAlphaPattern(holder.Image);
    holder.Params.ChannelCount = 4;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kGifCodec.Write(holder, out), ImageError::None);
    Inspected r = Inspect(out);
    ASSERT_TRUE(r.ok && r.hasGcb);
    EXPECT_EQ(r.mapSize, 256);
    EXPECT_EQ(r.gcb.TransparentColor, 255);
    int transparentPixels = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) {
            bool clear = holder.Image.AlphaRow(y)[x] < 255;
            EXPECT_EQ(r.indices[y * 37 + x] == 255, clear) << x << "," << y;
            transparentPixels += clear;
        }
    EXPECT_EQ(transparentPixels, 37 + 20);
}

TEST(GifWrite, DeclaredDepthSetsTheTableSize) {
    struct Case {
        int bits;
        bool blackWhite, alpha;
        int mapSize, transparent;
    } cases[] = {{1, true, false, 2, -1},
                 {8, true, false, 2, -1},
                 {1, true, true, 4, 2},
                 {4, false, false, 16, -1},
                 {4, false, true, 16, 3}};
    for (const Case& c : cases) {
        ImageHolder holder;
        holder.Image = c.blackWhite ? test::CheckerBits(9, 4, 2)
                                    : test::ColourCycleImage(9, 4, {kRed, kBlue, kWhite});
        if (c.alpha) test::AddAlphaPattern(holder.Image);
        holder.Params.ChannelCount = 1;
        holder.Params.BitsPerChannel = c.bits;
        std::vector<std::uint8_t> out;
        ASSERT_EQ(kGifCodec.Write(holder, out), ImageError::None);
        Inspected r = Inspect(out);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.mapSize, c.mapSize) << c.bits << c.blackWhite << c.alpha;
        EXPECT_EQ(r.gcb.TransparentColor, c.transparent);
    }
}

TEST(GifWrite, InterlacedSettingIsHonoured) {
    ImageHolder holder;
    holder.Image = test::ColourCycleImage(3, 13, {kRed, kBlue, kWhite, {9, 9, 9}});
    holder.Params.GIF_Interlaced = true;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kGifCodec.Write(holder, out), ImageError::None);
    Inspected r = Inspect(out);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.interlaced);
    // giflib's slurp keeps interlaced rows in file order; the reader under test reorders them.
    ImageHolder back;
    ASSERT_EQ(kGifCodec.Read(back, out, {}), ImageError::None);
    EXPECT_EQ(test::FirstColourDifference(back.Image, holder.Image), "");
}

TEST(GifWrite, EmptyImageIsNotWritten) {
    ImageHolder holder;
    std::vector<std::uint8_t> out;
    EXPECT_NE(kGifCodec.Write(holder, out), ImageError::None);
}

struct DepthCase {
    const char* name;
    int channels, bits;
    bool alpha, blackWhite;
};

class GifRoundTrip : public ::testing::TestWithParam<DepthCase> {};

TEST_P(GifRoundTrip, KeepsPixelsAndTransparency) {
    const DepthCase& c = GetParam();
    ImageHolder holder;
    holder.Image = c.blackWhite ? test::CheckerBits(10, 6, 3)
                                : test::ColourCycleImage(10, 6, {kRed, kBlue, {3, 4, 5}});
    if (c.alpha) test::AddAlphaPattern(holder.Image);
    holder.Params.ChannelCount = c.channels;
    holder.Params.BitsPerChannel = c.bits;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kGifCodec.Write(holder, out), ImageError::None);
    ImageHolder back;
    ASSERT_EQ(kGifCodec.Read(back, out, {}), ImageError::None);
    EXPECT_EQ(back.Params.ChannelCount, 1);
    EXPECT_EQ(back.Params.BitsPerChannel, c.blackWhite ? 1 : c.bits);
    EXPECT_EQ(back.Image.HasAlpha(), c.alpha);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool opaque = !c.alpha || holder.Image.AlphaRow(y)[x] == 255;
            if (c.alpha) {
                EXPECT_EQ(back.Image.AlphaRow(y)[x], opaque ? 255 : 0);
            }
            if (opaque) {
                EXPECT_EQ(back.Image.PixelRgb(x, y), holder.Image.PixelRgb(x, y));
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Depths, GifRoundTrip,
                         ::testing::Values(DepthCase{"Bits1", 1, 1, false, true},
                                           DepthCase{"Palette4", 1, 4, false, false},
                                           DepthCase{"Palette8", 1, 8, false, false},
                                           DepthCase{"Rgb24", 3, 8, false, false},
                                           DepthCase{"Rgba32", 4, 8, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gw
