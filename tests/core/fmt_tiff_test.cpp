#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

// ---- fixtures and inspection through libtiff itself, via temporary files ----

std::string TempPath(const char* name) {
    return ::testing::TempDir() + "gw_tiff_" + std::to_string(::getpid()) + "_" + name + ".tif";
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void SaveBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

struct PageDesc {
    std::uint32_t width = 1, height = 1;
    std::uint16_t spp = 3, bps = 8, photometric = PHOTOMETRIC_RGB;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    std::uint16_t planar = PLANARCONFIG_CONTIG;  // separate: rows hold plane after plane
    std::vector<std::uint16_t> extraSamples;
    std::vector<std::uint16_t> map;  // 3 × 2^bps entries, red then green then blue
    float xres = 0, yres = 0;
    std::uint16_t unit = RESUNIT_INCH;
    std::vector<std::uint8_t> rows;  // packed, height rows of equal length
};

std::vector<std::uint8_t> MakeTiff(const std::vector<PageDesc>& pages) {
    std::string path = TempPath("fixture");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    for (const PageDesc& p : pages) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.spp);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bps);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, p.planar);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, p.sampleFormat);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2u);
        if (!p.extraSamples.empty())
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES,
                         static_cast<std::uint16_t>(p.extraSamples.size()), p.extraSamples.data());
        if (!p.map.empty()) {
            std::size_t n = p.map.size() / 3;
            TIFFSetField(tif, TIFFTAG_COLORMAP, p.map.data(), p.map.data() + n,
                         p.map.data() + 2 * n);
        }
        if (p.xres > 0) {
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.xres);
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.yres);
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, p.unit);
        }
        const std::uint16_t planes = p.planar == PLANARCONFIG_SEPARATE ? p.spp : 1;
        const std::size_t rowBytes = p.rows.size() / p.height / planes;
        for (std::uint16_t s = 0; s < planes; ++s)
            for (std::uint32_t y = 0; y < p.height; ++y)
                TIFFWriteScanline(
                    tif, const_cast<std::uint8_t*>(p.rows.data() + rowBytes * (s * p.height + y)),
                    y, s);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    auto bytes = FileBytes(path);
    std::remove(path.c_str());
    return bytes;
}

PageDesc Page(std::uint32_t w, std::uint32_t h, std::uint16_t spp, std::uint16_t bps,
              std::uint16_t photometric, std::vector<std::uint8_t> rows) {
    PageDesc p;
    p.width = w;
    p.height = h;
    p.spp = spp;
    p.bps = bps;
    p.photometric = photometric;
    p.rows = std::move(rows);
    return p;
}

struct Inspected {
    bool ok = false;
    std::uint32_t width = 0, height = 0;
    std::uint16_t spp = 0, bps = 0, photometric = 0, compression = 0, unit = 0;
    float xres = 0;
    bool hasMap = false;
    std::vector<std::uint32_t> abgr;  // top row first
    Rgb At(std::uint32_t x, std::uint32_t y) const {
        std::uint32_t v = abgr[y * width + x];
        return {static_cast<std::uint8_t>(TIFFGetR(v)), static_cast<std::uint8_t>(TIFFGetG(v)),
                static_cast<std::uint8_t>(TIFFGetB(v))};
    }
};

Inspected Inspect(const std::vector<std::uint8_t>& bytes) {
    Inspected r;
    std::string path = TempPath("inspect");
    SaveBytes(path, bytes);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif) {
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &r.width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &r.height);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &r.spp);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &r.bps);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &r.photometric);
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &r.compression);
        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &r.unit);
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &r.xres);
        std::uint16_t *m0, *m1, *m2;
        r.hasMap = TIFFGetField(tif, TIFFTAG_COLORMAP, &m0, &m1, &m2);
        r.abgr.resize(static_cast<std::size_t>(r.width) * r.height);
        r.ok = TIFFReadRGBAImageOriented(tif, r.width, r.height, r.abgr.data(), ORIENTATION_TOPLEFT,
                                         1);
        TIFFClose(tif);
    }
    std::remove(path.c_str());
    return r;
}

// A hand-made little-endian file: one IFD of 9 entries declaring an 8-bit RGB image.
std::vector<std::uint8_t> MinimalTiffHeader(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> b{'I', 'I', 42, 0, 8, 0, 0, 0, 9, 0};
    auto entry = [&b](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        const std::uint8_t e[12] = {static_cast<std::uint8_t>(tag),
                                    static_cast<std::uint8_t>(tag >> 8),
                                    static_cast<std::uint8_t>(type),
                                    0,
                                    1,
                                    0,
                                    0,
                                    0,
                                    static_cast<std::uint8_t>(value),
                                    static_cast<std::uint8_t>(value >> 8),
                                    static_cast<std::uint8_t>(value >> 16),
                                    static_cast<std::uint8_t>(value >> 24)};
        b.insert(b.end(), e, e + 12);
    };
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, 8);
    entry(259, 3, 1);
    entry(262, 3, 2);
    entry(273, 4, 200);
    entry(277, 3, 3);
    entry(278, 4, height);
    const std::uint64_t bytes = std::uint64_t{3} * width * height;
    entry(279, 4, static_cast<std::uint32_t>(bytes));
    b.insert(b.end(), {0, 0, 0, 0});
    b.resize(200 + static_cast<std::size_t>(bytes > 4096 ? 4096 : bytes), 0x55);
    return b;
}

const Rgb kRed{255, 0, 0}, kGreen{0, 160, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};

// ---- reader ----

TEST(TiffRead, RgbWithResolution) {
    PageDesc p = Page(2, 1, 3, 8, PHOTOMETRIC_RGB, {10, 20, 30, 40, 50, 60});
    p.xres = 72;
    p.yres = 118.11f;
    p.unit = RESUNIT_CENTIMETER;
    ImageHolder holder;
    ASSERT_EQ(kTiffCodec.Read(holder, MakeTiff({p}), {}), ImageError::None);
    EXPECT_EQ(holder.Image.Format(), PixelFormat::ie24RGB);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(holder.Image.PixelRgb(1, 0), (Rgb{40, 50, 60}));
    EXPECT_EQ(holder.Params.ChannelCount, 3);
    EXPECT_EQ(holder.Params.BitsPerChannel, 8);
    EXPECT_EQ(holder.Params.HorizontalDpi, 183);
    EXPECT_EQ(holder.Params.VerticalDpi, 300);
    EXPECT_EQ(holder.Params.TIFF_Photometric, FileParams::TiffPhotometric::RGB);
    EXPECT_FALSE(holder.Image.HasAlpha());
}

TEST(TiffRead, Layouts) {
    struct Case {
        const char* name;
        PageDesc page;
        PixelFormat format;
        int channels, bits;
        bool alpha;
        std::vector<Rgb> firstRow;
    };
    PageDesc palette = Page(3, 1, 1, 4, PHOTOMETRIC_PALETTE, {0x01, 0x20});
    palette.map.assign(48, 0);
    palette.map[0] = 65535;           // entry 0 red
    palette.map[16 + 1] = 160 * 257;  // entry 1 green
    palette.map[32 + 2] = 65535;      // entry 2 blue
    PageDesc rgba = Page(2, 1, 4, 8, PHOTOMETRIC_RGB, {200, 100, 50, 128, 1, 2, 3, 255});
    rgba.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    PageDesc lzw = Page(4, 3, 1, 8, PHOTOMETRIC_MINISBLACK, std::vector<std::uint8_t>(12, 77));
    lzw.compression = COMPRESSION_LZW;
    PageDesc fax = Page(10, 2, 1, 1, PHOTOMETRIC_MINISWHITE, {0x80, 0x00, 0x00, 0x40});
    fax.compression = COMPRESSION_CCITTFAX4;
    Case cases[] = {
        {"palette", palette, PixelFormat::ie24RGB, 1, 4, false, {kRed, kGreen, kBlue}},
        {"grey",
         Page(2, 1, 1, 8, PHOTOMETRIC_MINISBLACK, {0, 200}),
         PixelFormat::ie24RGB,
         1,
         8,
         false,
         {{0, 0, 0}, {200, 200, 200}}},
        {"grey lzw", lzw, PixelFormat::ie24RGB, 1, 8, false, {{77, 77, 77}}},
        {"rgba", rgba, PixelFormat::ie24RGB, 4, 8, true, {{200, 100, 50}, {1, 2, 3}}},
        {"rgb16",
         Page(1, 1, 3, 16, PHOTOMETRIC_RGB, {0x00, 0x80, 0xFF, 0xFF, 0x34, 0x12}),
         PixelFormat::ie24RGB,
         3,
         16,
         false,
         {{128, 255, 18}}},
        {"cmyk",
         Page(2, 1, 4, 8, PHOTOMETRIC_SEPARATED, {255, 0, 0, 0, 0, 0, 0, 255}),
         PixelFormat::ie24RGB,
         4,
         8,
         false,
         {{0, 255, 255}, {0, 0, 0}}},
        {"min-is-white bits",
         Page(10, 2, 1, 1, PHOTOMETRIC_MINISWHITE, {0x80, 0x00, 0xFF, 0xC0}),
         PixelFormat::ie1g,
         1,
         1,
         false,
         {{0, 0, 0}, kWhite}},
        {"min-is-black bits",
         Page(10, 1, 1, 1, PHOTOMETRIC_MINISBLACK, {0x80, 0x00}),
         PixelFormat::ie1g,
         1,
         1,
         false,
         {kWhite, {0, 0, 0}}},
        {"fax group 4", fax, PixelFormat::ie1g, 1, 1, false, {{0, 0, 0}, kWhite}},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        ASSERT_EQ(kTiffCodec.Read(holder, MakeTiff({c.page}), {}), ImageError::None) << c.name;
        EXPECT_EQ(holder.Image.Format(), c.format) << c.name;
        EXPECT_EQ(holder.Params.ChannelCount, c.channels) << c.name;
        EXPECT_EQ(holder.Params.BitsPerChannel, c.bits) << c.name;
        EXPECT_EQ(holder.Image.HasAlpha(), c.alpha) << c.name;
        for (std::size_t x = 0; x < c.firstRow.size(); ++x) {
            Rgb got = holder.Image.PixelRgb(static_cast<int>(x), 0);
            EXPECT_NEAR(got.r, c.firstRow[x].r, 1) << c.name << " x=" << x;
            EXPECT_NEAR(got.g, c.firstRow[x].g, 1) << c.name << " x=" << x;
            EXPECT_NEAR(got.b, c.firstRow[x].b, 1) << c.name << " x=" << x;
        }
    }
}

template <typename T>
std::vector<std::uint8_t> Samples(std::initializer_list<T> values) {
    std::vector<std::uint8_t> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), std::data(values),
                bytes.size());  // the machine's order, as libtiff writes
    return bytes;
}

// Layouts read from their samples: exact colours where the RGBA interface rounded them away
// or refused the page.
TEST(TiffRead, SampleLayouts) {
    struct Case {
        const char* name;
        PageDesc page;
        std::vector<Rgb> row;
        std::vector<int> alpha;  // empty: no alpha plane
    };
    PageDesc lowAlpha = Page(2, 1, 4, 8, PHOTOMETRIC_RGB, {200, 100, 50, 3, 9, 250, 77, 1});
    lowAlpha.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    PageDesc greyAlpha = Page(1, 1, 2, 8, PHOTOMETRIC_MINISBLACK, {100, 50});
    greyAlpha.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    PageDesc planar = Page(2, 1, 3, 8, PHOTOMETRIC_RGB, {10, 20, 30, 40, 50, 60});
    planar.planar = PLANARCONFIG_SEPARATE;
    PageDesc planarAlpha =
        Page(1, 1, 4, 16, PHOTOMETRIC_RGB, Samples<std::uint16_t>({0xFFFF, 0x8080, 0, 0x0303}));
    planarAlpha.planar = PLANARCONFIG_SEPARATE;
    planarAlpha.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    PageDesc floats =
        Page(2, 1, 3, 32, PHOTOMETRIC_RGB, Samples<float>({0.0f, 0.5f, 1.0f, 0.25f, 0.75f, 1.0f}));
    floats.sampleFormat = SAMPLEFORMAT_IEEEFP;
    PageDesc wideFloats =
        Page(3, 1, 1, 32, PHOTOMETRIC_MINISBLACK, Samples<float>({0.0f, 500.0f, 1000.0f}));
    wideFloats.sampleFormat = SAMPLEFORMAT_IEEEFP;
    PageDesc signedGrey =
        Page(2, 1, 1, 16, PHOTOMETRIC_MINISBLACK, Samples<std::int16_t>({-32768, 32767}));
    signedGrey.sampleFormat = SAMPLEFORMAT_INT;
    Case cases[] = {
        {"unassociated alpha keeps its colours", lowAlpha, {{200, 100, 50}, {9, 250, 77}}, {3, 1}},
        {"grey and alpha", greyAlpha, {{100, 100, 100}}, {50}},
        {"planar", planar, {{10, 30, 50}, {20, 40, 60}}, {}},
        {"planar 16-bit with alpha", planarAlpha, {{255, 128, 0}}, {3}},
        {"12-bit",
         Page(2, 1, 3, 12, PHOTOMETRIC_RGB, {0xFF, 0xF0, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xF0, 0x00}),
         {{255, 0, 128}, {0, 255, 0}},
         {}},
        {"32-bit integer",
         Page(1, 1, 3, 32, PHOTOMETRIC_RGB, Samples<std::uint32_t>({0xFFFFFFFF, 0, 0x80000000})),
         {{255, 0, 128}},
         {}},
        {"16-bit CMYK",
         Page(1, 1, 4, 16, PHOTOMETRIC_SEPARATED, Samples<std::uint16_t>({0xFFFF, 0, 0x8080, 0})),
         {{0, 255, 127}},
         {}},
        {"float 0 to 1", floats, {{0, 128, 255}, {64, 191, 255}}, {}},
        {"float by its range", wideFloats, {{0, 0, 0}, {128, 128, 128}, {255, 255, 255}}, {}},
        {"signed 16-bit", signedGrey, {{0, 0, 0}, {255, 255, 255}}, {}},
        {"CIELab white", Page(1, 1, 3, 8, PHOTOMETRIC_CIELAB, {255, 0, 0}), {{255, 255, 255}}, {}},
        // sRGB red in D50 L*a*b*: 54.29, 80.81, 69.89 (a* and b* signed bytes).
        {"CIELab red", Page(1, 1, 3, 8, PHOTOMETRIC_CIELAB, {138, 81, 70}), {{255, 0, 0}}, {}},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        ASSERT_EQ(kTiffCodec.Read(holder, MakeTiff({c.page}), {}), ImageError::None) << c.name;
        ASSERT_EQ(holder.Image.HasAlpha(), !c.alpha.empty()) << c.name;
        for (std::size_t x = 0; x < c.row.size(); ++x) {
            EXPECT_EQ(holder.Image.PixelRgb(static_cast<int>(x), 0), c.row[x])
                << c.name << " x=" << x;
            if (!c.alpha.empty()) {
                EXPECT_EQ(holder.Image.AlphaRow(0)[x], c.alpha[x]) << c.name;
            }
        }
    }
}

// Compressed strips may expand only so far: a picture the data cannot fill is refused before
// it is allocated.
TEST(TiffRead, CompressedDataMustBeAbleToFillThePicture) {
    std::vector<std::uint8_t> rows(64 * 64, 0);
    PageDesc page = Page(64, 64, 1, 8, PHOTOMETRIC_MINISBLACK, rows);
    page.compression = COMPRESSION_ADOBE_DEFLATE;
    const auto good = MakeTiff({page});
    ImageHolder holder;
    ASSERT_EQ(kTiffCodec.Read(holder, good, {}), ImageError::None);
    // Widen the picture to 30000 pixels in place: 1.9 MB from a few hundred bytes.
    auto huge = good;
    const std::uint32_t ifd = huge[4] | huge[5] << 8 | huge[6] << 16 | huge[7] << 24;
    const unsigned entries = huge[ifd] | huge[ifd + 1] << 8;
    for (unsigned i = 0; i < entries; ++i) {
        std::uint8_t* e = huge.data() + ifd + 2 + 12 * i;
        const unsigned tag = e[0] | e[1] << 8;
        if (tag == TIFFTAG_IMAGEWIDTH) {
            e[8] = 30000 & 0xFF;
            e[9] = 30000 >> 8;
        }
    }
    EXPECT_EQ(kTiffCodec.Read(holder, huge, {}), ImageError::Truncated);
}

TEST(TiffRead, SettingsOfTheFileAreRecorded) {
    PageDesc palette = Page(2, 1, 1, 8, PHOTOMETRIC_PALETTE, {0, 1});
    palette.map.assign(3 * 256, 0);
    palette.map[1] = 255;  // an 8-bit value stored in the 16-bit table
    palette.compression = COMPRESSION_PACKBITS;
    ImageHolder holder;
    ASSERT_EQ(kTiffCodec.Read(holder, MakeTiff({palette}), {}), ImageError::None);
    EXPECT_EQ(holder.Params.PaletteCount, 256);
    EXPECT_EQ(holder.Params.Palette[1], (Rgb{255, 0, 0}));
    EXPECT_EQ(holder.Params.TIFF_Compression, FileParams::TiffCompression::PackBits);
    EXPECT_EQ(holder.Params.TIFF_Photometric, FileParams::TiffPhotometric::Palette);
    EXPECT_EQ(holder.Params.HorizontalDpi, 300);
}

TEST(TiffRead, AlphaComesOutWithStraightColours) {
    PageDesc rgba = Page(1, 1, 4, 8, PHOTOMETRIC_RGB, {100, 50, 20, 128});
    rgba.extraSamples = {EXTRASAMPLE_ASSOCALPHA};  // colours already multiplied by alpha
    ImageHolder holder;
    ASSERT_EQ(kTiffCodec.Read(holder, MakeTiff({rgba}), {}), ImageError::None);
    ASSERT_TRUE(holder.Image.HasAlpha());
    EXPECT_EQ(holder.Image.AlphaRow(0)[0], 128);
    Rgb c = holder.Image.PixelRgb(0, 0);
    EXPECT_NEAR(c.r, 199, 1);
    EXPECT_NEAR(c.g, 100, 1);
    EXPECT_NEAR(c.b, 40, 1);
}

TEST(TiffRead, ImageIndexPicksThePage) {
    auto tiff = MakeTiff({Page(1, 1, 3, 8, PHOTOMETRIC_RGB, {1, 2, 3}),
                          Page(2, 1, 3, 8, PHOTOMETRIC_RGB, {4, 5, 6, 7, 8, 9})});
    ImageHolder holder;
    ASSERT_EQ(kTiffCodec.Read(holder, tiff, {}), ImageError::None);
    EXPECT_EQ(holder.Image.Width(), 1);
    holder.Params.TIFF_ImageIndex = 1;
    ASSERT_EQ(kTiffCodec.Read(holder, tiff, {}), ImageError::None);
    EXPECT_EQ(holder.Image.Width(), 2);
    EXPECT_EQ(holder.Image.PixelRgb(1, 0), (Rgb{7, 8, 9}));
    holder.Params.TIFF_ImageIndex = 2;
    EXPECT_NE(kTiffCodec.Read(holder, tiff, {}), ImageError::None);
}

TEST(TiffRead, MalformedFilesFailCleanly) {
    std::vector<std::uint8_t> rows(64 * 64 * 3, 9);
    auto good = MakeTiff({Page(64, 64, 3, 8, PHOTOMETRIC_RGB, rows)});
    ASSERT_TRUE(kTiffCodec.Probe(MinimalTiffHeader(4, 4)));
    ImageHolder check;
    ASSERT_EQ(kTiffCodec.Read(check, MinimalTiffHeader(4, 4), {}), ImageError::None);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"header only", {'I', 'I', 42, 0, 8, 0, 0, 0}},
        {"directory past the end", {'I', 'I', 42, 0, 0xF0, 0xFF, 0, 0, 0, 0}},
        {"cut in the strips", {good.begin(), good.begin() + 4000}},
        {"huge dimensions", MinimalTiffHeader(100000, 100000)},
        {"large picture without its data", MinimalTiffHeader(11585, 11585)},
        {"zero width", MinimalTiffHeader(0, 4)},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        EXPECT_NE(kTiffCodec.Read(holder, c.bytes, {}), ImageError::None) << c.name;
    }
}

// ---- writer ----

TEST(TiffWrite, TrueColourIsUncompressedRgbAndDropsAlpha) {
    ImageHolder holder;
    holder.Image = test::GradientImage(7, 5);
    test::AddAlphaPattern(holder.Image);
    holder.Params.ChannelCount = 4;
    holder.Params.HorizontalDpi = holder.Params.VerticalDpi = 96;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kTiffCodec.Write(holder, out), ImageError::None);
    Inspected r = Inspect(out);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.spp, 3);
    EXPECT_EQ(r.bps, 8);
    EXPECT_EQ(r.photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(r.compression, COMPRESSION_NONE);
    EXPECT_EQ(r.unit, RESUNIT_INCH);
    EXPECT_FLOAT_EQ(r.xres, 96);
    for (std::uint32_t y = 0; y < 5; ++y)
        for (std::uint32_t x = 0; x < 7; ++x) EXPECT_EQ(r.At(x, y), holder.Image.PixelRgb(x, y));
}

TEST(TiffWrite, DeclaredDepthPicksTheLayout) {
    struct Case {
        const char* name;
        int channels, bits;
        RasterImage image;
        std::uint16_t photometric, bps;
    } cases[] = {
        {"black and white", 1, 1, test::ColourCycleImage(9, 3, {kWhite, kRed, {0, 0, 0}}),
         PHOTOMETRIC_MINISBLACK, 1},
        {"16 colours", 1, 4, test::ColourCycleImage(9, 3, {kRed, kGreen, kBlue}),
         PHOTOMETRIC_PALETTE, 4},
        {"256 colours", 1, 8, test::ColourCycleImage(9, 3, {kRed, kGreen, kBlue}),
         PHOTOMETRIC_PALETTE, 8},
        {"2 bits", 1, 2, test::ColourCycleImage(9, 3, {kRed, kGreen}), PHOTOMETRIC_PALETTE, 4},
        {"grey 8", 1, 8, test::ColourCycleImage(9, 3, {{3, 3, 3}, {200, 200, 200}}),
         PHOTOMETRIC_MINISBLACK, 8},
        {"grey 4", 1, 4, test::ColourCycleImage(9, 3, {{0, 0, 0}, {17, 17, 17}, kWhite}),
         PHOTOMETRIC_MINISBLACK, 4},
        {"grey levels a nibble cannot hold", 1, 4,
         test::ColourCycleImage(9, 3, {{3, 3, 3}, {200, 200, 200}}), PHOTOMETRIC_PALETTE, 4},
        {"16-bit grey declared", 1, 16, test::ColourCycleImage(9, 3, {{3, 3, 3}}), PHOTOMETRIC_RGB,
         8},
        {"bits declared on colour", 3, 8, test::CheckerBits(9, 3, 1), PHOTOMETRIC_RGB, 8},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        holder.Image = c.image;
        holder.Params.ChannelCount = c.channels;
        holder.Params.BitsPerChannel = c.bits;
        std::vector<std::uint8_t> out;
        ASSERT_EQ(kTiffCodec.Write(holder, out), ImageError::None) << c.name;
        Inspected r = Inspect(out);
        ASSERT_TRUE(r.ok) << c.name;
        EXPECT_EQ(r.photometric, c.photometric) << c.name;
        EXPECT_EQ(r.bps, c.bps) << c.name;
        EXPECT_EQ(r.hasMap, c.photometric == PHOTOMETRIC_PALETTE) << c.name;
        RasterImage expected = c.image;
        if (c.bits == 1) expected = test::ColourCycleImage(9, 3, {kWhite, {0, 0, 0}, {0, 0, 0}});
        for (std::uint32_t y = 0; y < 3; ++y)
            for (std::uint32_t x = 0; x < 9; ++x)
                EXPECT_EQ(r.At(x, y), expected.PixelRgb(x, y)) << c.name << " " << x << "," << y;
    }
}

TEST(TiffWrite, CompressionKeptFromAReadIsUsedAgain) {
    ImageHolder holder;
    holder.Image = test::GradientImage(16, 16);
    holder.Params.TIFF_Compression = FileParams::TiffCompression::LZW;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kTiffCodec.Write(holder, out), ImageError::None);
    EXPECT_EQ(Inspect(out).compression, COMPRESSION_LZW);
    // Fax coding only suits black and white; colour falls back to no compression.
    holder.Params.TIFF_Compression = FileParams::TiffCompression::CCITT4;
    out.clear();
    ASSERT_EQ(kTiffCodec.Write(holder, out), ImageError::None);
    EXPECT_EQ(Inspect(out).compression, COMPRESSION_NONE);
    holder.Params.ChannelCount = holder.Params.BitsPerChannel = 1;
    out.clear();
    ASSERT_EQ(kTiffCodec.Write(holder, out), ImageError::None);
    Inspected r = Inspect(out);
    EXPECT_EQ(r.compression, COMPRESSION_CCITTFAX4);
    EXPECT_TRUE(r.ok);
}

TEST(TiffWrite, EmptyImageIsNotWritten) {
    ImageHolder holder;
    std::vector<std::uint8_t> out;
    EXPECT_NE(kTiffCodec.Write(holder, out), ImageError::None);
}

struct DepthCase {
    const char* name;
    int channels, bits;
    bool blackWhite;
    int backChannels;
};

class TiffRoundTrip : public ::testing::TestWithParam<DepthCase> {};

TEST_P(TiffRoundTrip, KeepsPixelsAndDepth) {
    const DepthCase& c = GetParam();
    ImageHolder holder;
    holder.Image = c.blackWhite ? test::CheckerBits(11, 5, 2)
                                : test::ColourCycleImage(11, 5, {kRed, kBlue, {3, 4, 5}});
    if (c.channels == 4) test::AddAlphaPattern(holder.Image);
    holder.Params.ChannelCount = c.channels;
    holder.Params.BitsPerChannel = c.bits;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(kTiffCodec.Write(holder, out), ImageError::None);
    ImageHolder back;
    ASSERT_EQ(kTiffCodec.Read(back, out, {}), ImageError::None);
    EXPECT_EQ(back.Params.ChannelCount, c.backChannels);
    EXPECT_EQ(back.Params.BitsPerChannel, c.bits);
    EXPECT_FALSE(back.Image.HasAlpha());
    EXPECT_EQ(back.Image.Format(), c.blackWhite ? PixelFormat::ie1g : PixelFormat::ie24RGB);
    EXPECT_EQ(test::FirstColourDifference(back.Image, holder.Image), "");
}

INSTANTIATE_TEST_SUITE_P(Depths, TiffRoundTrip,
                         ::testing::Values(DepthCase{"Bits1", 1, 1, true, 1},
                                           DepthCase{"Palette4", 1, 4, false, 1},
                                           DepthCase{"Palette8", 1, 8, false, 1},
                                           DepthCase{"Rgb24", 3, 8, false, 3},
                                           DepthCase{"Rgba32", 4, 8, false, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gw
