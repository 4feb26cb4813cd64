#include "imagefile/formats/jp2.h"

#include <gtest/gtest.h>

#include <openjpeg.h>

#include <cstring>
#include <string>
#include <vector>

#include "imagefile/formats/registry.h"
#include "support/picture_bytes.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

std::vector<std::uint8_t> Encode(const FormatCodec& codec, ImageHolder& holder) {
    std::vector<std::uint8_t> out;
    EXPECT_EQ(codec.Write(holder, out), ImageError::None);
    return out;
}

std::vector<std::uint8_t> Encode(const FormatCodec& codec, const RasterImage& image,
                                 int channels = 3) {
    ImageHolder holder;
    holder.Image = image;
    holder.Params.ChannelCount = channels;
    return Encode(codec, holder);
}

RasterImage GreyImage(int w, int h) {
    RasterImage image;
    image.Allocate(w, h, PixelFormat::ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto v = static_cast<std::uint8_t>(x * 13 + y * 7);
            image.SetPixelRgb(x, y, Rgb{v, v, v});
        }
    return image;
}

std::uint32_t U32be(const std::vector<std::uint8_t>& d, std::size_t at) {
    return (std::uint32_t{d[at]} << 24) | (d[at + 1] << 16) | (d[at + 2] << 8) | d[at + 3];
}

// A lossless code stream written by OpenJPEG directly (the image is consumed), optionally
// in tiles of tileSize × tileSize.
std::vector<std::uint8_t> ReferenceEncode(opj_image_t* image, int tileSize) {
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    p.tcp_numlayers = 1;
    p.tcp_rates[0] = 0;
    p.cp_disto_alloc = 1;
    p.numresolution = 3;
    if (tileSize > 0) {
        p.tile_size_on = OPJ_TRUE;
        p.cp_tdx = p.cp_tdy = tileSize;
    }
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_setup_encoder(codec, &p, image);
    struct Sink {
        std::vector<std::uint8_t> bytes;
    } sink;
    opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_user_data(stream, &sink, nullptr);
    opj_stream_set_write_function(stream, [](void* buf, OPJ_SIZE_T n, void* user) -> OPJ_SIZE_T {
        auto* s = static_cast<Sink*>(user);
        s->bytes.insert(s->bytes.end(), static_cast<std::uint8_t*>(buf),
                        static_cast<std::uint8_t*>(buf) + n);
        return n;
    });
    opj_stream_set_skip_function(stream, [](OPJ_OFF_T n, void* user) -> OPJ_OFF_T {
        static_cast<Sink*>(user)->bytes.resize(static_cast<Sink*>(user)->bytes.size() + n);
        return n;
    });
    const bool ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
                    opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    EXPECT_TRUE(ok);
    return sink.bytes;
}

opj_image_cmptparm_t ComponentParams(int w, int h, int prec, bool sgnd, int sub) {
    opj_image_cmptparm_t parm;
    std::memset(&parm, 0, sizeof parm);
    parm.dx = parm.dy = sub;
    parm.w = (w + sub - 1) / sub;
    parm.h = (h + sub - 1) / sub;
    parm.prec = prec;
    parm.sgnd = sgnd;
    return parm;
}

// 12-bit signed grey samples in 8 × 8 tiles.
std::vector<std::uint8_t> ReferenceTiledGrey(int w, int h, std::vector<std::int32_t>* samples) {
    opj_image_cmptparm_t parm = ComponentParams(w, h, 12, true, 1);
    opj_image_t* image = opj_image_create(1, &parm, OPJ_CLRSPC_GRAY);
    image->x1 = w;
    image->y1 = h;
    samples->resize(static_cast<std::size_t>(w) * h);
    for (int i = 0; i < w * h; ++i)
        (*samples)[i] = image->comps[0].data[i] = (i * 97) % 4096 - 2048;
    return ReferenceEncode(image, 8);
}

// Y at full size, Cb and Cr at half size in both directions, as cameras write code streams.
std::vector<std::uint8_t> ReferenceSubsampledYcc(int w, int h, int y, int cb, int cr) {
    opj_image_cmptparm_t parms[3] = {ComponentParams(w, h, 8, false, 1),
                                     ComponentParams(w, h, 8, false, 2),
                                     ComponentParams(w, h, 8, false, 2)};
    opj_image_t* image = opj_image_create(3, parms, OPJ_CLRSPC_SYCC);
    image->x1 = w;
    image->y1 = h;
    const int values[3] = {y, cb, cr};
    for (int c = 0; c < 3; ++c)
        for (OPJ_UINT32 i = 0; i < image->comps[c].w * image->comps[c].h; ++i)
            image->comps[c].data[i] = values[c];
    return ReferenceEncode(image, 0);
}

// ---- round trips ----

struct RoundTrip {
    const char* name;
    const FormatCodec* codec;
    int width, height;
    int channels;  // declared on the holder before writing
    bool grey, alpha;
    int expectComponents;
};

class Jp2RoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(Jp2RoundTrip, IsLossless) {
    const RoundTrip& c = GetParam();
    RasterImage source =
        c.grey ? GreyImage(c.width, c.height) : test::GradientImage(c.width, c.height);
    if (c.alpha) test::AddAlphaPattern(source);
    const auto bytes = Encode(*c.codec, source, c.channels);
    const bool boxed = c.codec == &kJp2Codec;
    EXPECT_EQ(DetectImageFormat(bytes), boxed ? kTypeJp2 : kTypeJ2k);
    Jp2kHeaderInfo info;
    ASSERT_TRUE(ReadJ2kSizHeader(boxed ? FindJp2CodeStream(bytes) : std::span(bytes), &info));
    EXPECT_EQ(info.Components, static_cast<std::uint32_t>(c.expectComponents));

    ImageHolder back;
    ASSERT_EQ(c.codec->Read(back, bytes, {}), ImageError::None);
    ASSERT_EQ(back.Image.Width(), c.width);
    ASSERT_EQ(back.Image.Height(), c.height);
    EXPECT_EQ(test::FirstColourDifference(back.Image, source), "");
    EXPECT_EQ(back.Image.HasAlpha(), c.alpha);
    if (c.alpha) {
        EXPECT_EQ(back.Image.Alpha(), source.Alpha());
    }
    EXPECT_EQ(back.Params.ChannelCount, c.expectComponents);
    EXPECT_EQ(back.Params.BitsPerChannel, 8);
    EXPECT_EQ(back.Params.ImageWidth, c.width);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Jp2RoundTrip,
    ::testing::Values(RoundTrip{"Rgb", &kJp2Codec, 23, 17, 3, false, false, 3},
                      RoundTrip{"RgbCodeStream", &kJ2kCodec, 23, 17, 3, false, false, 3},
                      RoundTrip{"Grey", &kJp2Codec, 9, 30, 1, true, false, 1},
                      RoundTrip{"GreyDeclaredColourStaysColour", &kJp2Codec, 9, 3, 3, true, false,
                                3},
                      RoundTrip{"RgbAlpha", &kJp2Codec, 12, 12, 4, false, true, 4},
                      RoundTrip{"RgbAlphaCodeStream", &kJ2kCodec, 12, 12, 4, false, true, 4},
                      RoundTrip{"GreyAlpha", &kJp2Codec, 8, 5, 1, true, true, 2},
                      RoundTrip{"OnePixel", &kJp2Codec, 1, 1, 3, false, false, 3},
                      RoundTrip{"OneRow", &kJ2kCodec, 40, 1, 3, false, false, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Jp2Writer, OpaqueAlphaPlaneIsNotStored) {
    RasterImage image = test::GradientImage(6, 6);
    image.AddAlpha(255);
    Jp2kHeaderInfo info;
    const auto bytes = Encode(kJp2Codec, image, 4);
    ASSERT_TRUE(ReadJ2kSizHeader(FindJp2CodeStream(bytes), &info));
    EXPECT_EQ(info.Components, 3u);
}

TEST(Jp2Writer, BlackAndWhiteImageIsWrittenAsGrey) {
    const RasterImage bw = test::CheckerBits(10, 6, 2);
    const auto bytes = Encode(kJ2kCodec, bw, 1);
    ImageHolder back;
    ASSERT_EQ(kJ2kCodec.Read(back, bytes, {}), ImageError::None);
    EXPECT_EQ(test::FirstColourDifference(back.Image, bw), "");
}

TEST(Jp2Writer, AppendsAfterExistingBytes) {
    std::vector<std::uint8_t> out = {1, 2, 3};
    ImageHolder holder;
    holder.Image = test::GradientImage(5, 5);
    ASSERT_EQ(kJp2Codec.Write(holder, out), ImageError::None);
    ASSERT_GT(out.size(), 3u);
    EXPECT_EQ(out[0], 1);
    ImageHolder back;
    ASSERT_EQ(kJp2Codec.Read(back, std::span(out).subspan(3), {}), ImageError::None);
    EXPECT_EQ(back.Image.Width(), 5);
}

TEST(Jp2Writer, EmptyImageFails) {
    ImageHolder holder;
    std::vector<std::uint8_t> out;
    EXPECT_NE(kJp2Codec.Write(holder, out), ImageError::None);
    EXPECT_TRUE(out.empty());
}

// ---- reading what others wrote ----

TEST(Jp2Reader, TiledSigned12BitGreyScalesToEightBits) {
    std::vector<std::int32_t> samples;
    const auto bytes = ReferenceTiledGrey(20, 13, &samples);
    ImageHolder holder;
    ASSERT_EQ(kJ2kCodec.Read(holder, bytes, {}), ImageError::None);
    ASSERT_EQ(holder.Image.Width(), 20);
    EXPECT_EQ(holder.Params.BitsPerChannel, 12);
    EXPECT_EQ(holder.Params.ChannelCount, 1);
    for (int i : {0, 7, 100, 259}) {
        const int expect = (samples[i] + 2048) >> 4;
        EXPECT_EQ(holder.Image.PixelRgb(i % 20, i / 20),
                  (Rgb{static_cast<std::uint8_t>(expect), static_cast<std::uint8_t>(expect),
                       static_cast<std::uint8_t>(expect)}))
            << i;
    }
}

TEST(Jp2Reader, SubsampledChromaIsUpsampledAndConvertedToRgb) {
    const auto bytes = ReferenceSubsampledYcc(9, 7, 100, 128, 200);  // a strong red
    ImageHolder holder;
    ASSERT_EQ(kJ2kCodec.Read(holder, bytes, {}), ImageError::None);
    ASSERT_EQ(holder.Image.Width(), 9);
    ASSERT_EQ(holder.Image.Height(), 7);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{8, 6}, std::pair{4, 3}}) {
        const Rgb px = holder.Image.PixelRgb(x, y);
        EXPECT_NEAR(px.r, 201, 2) << x << "," << y;  // 100 + 1.402 × 72
        EXPECT_NEAR(px.g, 49, 2) << x << "," << y;   // 100 − 0.714 × 72
        EXPECT_NEAR(px.b, 100, 2) << x << "," << y;
    }
}

TEST(Jp2Reader, ResolutionBoxGivesTheDpi) {
    ImageHolder holder;
    holder.Image = test::GradientImage(4, 4);
    auto file = Encode(kJp2Codec, holder);
    // Insert a capture resolution of 3780 pixels per metre (96 dpi) across, 7874 (200) down.
    test::Bytes res;
    res.u32be(8 + 18).str("res ").u32be(18).str("resc");
    res.u16be(7874).u16be(1).u16be(3780).u16be(1).u8(0).u8(0);
    std::size_t at = 0;
    while (at + 8 <= file.size() &&
           std::string(file.begin() + at + 4, file.begin() + at + 8) != "jp2h")
        at += U32be(file, at);
    ASSERT_LT(at + 8, file.size());
    const std::uint32_t length = U32be(file, at);
    file.insert(file.begin() + at + length, res.v.begin(), res.v.end());
    const std::uint32_t grown = length + static_cast<std::uint32_t>(res.size());
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(grown >> (24 - 8 * i));

    ImageHolder back;
    ASSERT_EQ(kJp2Codec.Read(back, file, {}), ImageError::None);
    EXPECT_EQ(back.Params.HorizontalDpi, 96);
    EXPECT_EQ(back.Params.VerticalDpi, 200);
    ImageHolder plain;
    plain.Params.HorizontalDpi = 72;
    ASSERT_EQ(kJ2kCodec.Read(plain, Encode(kJ2kCodec, test::GradientImage(4, 4)), {}),
              ImageError::None);
    EXPECT_EQ(plain.Params.HorizontalDpi, 300);
}

TEST(Jp2Reader, DisplaySizeHintDecodesAtAReducedResolution) {
    const auto bytes = Encode(kJp2Codec, test::GradientImage(64, 48));
    struct Case {
        int hint, width, height;
    } cases[] = {{0, 64, 48}, {100, 64, 48}, {32, 32, 24}, {20, 32, 24}, {16, 16, 12}, {1, 2, 2}};
    for (const Case& c : cases) {
        ImageHolder holder;
        ASSERT_EQ(kJp2Codec.Read(holder, bytes, ReadOptions{c.hint}), ImageError::None) << c.hint;
        EXPECT_EQ(holder.Image.Width(), c.width) << c.hint;
        EXPECT_EQ(holder.Image.Height(), c.height) << c.hint;
        EXPECT_EQ(holder.Params.ImageWidth, 64) << c.hint;
        EXPECT_EQ(holder.Params.ImageHeight, 48) << c.hint;
    }
}

// ---- malformed input ----

std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> bytes, std::size_t at,
                                  std::initializer_list<std::uint8_t> values) {
    for (std::uint8_t v : values) bytes[at++] = v;
    return bytes;
}

TEST(Jp2Reader, MalformedInputFailsCleanly) {
    const auto stream = Encode(kJ2kCodec, test::GradientImage(16, 16));
    const auto file = Encode(kJp2Codec, test::GradientImage(16, 16));
    const std::size_t siz = 4 + 2 + 2;  // SOC, SIZ marker, Lsiz, then Rsiz: Xsiz follows
    std::vector<std::uint8_t> garbage(200);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::vector<std::uint8_t> tailGarbage(stream.begin(), stream.begin() + 60);
    tailGarbage.insert(tailGarbage.end(), garbage.begin(), garbage.end());
    std::vector<std::uint8_t> noCodeStream(file.begin(), file.begin() + 45);
    const std::size_t jp2cAt =
        static_cast<std::size_t>(FindJp2CodeStream(file).data() - file.data());

    struct Case {
        const char* name;
        const FormatCodec* codec;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"Empty", &kJ2kCodec, {}},
        {"MarkersOnly", &kJ2kCodec, {0xFF, 0x4F, 0xFF, 0x51}},
        {"TruncatedHeader", &kJ2kCodec, {stream.begin(), stream.begin() + 30}},
        {"TruncatedData", &kJ2kCodec, {stream.begin(), stream.begin() + stream.size() / 2}},
        {"GarbageAfterHeader", &kJ2kCodec, tailGarbage},
        {"Garbage", &kJ2kCodec, garbage},
        {"HugeWidth", &kJ2kCodec, Patched(stream, siz, {0x7F, 0xFF, 0xFF, 0xFF})},
        {"HugeBoth", &kJ2kCodec,
         Patched(Patched(stream, siz, {0, 1, 0, 0}), siz + 4, {0, 1, 0, 0})},
        {"ZeroWidth", &kJ2kCodec, Patched(stream, siz, {0, 0, 0, 0})},
        {"ZeroTileWidth", &kJ2kCodec, Patched(stream, siz + 16, {0, 0, 0, 0})},
        {"MillionTiles", &kJ2kCodec,
         Patched(Patched(Patched(Patched(stream, siz, {0, 0, 0x10, 0}), siz + 4, {0, 0, 0x10, 0}),
                         siz + 16, {0, 0, 0, 4}),
                 siz + 20, {0, 0, 0, 4})},
        {"LengthDisagreesWithComponents", &kJ2kCodec, Patched(stream, siz + 32, {0, 9})},
        {"FileWithoutCodeStream", &kJp2Codec, noCodeStream},
        {"FileTruncated", &kJp2Codec, {file.begin(), file.end() - stream.size() / 2}},
        {"FileHugeWidth", &kJp2Codec, Patched(file, jp2cAt + siz, {0x7F, 0xFF, 0xFF, 0xFF})},
        {"CodeStreamGivenToFileReader", &kJp2Codec, stream},
        {"FileGivenToCodeStreamReader", &kJ2kCodec, file},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        EXPECT_NE(c.codec->Read(holder, c.bytes, {}), ImageError::None) << c.name;
        EXPECT_NE(c.codec->Read(holder, c.bytes, ReadOptions{16}), ImageError::None) << c.name;
    }
}

// ---- registry ----

TEST(Jp2Registry, RowsUseTheCodecs) {
    EXPECT_EQ(FindFormatByType(kTypeJp2)->Codec, &kJp2Codec);
    EXPECT_EQ(FindFormatByType(kTypeJ2k)->Codec, &kJ2kCodec);
    EXPECT_EQ(FindFormatByExtension("a.J2C")->Type, kTypeJ2k);
}

TEST(Jp2Registry, LoadPictureFromStreamDetectsBothKinds) {
    for (const FormatCodec* codec : {&kJp2Codec, &kJ2kCodec}) {
        const auto bytes = Encode(*codec, test::GradientImage(7, 3));
        ImageHolder holder;
        bool holderFailed = !ImageStatus(LoadPictureFromStream(holder, ByteReader(bytes))).ok();
        EXPECT_FALSE(holderFailed);
        EXPECT_EQ(holder.Params.FileType, codec == &kJp2Codec ? kTypeJp2 : kTypeJ2k);
        EXPECT_EQ(holder.Image.Width(), 7);
    }
}

}  // namespace
}  // namespace gw
