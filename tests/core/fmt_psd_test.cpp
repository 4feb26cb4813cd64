#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "support/decode_table.h"
#include "support/picture_bytes.h"

namespace gw {
namespace {

using test::DamagedFile;
using test::DecodeCase;
using test::ReferenceDecode;

using test::Bytes;
using Plane = std::vector<std::uint8_t>;

constexpr Rgb K{0, 0, 0}, W{255, 255, 255}, R{255, 0, 0}, G{0, 255, 0}, B{0, 0, 255};

struct PsdSpec {
    unsigned version = 1, channels = 3, width = 1, height = 1, depth = 8, mode = 3;
    Plane modeData;
    Plane resources;
    Plane layers;  // the layer and mask section's contents, without its length
    unsigned compression = 0;
    Plane imageData;  // after the compression field
};

std::vector<std::uint8_t> Psd(const PsdSpec& s) {
    Bytes b;
    b.str("8BPS").u16be(s.version).fill(6, 0).u16be(s.channels).u32be(s.height).u32be(s.width);
    b.u16be(s.depth).u16be(s.mode);
    b.u32be(s.modeData.size()).raw(s.modeData);
    b.u32be(s.resources.size()).raw(s.resources);
    if (s.version == 2) b.u32be(0);
    b.u32be(s.layers.size()).raw(s.layers);
    b.u16be(s.compression).raw(s.imageData);
    return b.v;
}

Plane Concat(std::initializer_list<Plane> planes) {
    Plane out;
    for (const Plane& p : planes) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Plane Resource(unsigned id, const Plane& payload) {
    Bytes b;
    b.str("8BIM").u16be(id).u16be(0).u32be(payload.size()).raw(payload);
    if (payload.size() & 1) b.u8(0);
    return b.v;
}

Plane Resolution(unsigned dpi) {
    return Resource(
        0x03ed, Bytes().u32be(dpi << 16).u16be(1).u16be(1).u32be(dpi << 16).u16be(1).u16be(1).v);
}

// A layer section whose layer info holds only the layer count.
Plane LayerCount(int count) {
    return Bytes().u32be(4).u16be(static_cast<std::uint16_t>(count)).u16be(0).u32be(0).v;
}

PsdSpec Rgb2x1(unsigned channels, Plane layers, Plane data) {
    PsdSpec s;
    s.channels = channels;
    s.width = 2;
    s.layers = std::move(layers);
    s.imageData = std::move(data);
    return s;
}

Plane Palette(std::initializer_list<Rgb> first) {
    Plane p(768, 0);
    std::size_t i = 0;
    for (Rgb c : first) {
        p[i] = c.r, p[256 + i] = c.g, p[512 + i] = c.b;
        ++i;
    }
    return p;
}

std::vector<DecodeCase> DecodeCases() {
    using PF = PixelFormat;
    std::vector<DecodeCase> v;
    v.push_back({"RgbRaw",
                 Psd(Rgb2x1(3, {}, {255, 0, 0, 0, 0, 255})),
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {},
                 3,
                 8});
    v.push_back({"RgbExtraChannelWithoutLayersIsAlpha",
                 Psd(Rgb2x1(4, {}, {255, 0, 0, 0, 0, 255, 128, 255})),
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {128, 255},
                 4,
                 8});
    v.push_back({"RgbExtraChannelBesideLayersIsNotAlpha",
                 Psd(Rgb2x1(4, LayerCount(1), {255, 0, 0, 0, 0, 255, 128, 255})),
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {},
                 3,
                 8});
    v.push_back({"RgbNegativeLayerCountMarksAlpha",
                 Psd(Rgb2x1(4, LayerCount(-1), {255, 0, 0, 0, 0, 255, 0, 255})),
                 2,
                 1,
                 PF::ie24RGB,
                 {R, B},
                 {0, 255},
                 4,
                 8});
    {
        PsdSpec s = Rgb2x1(3, {}, {});
        s.compression = 1;
        // Row byte counts, then PackBits rows: a literal pair, a run of two, two literals.
        s.imageData = Bytes()
                          .u16be(3)
                          .u16be(2)
                          .u16be(4)
                          .u8s({1, 255, 0})
                          .u8s({0xff, 0})
                          .u8s({0, 0, 0, 255})
                          .v;
        v.push_back({"RgbPackBits", Psd(s), 2, 1, PF::ie24RGB, {R, B}, {}, 3, 8});
    }
    {
        PsdSpec s = Rgb2x1(3, {}, {});
        s.version = 2;
        s.compression = 1;
        s.imageData = Bytes()
                          .u32be(3)
                          .u32be(2)
                          .u32be(4)
                          .u8s({1, 255, 0})
                          .u8s({0xff, 0})
                          .u8s({0, 0, 0, 255})
                          .v;
        v.push_back({"LargeDocumentFormat", Psd(s), 2, 1, PF::ie24RGB, {R, B}, {}, 3, 8});
    }
    {
        PsdSpec s = Rgb2x1(1, {}, Bytes().u16be(0x8000).u16be(0xffff).v);
        s.mode = 1;
        s.depth = 16;
        v.push_back({"Grey16", Psd(s), 2, 1, PF::ie24RGB, {Rgb{128, 128, 128}, W}, {}, 1, 16});
    }
    {
        PsdSpec s = Rgb2x1(1, {}, {7, 9});
        s.mode = 8;
        v.push_back(
            {"DuotoneAsGrey", Psd(s), 2, 1, PF::ie24RGB, {Rgb{7, 7, 7}, Rgb{9, 9, 9}}, {}, 1, 8});
    }
    {
        PsdSpec s = Rgb2x1(1, {}, {0, 1});
        s.mode = 2;
        s.modeData = Palette({G, B});
        s.resources =
            Concat({Resource(0x0416, Bytes().u16be(2).v), Resource(0x0417, Bytes().u16be(1).v)});
        v.push_back(
            {"IndexedWithTransparentIndex", Psd(s), 2, 1, PF::ie24RGB, {G, B}, {255, 0}, 1, 8});
    }
    {
        PsdSpec s = Rgb2x1(4, {}, {255, 255, 0, 255, 0, 255, 255, 128});
        s.mode = 4;
        v.push_back({"CmykInverted", Psd(s), 2, 1, PF::ie24RGB, {R, Rgb{128, 128, 128}}, {}, 4, 8});
    }
    {
        PsdSpec s = Rgb2x1(1, {}, {0x80, 0x40});
        s.width = 10;
        s.mode = 0;
        s.depth = 1;
        v.push_back({"BitmapOneIsBlack",
                     Psd(s),
                     10,
                     1,
                     PF::ie1g,
                     {K, W, W, W, W, W, W, W, W, K},
                     {},
                     1,
                     1});
    }
    return v;
}

INSTANTIATE_TEST_SUITE_P(Psd, ReferenceDecode,
                         testing::ValuesIn(test::ForCodec(kPsdCodec, DecodeCases())),
                         test::CaseName<DecodeCase>);

TEST(PsdRead, ResolutionResourceAndDefault) {
    PsdSpec s = Rgb2x1(3, {}, {1, 2, 3, 4, 5, 6});
    s.resources = Resolution(72);
    ImageHolder h;
    ASSERT_EQ(kPsdCodec.Read(h, Psd(s), ReadOptions{}), ImageError::None);
    EXPECT_EQ(h.Params.HorizontalDpi, 72);
    EXPECT_EQ(h.Params.VerticalDpi, 72);
    s.resources.clear();
    h.Params.HorizontalDpi = 5;
    ASSERT_EQ(kPsdCodec.Read(h, Psd(s), ReadOptions{}), ImageError::None);
    EXPECT_EQ(h.Params.HorizontalDpi, 300);
}

// Walks a written document: header, resources, the one layer and the merged image.
struct WrittenPsd {
    unsigned channels = 0, depth = 0, mode = 0;
    int dpi = 0;
    int layerCount = 0;
    std::vector<int> channelIds;
    std::string layerName;
    std::vector<Plane> layerPlanes;
    std::vector<Plane> mergedPlanes;
    bool ok = false;
};

WrittenPsd Parse(const std::vector<std::uint8_t>& file, unsigned w, unsigned h) {
    WrittenPsd out;
    ByteReader r(file);
    if (r.u32be() != 0x38425053 || r.u16be() != 1) return out;
    r.skip(6);
    out.channels = r.u16be();
    if (r.u32be() != h || r.u32be() != w) return out;
    out.depth = r.u16be();
    out.mode = r.u16be();
    r.skip(r.u32be());
    ByteReader res(r.take(r.u32be()));
    res.skip(4 + 2 + 2 + 4);
    out.dpi = static_cast<int>(res.u32be() >> 16);
    const std::uint32_t sectionLength = r.u32be();
    const std::size_t sectionEnd = r.pos() + sectionLength;
    r.u32be();
    out.layerCount = static_cast<std::int16_t>(r.u16be());
    r.skip(16);
    const unsigned n = r.u16be();
    for (unsigned i = 0; i < n; ++i) {
        out.channelIds.push_back(static_cast<std::int16_t>(r.u16be()));
        if (r.u32be() != 2 + w * h) return out;
    }
    if (r.u32be() != 0x3842494d || r.u32be() != 0x6e6f726d) return out;
    r.skip(4);
    const std::uint32_t extra = r.u32be();
    const std::size_t extraEnd = r.pos() + extra;
    if (r.u32be() != 0 || r.u32be() != 0) return out;
    const unsigned nameLength = r.u8();
    auto name = r.take(nameLength);
    out.layerName.assign(name.begin(), name.end());
    r.seek(extraEnd);
    for (unsigned i = 0; i < n; ++i) {
        if (r.u16be() != 0) return out;
        auto p = r.take(w * h);
        out.layerPlanes.emplace_back(p.begin(), p.end());
    }
    r.seek(sectionEnd);
    if (r.u16be() != 0) return out;
    for (unsigned i = 0; i < out.channels; ++i) {
        auto p = r.take(w * h);
        out.mergedPlanes.emplace_back(p.begin(), p.end());
    }
    out.ok = r.ok() && r.remaining() == 0;
    return out;
}

Plane PlaneOf(const RasterImage& image, int c) {
    Plane p;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            Rgb v = image.PixelRgb(x, y);
            p.push_back(c == 0 ? v.r : c == 1 ? v.g : c == 2 ? v.b : image.AlphaRow(y)[x]);
        }
    return p;
}

TEST(PsdWrite, MergedImageAndOneLayerWithoutAlpha) {
    ImageHolder h;
    h.Image = test::Gradient(5, 3);
    h.Params.HorizontalDpi = 96;
    h.Params.ChannelCount = 1;  // the declared depth plays no part: always 8-bit RGB
    h.Params.BitsPerChannel = 4;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPsdCodec.Write(h, file), ImageError::None);
    WrittenPsd psd = Parse(file, 5, 3);
    ASSERT_TRUE(psd.ok);
    EXPECT_EQ(psd.channels, 3u);
    EXPECT_EQ(psd.depth, 8u);
    EXPECT_EQ(psd.mode, 3u);
    EXPECT_EQ(psd.dpi, 96);
    EXPECT_EQ(psd.layerCount, 1);
    EXPECT_EQ(psd.channelIds, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(psd.layerName, "Layer 1");
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(psd.layerPlanes[c], PlaneOf(h.Image, c));
        EXPECT_EQ(psd.mergedPlanes[c], PlaneOf(h.Image, c));
    }
    ImageHolder back;
    ASSERT_EQ(kPsdCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
    EXPECT_FALSE(back.Image.HasAlpha());
    EXPECT_EQ(back.Params.HorizontalDpi, 96);
}

TEST(PsdWrite, AlphaGoesToTheLayerTransparencyChannel) {
    ImageHolder h;
    h.Image = test::Gradient(4, 2);
    h.Image.AddAlpha(255);
    h.Image.Alpha()[1] = 0;
    h.Image.Alpha()[6] = 90;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPsdCodec.Write(h, file), ImageError::None);
    WrittenPsd psd = Parse(file, 4, 2);
    ASSERT_TRUE(psd.ok);
    EXPECT_EQ(psd.channels, 4u);
    EXPECT_EQ(psd.layerCount, -1);
    EXPECT_EQ(psd.channelIds, (std::vector<int>{-1, 0, 1, 2}));
    EXPECT_EQ(psd.layerPlanes[0], PlaneOf(h.Image, 3));
    EXPECT_EQ(psd.layerPlanes[1], PlaneOf(h.Image, 0));
    EXPECT_EQ(psd.mergedPlanes[3], PlaneOf(h.Image, 3));
    ImageHolder back;
    ASSERT_EQ(kPsdCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
    EXPECT_EQ(back.Image.Alpha(), h.Image.Alpha());
    EXPECT_EQ(back.Params.ChannelCount, 4);
}

TEST(PsdWrite, BlackAndWhiteImageIsWrittenAsRgb) {
    ImageHolder h;
    h.Image = test::BlackWhite({"#.#", ".#."});
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPsdCodec.Write(h, file), ImageError::None);
    ImageHolder back;
    ASSERT_EQ(kPsdCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(back.Image.Format(), PixelFormat::ie24RGB);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
}

TEST(PsdWrite, OddSizedLayerInfoIsPadded) {
    ImageHolder h;
    h.Image = test::Gradient(1, 1);
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kPsdCodec.Write(h, file), ImageError::None);
    EXPECT_TRUE(Parse(file, 1, 1).ok);
}

TEST(PsdWrite, BeyondTheDocumentSizeLimitIsRefused) {
    ImageHolder h;
    h.Image.Allocate(30001, 1, PixelFormat::ie1g);
    std::vector<std::uint8_t> file;
    EXPECT_NE(kPsdCodec.Write(h, file), ImageError::None);
}

using test::MalformedCase;

std::vector<MalformedCase> MalformedCases() {
    std::vector<MalformedCase> v;
    const Plane rgb{255, 0, 0, 0, 0, 255};
    auto with = [&](auto change) {
        PsdSpec s = Rgb2x1(3, {}, rgb);
        change(s);
        return Psd(s);
    };
    v.push_back({"Empty", {}, false});
    v.push_back({"WrongSignature", Bytes().str("8BPX").fill(40, 0).v, false});
    v.push_back({"VersionThree", with([](PsdSpec& s) { s.version = 3; }), false});
    v.push_back({"NoChannels", with([](PsdSpec& s) { s.channels = 0; }), false});
    v.push_back({"TooManyChannels", with([](PsdSpec& s) { s.channels = 57; }), false});
    v.push_back({"FloatSamples", with([](PsdSpec& s) { s.depth = 32; }), false});
    v.push_back({"LabMode", with([](PsdSpec& s) { s.mode = 9; }), false});
    v.push_back({"BitmapWithEightBits", with([](PsdSpec& s) { s.mode = 0; }), false});
    v.push_back(
        {"IndexedWithoutPalette", with([](PsdSpec& s) { s.mode = 2, s.channels = 1; }), false});
    v.push_back(
        {"HugeDimensions", with([](PsdSpec& s) { s.width = 100000, s.height = 100000; }), false});
    v.push_back({"ZeroWidth", with([](PsdSpec& s) { s.width = 0; }), false});
    {
        auto f = with([](PsdSpec&) {});
        f[26 + 4 + 3] = 0xff;  // resource section length far past the end
        v.push_back({"ResourcesPastEnd", f, false});
    }
    {
        auto f = with([](PsdSpec&) {});
        f[26 + 4 + 4 + 2] = 0x7f;  // layer section length past the end
        v.push_back({"LayerSectionPastEnd", f, false});
    }
    v.push_back({"ZipCompression", with([](PsdSpec& s) { s.compression = 2; }), false});
    v.push_back({"RawDataCutShort", with([](PsdSpec& s) { s.imageData.resize(5); }), false});
    v.push_back({"AlphaChannelCutShort", with([](PsdSpec& s) { s.channels = 4; }), false});
    v.push_back({"UnusedChannelCutShort",
                 with([](PsdSpec& s) { s.channels = 5, s.layers = LayerCount(1); }), true});
    v.push_back({"RleCountTableCutShort", with([](PsdSpec& s) {
                     s.compression = 1, s.imageData = {0, 3, 0};
                 }),
                 false});
    v.push_back({"RleRowsMissing", with([](PsdSpec& s) {
                     s.compression = 1;
                     s.imageData = Bytes().u16be(3).u16be(200).u16be(4).u8s({1, 255, 0}).v;
                 }),
                 true});
    v.push_back({"RlePackBitsOverflowsRow", with([](PsdSpec& s) {
                     s.compression = 1;
                     s.imageData = Bytes()
                                       .u16be(2)
                                       .u16be(3)
                                       .u16be(2)
                                       .u8s({0x81, 7})
                                       .u8s({5, 1, 2})
                                       .u8s({0x80, 0x80})
                                       .v;
                 }),
                 true});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Psd, DamagedFile,
                         testing::ValuesIn(test::ForCodec(kPsdCodec, MalformedCases())),
                         test::CaseName<MalformedCase>);

}  // namespace
}  // namespace gw
