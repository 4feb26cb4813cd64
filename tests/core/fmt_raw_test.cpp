#include "imagefile/formats/raw.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "imagefile/formats/registry.h"
#include "support/picture_bytes.h"

namespace gw {
namespace {

// ---- a small DNG written with libtiff into memory ----

struct MemoryTiff {
    std::vector<std::uint8_t> bytes;
    toff_t pos = 0;
};

tsize_t TiffRead(thandle_t h, tdata_t buf, tsize_t n) {
    auto* m = static_cast<MemoryTiff*>(h);
    const std::size_t k =
        m->pos >= m->bytes.size() ? 0 : std::min<std::size_t>(n, m->bytes.size() - m->pos);
    if (k) std::memcpy(buf, m->bytes.data() + m->pos, k);
    m->pos += k;
    return static_cast<tsize_t>(k);
}
tsize_t TiffWrite(thandle_t h, tdata_t buf, tsize_t n) {
    auto* m = static_cast<MemoryTiff*>(h);
    if (m->bytes.size() < m->pos + n) m->bytes.resize(m->pos + n);
    std::memcpy(m->bytes.data() + m->pos, buf, n);
    m->pos += n;
    return n;
}
toff_t TiffSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<MemoryTiff*>(h);
    m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->bytes.size() + off;
    return m->pos;
}
int TiffClose(thandle_t) {
    return 0;
}
toff_t TiffSize(thandle_t h) {
    return static_cast<MemoryTiff*>(h)->bytes.size();
}
int TiffMap(thandle_t, tdata_t*, toff_t*) {
    return 0;
}
void TiffUnmap(thandle_t, tdata_t, toff_t) {}

// Linear (demosaiced) 16-bit DNG: the left half red, the right half blue. With a preview, the
// first directory holds an 8-bit RGB preview of previewWidth × previewHeight (green) and the
// raw image sits in a sub-directory, as cameras write them.
std::vector<std::uint8_t> LinearDng(int w, int h, int previewWidth = 0, int previewHeight = 0) {
    MemoryTiff m;
    TIFF* tif = TIFFClientOpen("dng", "w", &m, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                               TiffMap, TiffUnmap);
    EXPECT_NE(tif, nullptr);
    static const std::uint8_t kVersion[4] = {1, 4, 0, 0};
    static const std::uint8_t kBackward[4] = {1, 1, 0, 0};
    // XYZ to linear sRGB: the camera sees sRGB primaries.
    static const float kColorMatrix[9] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f,
                                          0.0415f, 0.0557f,  -0.2040f, 1.0570f};
    static const float kNeutral[3] = {1, 1, 1};
    auto common = [&](int width, int height, int bits) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    };
    auto dngTags = [&] {
        TIFFSetField(tif, TIFFTAG_MAKE, "Glyphwright");
        TIFFSetField(tif, TIFFTAG_MODEL, "Test Camera");
        TIFFSetField(tif, TIFFTAG_DNGVERSION, kVersion);
        TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, kBackward);
        TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Glyphwright Test Camera");
        TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, kColorMatrix);
        TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, kNeutral);
        TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
    };
    auto rawImage = [&] {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
        common(w, h, 16);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, 34892);  // linear raw
        std::vector<std::uint16_t> row(static_cast<std::size_t>(w) * 3);
        for (int x = 0; x < w; ++x) {
            const bool left = x < w / 2;
            row[3 * x] = left ? 50000 : 1500;
            row[3 * x + 1] = 1500;
            row[3 * x + 2] = left ? 1500 : 50000;
        }
        for (int y = 0; y < h; ++y) TIFFWriteScanline(tif, row.data(), y, 0);
    };
    if (previewWidth > 0) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
        common(previewWidth, previewHeight, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        dngTags();
        toff_t subIfd = 0;
        TIFFSetField(tif, TIFFTAG_SUBIFD, 1, &subIfd);
        std::vector<std::uint8_t> row(static_cast<std::size_t>(previewWidth) * 3);
        for (int x = 0; x < previewWidth; ++x) row[3 * x + 1] = 200;
        for (int y = 0; y < previewHeight; ++y) TIFFWriteScanline(tif, row.data(), y, 0);
        TIFFWriteDirectory(tif);
        rawImage();
    } else {
        dngTags();
        rawImage();
    }
    TIFFClose(tif);
    return m.bytes;
}

// ---- decoding ----

TEST(CameraRawReader, DecodesALinearDng) {
    const auto dng = LinearDng(40, 24);
    ImageHolder holder;
    ASSERT_EQ(kCameraRawCodec.Read(holder, dng, {}), ImageError::None);
    ASSERT_EQ(holder.Image.Width(), 40);
    ASSERT_EQ(holder.Image.Height(), 24);
    EXPECT_EQ(holder.Image.Format(), PixelFormat::ie24RGB);
    const Rgb left = holder.Image.PixelRgb(5, 12), right = holder.Image.PixelRgb(35, 12);
    EXPECT_GT(left.r, left.b + 100);
    EXPECT_GT(right.b, right.r + 100);
    EXPECT_EQ(holder.Params.ChannelCount, 3);
    EXPECT_EQ(holder.Params.BitsPerChannel, 8);
    EXPECT_EQ(holder.Params.ImageWidth, 40);
    EXPECT_EQ(holder.Params.ImageHeight, 24);
}

TEST(CameraRawReader, DisplaySizeHintTakesTheBigEnoughPreview) {
    const auto dng = LinearDng(64, 48, 32, 24);
    struct Case {
        int hint;
        int width;
        bool green;  // the preview is green, the developed image red and blue
    } cases[] = {{0, 64, false}, {24, 32, true}, {32, 32, true}, {33, 64, false}};
    for (const Case& c : cases) {
        ImageHolder holder;
        ASSERT_EQ(kCameraRawCodec.Read(holder, dng, ReadOptions{c.hint}), ImageError::None)
            << c.hint;
        EXPECT_GE(holder.Image.Width(), c.width == 64 && c.hint > 0 ? 32 : c.width) << c.hint;
        if (c.green) {
            EXPECT_EQ(holder.Image.Width(), c.width) << c.hint;
        }
        const Rgb px = holder.Image.PixelRgb(1, 1);
        EXPECT_EQ(px.g > px.r && px.g > px.b, c.green) << c.hint;
        EXPECT_EQ(holder.Params.ImageWidth, 64) << c.hint;
    }
}

TEST(CameraRawReader, MalformedInputFailsCleanly) {
    const auto dng = LinearDng(40, 24);
    std::vector<std::uint8_t> garbage(4096);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 131 + 17);
    std::vector<std::uint8_t> tiffGarbage = garbage;
    std::memcpy(tiffGarbage.data(), "II*\0\x08\0\0\0", 8);
    const std::vector<std::uint8_t> headerOnly(dng.begin(), dng.begin() + 8);
    std::vector<std::uint8_t> noPixels = dng;
    noPixels.resize(dng.size() / 3);  // the directory comes last: without it nothing is found

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"Empty", {}},
        {"Garbage", garbage},
        {"TiffHeaderThenGarbage", tiffGarbage},
        {"TiffHeaderOnly", headerOnly},
        {"Truncated", noPixels},
        {"CrwSignatureOnly", test::Bytes{}.str("II").u32le(26).str("HEAPCCDR").fill(20, 0).v},
        {"RafSignatureOnly", test::Bytes{}.str("FUJIFILMCCD-RAW ").fill(100, 0xFF).v},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        EXPECT_NE(kCameraRawCodec.Read(holder, c.bytes, {}), ImageError::None) << c.name;
        EXPECT_NE(kCameraRawCodec.Read(holder, c.bytes, ReadOptions{16}), ImageError::None)
            << c.name;
    }
}

// Points the raw image's strip past the end of the file, or at zeros within it.
std::vector<std::uint8_t> WithoutRaster(bool pastTheEnd) {
    auto dng = LinearDng(40, 24);
    ByteReader r(dng);
    r.seek(4);
    const std::uint32_t ifd = r.u32le();
    r.seek(ifd);
    const unsigned entries = r.u16le();
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t at = ifd + 2 + 12 * i;
        if ((dng[at] | dng[at + 1] << 8) != 273) continue;  // StripOffsets
        r.seek(at + 8);
        const std::uint32_t offset = r.u32le();
        if (pastTheEnd) {
            const std::uint32_t beyond = static_cast<std::uint32_t>(dng.size() + 4096);
            for (int k = 0; k < 4; ++k)
                dng[at + 8 + k] = static_cast<std::uint8_t>(beyond >> (8 * k));
        } else {
            std::fill(dng.begin() + offset, dng.begin() + offset + 40 * 24 * 6, 0);
        }
    }
    return dng;
}

TEST(CameraRawReader, MissingRasterFailsInsteadOfDevelopingNothing) {
    for (bool pastTheEnd : {true, false}) {
        ImageHolder holder;
        EXPECT_NE(kCameraRawCodec.Read(holder, WithoutRaster(pastTheEnd), {}), ImageError::None)
            << pastTheEnd;
    }
}

TEST(CameraRawReader, HugeDeclaredSizeFailsBeforeDecoding) {
    auto dng = LinearDng(40, 24);
    // Rewrite the width and height entries of the directory (SHORT or LONG values in place).
    ByteReader r(dng);
    r.seek(4);
    const std::uint32_t ifd = r.u32le();
    r.seek(ifd);
    const unsigned count = r.u16le();
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = ifd + 2 + 12 * i;
        const unsigned tag = dng[at] | (dng[at + 1] << 8);
        if (tag == TIFFTAG_IMAGEWIDTH || tag == TIFFTAG_IMAGELENGTH) {
            dng[at + 8] = 0xF0;
            dng[at + 9] = 0xFF;
        }
    }
    ImageHolder holder;
    EXPECT_NE(kCameraRawCodec.Read(holder, dng, {}), ImageError::None);
}

// ---- registry ----

TEST(CameraRawRegistry, RowUsesTheReaderAndHasNoWriter) {
    const TIEFileFormatInfo* row = FindFormatByExtension("photo.NEF");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->Type, kTypeRaw);
    EXPECT_EQ(row->Codec, &kCameraRawCodec);
    EXPECT_EQ(kCameraRawCodec.Write, nullptr);
}

TEST(CameraRawRegistry, SignaturesOfNonTiffCameraFiles) {
    const std::vector<std::uint8_t> cases[] = {
        test::Bytes{}.str("II").u32le(26).str("HEAPCCDR").v,
        test::Bytes{}.str("FUJIFILMCCD-RAW").v,
        test::Bytes{}.str("FOVb").fill(8, 0).v,
        test::Bytes{}.u8s({0, 'M', 'R', 'M'}).fill(8, 0).v,
        test::Bytes{}.u8s({'I', 'I', 'R', 'O', 8, 0}).fill(8, 0).v,
        test::Bytes{}.u8s({'I', 'I', 'U', 0}).fill(8, 0).v,
    };
    for (const auto& bytes : cases) EXPECT_EQ(DetectImageFormat(bytes), kTypeRaw);
}

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "fmt_raw_" + std::to_string(::getpid()) + "_" + name;
}

TEST(CameraRawRegistry, TiffContentNamedAsCameraRawGoesTheCameraRawWay) {
    const auto dng = LinearDng(40, 24);
    EXPECT_EQ(DetectImageFormat(dng), kTypeTiff);
    const std::string asNef = TempPath("photo.nef"), asTif = TempPath("photo.tif");
    WriteWholeFile(asNef, dng.data(), dng.size());
    WriteWholeFile(asTif, dng.data(), dng.size());
    ImageHolder nef;
    bool nefFailed = !ImageStatus(LoadPictureFromFile(nef, asNef)).ok();
    EXPECT_FALSE(nefFailed);
    EXPECT_EQ(nef.Params.FileType, kTypeRaw);
    EXPECT_EQ(nef.Image.Width(), 40);
    ImageHolder tif;
    // Whether the TIFF reader decodes a linear DNG does not matter here, only the route taken.
    static_cast<void>(LoadPictureFromFile(tif, asTif));
    EXPECT_NE(tif.Params.FileType, kTypeRaw);
    std::remove(asNef.c_str());
    std::remove(asTif.c_str());
}

TEST(CameraRawRegistry, MalformedCameraFileSetsTheFailureFlag) {
    const std::string path = TempPath("broken.cr2");
    const std::uint8_t bytes[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 1, 2, 3};
    WriteWholeFile(path, bytes, sizeof bytes);
    ImageHolder holder;
    bool holderFailed = !ImageStatus(LoadPictureFromFile(holder, path)).ok();
    EXPECT_TRUE(holderFailed);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace gw
