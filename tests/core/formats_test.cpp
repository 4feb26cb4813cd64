#include "base/paths.h"
#include "imagefile/formats/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "support/picture_bytes.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

std::vector<std::uint8_t> Encode(const FormatCodec& codec, RasterImage image, int channels = 3,
                                 int bits = 8) {
    return test::EncodeWith(codec, std::move(image), channels, bits);
}

// A one-image icon stream as the shell extraction hands it over: planes and bit count 0, the
// depth in the colour-count byte, a 2 × 2 32-bit bitmap with its mask.
std::vector<std::uint8_t> OneImageIcon() {
    test::Bytes b;
    b.u16le(0).u16le(1).u16le(1);
    b.u8s({2, 2, 32, 0}).u16le(0).u16le(0).u32le(40 + 16 + 8).u32le(22);
    b.u32le(40)
        .u32le(2)
        .u32le(4)
        .u16le(1)
        .u16le(32)
        .u32le(0)
        .u32le(0)
        .u32le(0)
        .u32le(0)
        .u32le(0)
        .u32le(0);
    b.u8s({255, 0, 0, 255, 0, 255, 0, 128});  // bottom row: blue, half-transparent green
    b.u8s({0, 0, 255, 255, 9, 9, 9, 0});      // top row: red, clear
    b.fill(8, 0);
    return b.v;
}

// Formats of the optional libraries: built in when CMake found them.
#ifdef GW_HAVE_DCMTK
constexpr bool kHaveDcmtk = true;
#else
constexpr bool kHaveDcmtk = false;
#endif
#ifdef GW_HAVE_OPENJPEG
constexpr bool kHaveOpenJpeg = true;
#else
constexpr bool kHaveOpenJpeg = false;
#endif
#ifdef GW_HAVE_LIBRAW
constexpr bool kHaveLibRaw = true;
#else
constexpr bool kHaveLibRaw = false;
#endif
#ifdef GW_HAVE_JXRLIB
constexpr bool kHaveJxrlib = true;
#else
constexpr bool kHaveJxrlib = false;
#endif

// The type content detection gives for a format of an optional library.
constexpr int IfBuiltIn(bool built, int type) {
    return built ? type : kTypeUnknown;
}

std::string TempFile(const std::string& name) {
    return ::testing::TempDir() + "gw_formats_" + std::to_string(::getpid()) + "_" + name;
}

void Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    WriteWholeFile(path, bytes.data(), bytes.size());
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// ---- registry ----

TEST(ImageFormatRegistry, RowsInOrderWithTheirFlags) {
    struct Row {
        int type;
        const char* name;
        const char* extensions;
        bool read, write;
    };
    const Row expected[] = {
        {1, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", true, true},
        {2, "CompuServe Bitmap", "GIF", true, true},
        {3, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", true, true},
        {4, "PaintBrush", "PCX", true, true},
        {5, "Windows Bitmap", "BMP;DIB;RLE", true, true},
        {21, "Raw Bitmap", "", true, true},
        {6, "Windows Icon", "ICO", true, true},
        {7, "Windows Cursor", "CUR", true, false},
        {8, "Portable Network Graphics", "PNG", true, true},
        {28, "DICOM Bitmap", "DCM;DIC;DICOM;V2", true, false},
        {9, "Windows Metafile", "WMF", true, false},
        {10, "Enhanced Windows Metafile", "EMF", true, false},
        {11, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true, true},
        {12, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", true, true},
        {16, "Wireless Bitmap", "WBMP", true, true},
        {13, "JPEG2000", "JP2", true, true},
        {14, "JPEG2000 Code Stream", "J2K;JPC;J2C", true, true},
        {17, "PostScript Level 2", "PS;EPS", false, true},
        {18, "Adobe PDF", "PDF", false, true},
        {19, "Multipage PCX", "DCX", true, true},
        {20, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", true, false},
        {24, "Photoshop PSD", "PSD", true, true},
        {25, "Vectorial objects", "IEV", true, true},
        {26, "Layers", "LYR", true, true},
        {27, "Layers and objects", "ALL", true, true},
        {29, "Microsoft HD Photo", "WDP;HDP", true, true},  // with jxrlib only
    };
    const auto& rows = ImageFormatRegistry();
    ASSERT_EQ(rows.size(), std::size(expected) - (kHaveJxrlib ? 0 : 1));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].Type, expected[i].type) << i;
        EXPECT_EQ(rows[i].Name, expected[i].name) << i;
        EXPECT_EQ(rows[i].Extensions, expected[i].extensions) << i;
        EXPECT_EQ(rows[i].CanRead, expected[i].read) << i;
        EXPECT_EQ(rows[i].CanWrite, expected[i].write) << i;
    }
}

TEST(ImageFormatRegistry, HdPhotoRowOnlyWithACodec) {
    EXPECT_EQ(FindFormatByType(kTypeHdPhoto) != nullptr, kHaveJxrlib);
    EXPECT_EQ(BuildImageFormatRegistry(nullptr).size(), 25u);
    const FormatCodec hdPhoto{};
    auto rows = BuildImageFormatRegistry(&hdPhoto);
    ASSERT_EQ(rows.size(), 26u);
    EXPECT_EQ(rows.back().Type, 29);
    EXPECT_EQ(rows.back().Name, "Microsoft HD Photo");
    EXPECT_EQ(rows.back().Extensions, "WDP;HDP");
    EXPECT_TRUE(rows.back().CanRead && rows.back().CanWrite);
}

TEST(ImageFormatRegistry, ExtensionLookup) {
    struct Case {
        const char* path;
        int type;
    } cases[] = {
        {"a.TIF", 1},      {"/x/y.Jpeg", 3},     {"dir.png/file.gif", 2},
        {"photo.nef", 20}, {"/x/.png", 8},       {"a.b.pcx", 4},
        {"noext", 0},      {"dir.png/noext", 0}, {"trailing.", 0},
        {"a.avi", 0},      {"a\\b:c.ico", 6},    {"x.pix", 11},
        {"scan.v2", 28},
    };
    for (const Case& c : cases) {
        const TIEFileFormatInfo* row = FindFormatByExtension(c.path);
        EXPECT_EQ(row ? row->Type : 0, c.type) << c.path;
    }
    EXPECT_EQ(FileExtension("/a/B.JpEg"), "jpeg");
    EXPECT_EQ(FileExtension("/a.b/c"), "");
}

TEST(IsKnownImageFile, FollowsTheReaderFlag) {
    for (const char* known : {"a.CUR", "b.Jpeg", "c.wmf", "d.emf", "e.crw", "f.ico", "g.dcm",
                              "h.psd", "/missing/folder/i.png"})
        EXPECT_TRUE(IsKnownImageFile(known)) << known;
    for (const char* unknown : {"a.pdf", "b.ps", "c.eps", "d.avi", "noextension", "e.txt", "f."})
        EXPECT_FALSE(IsKnownImageFile(unknown)) << unknown;
}

TEST(FileParams, WriterSettingsStartValues) {
    const FileParams p;
    EXPECT_EQ(p.ChannelCount, 3);
    EXPECT_EQ(p.BitsPerChannel, 8);
    EXPECT_EQ(p.HorizontalDpi, 300);
    EXPECT_EQ(p.VerticalDpi, 300);
    EXPECT_EQ(p.TIFF_ImageIndex, 0);
    EXPECT_EQ(p.JPEG_Quality, 80);
    EXPECT_EQ(p.JPEG_ColorSpace, FileParams::JpegColorSpace::YCbCr);
    EXPECT_EQ(p.JPEG_ChromaH, 2);
    EXPECT_EQ(p.JPEG_ChromaV, 2);
    EXPECT_EQ(p.JPEG_DCTMethod, FileParams::JpegDct::Integer);
    EXPECT_FALSE(p.JPEG_OptimalHuffman);
    EXPECT_EQ(p.JPEG_Smooth, 0);
    EXPECT_FALSE(p.JPEG_Progressive);
    EXPECT_FALSE(p.PNG_Interlaced);
    EXPECT_EQ(p.PNG_Filter, 0);
    EXPECT_EQ(p.PNG_Compression, 5);
    EXPECT_EQ(p.PNG_Background, (Rgb{0, 0, 0}));
    EXPECT_EQ(p.TIFF_Compression, FileParams::TiffCompression::None);
    EXPECT_EQ(p.TIFF_Photometric, FileParams::TiffPhotometric::RGB);
    EXPECT_EQ(p.GIF_Version, "GIF89a");
    EXPECT_FALSE(p.GIF_Interlaced);
    EXPECT_EQ(p.GIF_Disposal, 2);
    EXPECT_EQ(p.GIF_Delay, 0);
}

// ---- detection ----

std::vector<std::uint8_t> DicomStart() {
    return test::Bytes().fill(128, 0).str("DICM").fill(16, 0).v;
}
std::vector<std::uint8_t> Jp2Signature() {
    return test::Bytes().u8s({0, 0, 0, 12, 'j', 'P', ' ', ' ', 13, 10, 0x87, 10}).v;
}
std::vector<std::uint8_t> J2kStart() {
    return test::Bytes().u8s({0xFF, 0x4F, 0xFF, 0x51, 0, 0x2F}).v;
}
std::vector<std::uint8_t> CrwStart() {
    return test::Bytes().str("II").u32le(26).str("HEAPCCDR").fill(8, 0).v;
}

TEST(DetectImageFormat, EveryFormatFromItsContent) {
    test::Bytes cursor;
    cursor.v = OneImageIcon();
    cursor.v[2] = 2;
    test::Bytes emf;
    emf.u32le(1).u32le(108).fill(32, 0).str(" EMF").fill(64, 0);
    test::Bytes wmf;
    wmf.u16le(1).u16le(9).u16le(0x300).fill(12, 0);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int type;
    } cases[] = {
        {"JFIF text", test::Bytes().str("JFIF").fill(8, 0).v, 3},
        {"GIF", Encode(kGifCodec, test::GradientImage(4, 4)), 2},
        {"PCX text", test::Bytes().str("PCX2").fill(8, 0).v, 4},
        {"PCX", Encode(kPcxCodec, test::GradientImage(4, 4)), 4},
        {"PCX version 6 is not PCX", test::Bytes().u8s({10, 6}).fill(10, 0).v, 0},
        {"BMP", Encode(kBmpCodec, test::GradientImage(4, 4)), 5},
        {"TIFF text", test::Bytes().str("TIFF").fill(8, 0).v, 1},
        {"TIFF", Encode(kTiffCodec, test::GradientImage(4, 4)), 1},
        {"big-endian TIFF", test::Bytes().u8s({'M', 'M', 0, 42, 0, 0, 0, 8}).v, 1},
        {"PNG", Encode(kPngCodec, test::GradientImage(4, 4)), 8},
        {"PNG signature alone", test::Bytes().u8s({137, 80, 78, 71, 13, 10, 26, 10}).v, 0},
        {"DICOM", DicomStart(), IfBuiltIn(kHaveDcmtk, 28)},
        {"icon", OneImageIcon(), 6},
        {"cursor", cursor.v, 7},
        {"Targa", Encode(kTgaCodec, test::GradientImage(4, 4)), 11},
        {"portable pixmap", test::Bytes().str("P6\n1 1\n255\n").u8s({1, 2, 3}).v, 12},
        {"JPEG 2000 file", Jp2Signature(), IfBuiltIn(kHaveOpenJpeg, 13)},
        {"JPEG 2000 code stream", J2kStart(), IfBuiltIn(kHaveOpenJpeg, 14)},
        {"video", test::Bytes().str("RIFF").u32le(100).str("AVI LIST").v, 15},
        {"DCX", Encode(kDcxCodec, test::GradientImage(4, 4)), 19},
        {"placeable metafile", test::Bytes().u8s({0xD7, 0xCD, 0xC6, 0x9A}).fill(18, 0).v, 9},
        {"metafile", wmf.v, 9},
        {"enhanced metafile", emf.v, 10},
        {"JPEG", Encode(kJpegCodec, test::GradientImage(4, 4)), 3},
        {"Canon CRW", CrwStart(), IfBuiltIn(kHaveLibRaw, 20)},
        {"Fuji RAF", test::Bytes().str("FUJIFILMCCD-RAW ").v, IfBuiltIn(kHaveLibRaw, 20)},
        {"empty", {}, 0},
        {"text", test::Bytes().str("hello, world").v, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(DetectImageFormat(c.bytes), c.type) << c.name;
    if (kPsdCodec.Probe) {
        auto psd = Encode(kPsdCodec, test::GradientImage(4, 4));
        EXPECT_EQ(DetectImageFormat(psd), 24);
    }
}

// Content that more than one test claims: the earlier test in the fixed order decides.
TEST(DetectImageFormat, AmbiguousContentGoesToTheEarlierTest) {
    // Any stream with "DICM" at offset 128 passes the DICOM test.
    const auto withDicm = [](std::vector<std::uint8_t> head) {
        head.resize(128, 0);
        test::Bytes b;
        b.raw(head).str("DICM").fill(16, 0);
        return b.v;
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int type;
    } cases[] = {
        {"JFIF text before DICOM", withDicm(test::Bytes().str("JFIF").v), kTypeJpeg},
        {"GIF text before DICOM", withDicm(test::Bytes().str("GIF").v), kTypeGif},
        {"PCX text before DICOM", withDicm(test::Bytes().str("PCX").v), kTypePcx},
        {"BM before DICOM", withDicm(test::Bytes().str("BM").v), kTypeBmp},
        {"PCX byte before DICOM", withDicm(test::Bytes().u8s({10, 5}).v), kTypePcx},
        {"TIFF text before DICOM", withDicm(test::Bytes().str("TIFF").v), kTypeTiff},
        {"TIFF byte order before DICOM", withDicm(test::Bytes().u8s({'I', 'I', 42, 0}).v),
         kTypeTiff},
        {"PNG before DICOM", withDicm(Encode(kPngCodec, test::GradientImage(2, 2))), kTypePng},
        {"DICOM before icon", withDicm(OneImageIcon()), kTypeDicom},
        {"DICOM before video", withDicm(test::Bytes().str("RIFF").u32le(100).str("AVI ").v),
         kTypeDicom},
        {"DICOM before JPEG marker", withDicm(test::Bytes().u8s({0xFF, 0xD8, 0xFF}).v), kTypeDicom},
        {"DICOM before camera raw", withDicm(test::Bytes().str("FUJIFILMCCD-RAW ").v), kTypeDicom},
    };
    for (const Case& c : cases) EXPECT_EQ(DetectImageFormat(c.bytes), c.type) << c.name;
}

// The order of the content tests, as the table states it.
TEST(DetectImageFormat, TestsRunInTheTablesOrder) {
    std::vector<int> order;
    std::vector<const TIEFileFormatInfo*> probed;
    const FormatCodec hdPhoto{};
    const auto table = BuildFormatTable(&hdPhoto);
    for (const TIEFileFormatInfo& row : table)
        if (row.Step != kNeverDetected && row.Probe) probed.push_back(&row);
    std::stable_sort(probed.begin(), probed.end(),
                     [](const auto* a, const auto* b) { return a->Step < b->Step; });
    for (const TIEFileFormatInfo* row : probed) order.push_back(row->Type);
    EXPECT_EQ(order,
              (std::vector<int>{29, 1, 8, 28, 6, 7, 11, 12, 13, 14, 15, 19, 9, 10, 24, 3, 20}));
    std::vector<int> signatures;
    for (const TIEFileFormatInfo& row : table)
        if (row.Signature) signatures.push_back(row.Type);
    EXPECT_EQ(signatures, (std::vector<int>{1, 2, 3, 4, 5}));
}

// A format whose library the build left out keeps its row, without a codec: its files are not
// recognised from content, and loading one fails as for a format without a reader.
struct OptionalFormatCase {
    const char* name;
    int type;
    bool built;
    const char* file;
    std::vector<std::uint8_t> (*bytes)();
};

class OptionalFormat : public ::testing::TestWithParam<OptionalFormatCase> {};

TEST_P(OptionalFormat, RowStaysAndReadsOnlyWithItsLibrary) {
    const OptionalFormatCase& c = GetParam();
    const TIEFileFormatInfo* row = FindFormatByType(c.type);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->CanRead);
    EXPECT_EQ(row->Codec != nullptr, c.built);
    EXPECT_TRUE(IsKnownImageFile(c.file));
    const std::string path = TempFile(c.file);
    Save(path, c.bytes());
    ImageHolder holder;
    const ImageStatus status = LoadPictureFromFile(holder, path);
    // With the library, a bare header is a damaged file; without it there is no reader.
    EXPECT_NE(status.Code, ImageError::None);
    EXPECT_EQ(status.Code == ImageError::NoReader, !c.built) << static_cast<int>(status.Code);
    EXPECT_EQ(LoadImageFile(holder, path).Code == ImageError::NoReader, !c.built);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, OptionalFormat,
    ::testing::Values(
        OptionalFormatCase{"DicomThroughDcmtk", kTypeDicom, kHaveDcmtk, "scan.dcm", DicomStart},
        OptionalFormatCase{"Jpeg2000ThroughOpenJpeg", kTypeJp2, kHaveOpenJpeg, "photo.jp2",
                           Jp2Signature},
        OptionalFormatCase{"CodeStreamThroughOpenJpeg", kTypeJ2k, kHaveOpenJpeg, "photo.j2k",
                           J2kStart},
        OptionalFormatCase{"CameraRawThroughLibRaw", kTypeRaw, kHaveLibRaw, "shot.crw", CrwStart}),
    [](const ::testing::TestParamInfo<OptionalFormatCase>& info) { return info.param.name; });

TEST(DetectImageFormat, OneImageIconIsNeverTargaOrJpeg) {
    const auto ico = OneImageIcon();
    ASSERT_TRUE(kTgaCodec.Probe);
    EXPECT_EQ(DetectImageFormat(ico), kTypeIco);
    // 22 bytes are too few for an icon; nothing else claims the stream either.
    EXPECT_NE(DetectImageFormat(std::span(ico).first(22)), kTypeIco);
}

TEST(DetectImageFormat, LooksFromTheStreamPositionAndLeavesItThere) {
    test::Bytes b;
    b.str("junk");
    b.raw(OneImageIcon());
    ByteReader stream(b.v);
    EXPECT_EQ(DetectImageFormat(stream), 0);
    stream.seek(4);
    EXPECT_EQ(DetectImageFormat(stream), kTypeIco);
    EXPECT_EQ(stream.pos(), 4u);
    EXPECT_TRUE(stream.ok());
}

// ---- loading by extension ----

TEST(LoadImageFile, ReadsWithTheReaderTheExtensionNames) {
    const std::string path = TempFile("load.png");
    Save(path, Encode(kPngCodec, test::GradientImage(5, 4)));
    ImageHolder holder;

    bool holderFailed = !ImageStatus(LoadImageFile(holder, path)).ok();
    EXPECT_FALSE(holderFailed);
    EXPECT_EQ(holder.Image.Width(), 5);
    EXPECT_EQ(holder.Params.FileType, kTypePng);
    EXPECT_EQ(holder.Params.FileName, path);
    std::remove(path.c_str());
}

TEST(LoadImageFile, ContentPlaysNoPartInTheChoice) {
    const std::string asBmp = TempFile("png.bmp"), asPng = TempFile("jpeg.png");
    Save(asBmp, Encode(kPngCodec, test::GradientImage(5, 4)));
    Save(asPng, Encode(kJpegCodec, test::GradientImage(5, 4)));
    for (const std::string& path : {asBmp, asPng}) {
        ImageHolder holder;
        bool holderFailed = !ImageStatus(LoadImageFile(holder, path)).ok();
        EXPECT_TRUE(holderFailed) << path;
        std::remove(path.c_str());
    }
}

TEST(LoadImageFile, NoReaderFailsAndKeepsTheImage) {
    for (const char* name : {"file.pdf", "file.txt", "noextension"}) {
        ImageHolder holder;
        holder.Image = test::GradientImage(3, 3);
        holder.Params.HorizontalDpi = 72;
        // None of them exists: no reader, so no open.
        EXPECT_EQ(LoadImageFile(holder, TempFile(name)).Code, ImageError::NoReader) << name;
        EXPECT_EQ(holder.Image.Width(), 3) << name;
        EXPECT_EQ(holder.Params.HorizontalDpi, 72) << name;
    }
}

TEST(LoadImageFile, MissingFileIsCannotOpen) {
    const std::string path = TempFile("missing.png");
    ImageHolder holder;
    const ImageStatus status = LoadImageFile(holder, path);
    EXPECT_EQ(status.Code, ImageError::CannotOpenFile);
    EXPECT_EQ(ImageStatusText(status, path),
              "Cannot open file \"" + path + "\". No such file or directory");
}

// ---- saving by extension ----

TEST(SaveImageFile, ExtensionPicksTheWriter) {
    struct Case {
        const char* name;
        int type;
        bool built = true;  // false: its library was left out, so there is no writer
    } cases[] = {{"a.png", kTypePng},
                 {"b.JPG", kTypeJpeg},
                 {"c.jpeg", kTypeJpeg},
                 {"d.gif", kTypeGif},
                 {"e.tif", kTypeTiff},
                 {"f.fax", kTypeTiff},
                 {"g.xif", kTypeTiff},
                 {"h.bmp", kTypeBmp},
                 {"i.tga", kTypeTga},
                 {"j.win", kTypeTga},
                 {"k.pcx", kTypePcx},
                 {"l.ppm", kTypePnm},
                 {"m.jp2", kTypeJp2, kHaveOpenJpeg},
                 {"n.J2K", kTypeJ2k, kHaveOpenJpeg},
                 {"o.jpc", kTypeJ2k, kHaveOpenJpeg}};
    for (const Case& c : cases) {
        const std::string path = TempFile(c.name);
        ImageHolder holder;
        holder.Image = test::GradientImage(6, 5);
        if (!c.built) {
            EXPECT_EQ(SaveImageFile(holder, path).Code, ImageError::NoWriter) << c.name;
            EXPECT_FALSE(FileExists(path)) << c.name;
            continue;
        }
        bool holderFailed = !ImageStatus(SaveImageFile(holder, path)).ok();
        ASSERT_FALSE(holderFailed) << c.name;
        auto bytes = ReadWholeFile(path);
        EXPECT_EQ(DetectImageFormat(bytes), c.type) << c.name;
        std::remove(path.c_str());
    }
}

TEST(SaveImageFile, PortableExtensionNamesTheKind) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.pbm", "P4"}, {"b.PGM", "P5"}, {"c.ppm", "P6"}, {"d.pxm", "P6"}};
    for (const auto& [name, magic] : cases) {
        const std::string path = TempFile(name);
        ImageHolder holder;
        holder.Image = test::GradientImage(6, 5);
        bool holderFailed = !ImageStatus(SaveImageFile(holder, path)).ok();
        ASSERT_FALSE(holderFailed) << name;
        auto bytes = ReadWholeFile(path);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 2), magic) << name;
        std::remove(path.c_str());
    }
}

TEST(SaveImageFile, NoWriterSetsTheFailureFlagAndCreatesNothing) {
    for (const char* name : {"a.cur", "f.hdp", "g.avi", "h.txt", "noextension", "i.dcm", "j.nef"}) {
        if (kHaveJxrlib && std::string(name) == "f.hdp") continue;  // HD Photo has its writer
        const std::string path = TempFile(name);
        ImageHolder holder;
        holder.Image = test::GradientImage(2, 2);
        bool holderFailed = !ImageStatus(SaveImageFile(holder, path)).ok();
        EXPECT_TRUE(holderFailed) << name;
        EXPECT_FALSE(Exists(path)) << name;
    }
}

TEST(SaveImageFile, EmptyImageSetsTheFailureFlag) {
    const std::string path = TempFile("empty.png");
    ImageHolder holder;
    bool holderFailed = !ImageStatus(SaveImageFile(holder, path)).ok();
    EXPECT_TRUE(holderFailed);
    EXPECT_FALSE(Exists(path));
}

TEST(SaveImageFile, UncreatableFileIsCannotCreate) {
    const std::string path = TempFile("no-such-folder") + "/x.png";
    ImageHolder holder;
    holder.Image = test::GradientImage(2, 2);
    const ImageStatus status = SaveImageFile(holder, path);
    EXPECT_EQ(status.Code, ImageError::CannotCreateFile);
    EXPECT_EQ(ImageStatusText(status, path),
              "Cannot create file \"" + path + "\". No such file or directory");
}

TEST(SaveImageFile, AlphaKeptOnlyWhereTheFormatStoresIt) {
    struct Case {
        const char* name;
        bool alphaBack;
        int bmpBits;
    } cases[] = {{"a.png", true, 0},
                 {"b.gif", true, 0},
                 {"c.jpg", false, 0},
                 {"d.tif", false, 0},
                 {"e.bmp", false, 32}};
    for (const Case& c : cases) {
        const std::string path = TempFile(c.name);
        ImageHolder holder;
        holder.Image = test::GradientImage(6, 5);
        test::AddAlphaPattern(holder.Image);
        holder.Params.ChannelCount = 4;
        bool holderFailed = !ImageStatus(SaveImageFile(holder, path)).ok();
        ASSERT_FALSE(holderFailed) << c.name;
        if (c.bmpBits) {
            auto bytes = ReadWholeFile(path);
            ASSERT_GT(bytes.size(), 54u);
            EXPECT_EQ(bytes[28], c.bmpBits);
            EXPECT_EQ(bytes[54 + 3], 255);  // alpha byte of the first stored pixel
        }
        ImageHolder back;
        bool backFailed = !ImageStatus(LoadImageFile(back, path)).ok();
        ASSERT_FALSE(backFailed) << c.name;
        EXPECT_EQ(back.Image.HasAlpha() && !back.Image.AlphaAllOpaque(), c.alphaBack) << c.name;
        std::remove(path.c_str());
    }
}

// ---- catalogue pictures ----

TEST(LoadPictureFromFile, ContentDecidesOverTheName) {
    const std::string path = TempFile("really-jpeg.png");
    Save(path, Encode(kJpegCodec, test::GradientImage(8, 8)));
    ImageHolder holder;
    bool holderFailed = !ImageStatus(LoadPictureFromFile(holder, path)).ok();
    EXPECT_FALSE(holderFailed);
    EXPECT_EQ(holder.Params.FileType, kTypeJpeg);
    // Export loads the same file through its extension's reader, which fails.
    ImageHolder exported;
    bool exportedFailed = !ImageStatus(LoadImageFile(exported, path)).ok();
    EXPECT_TRUE(exportedFailed);
    std::remove(path.c_str());
}

TEST(LoadPictureFromFile, UnrecognisedContentFallsBackToTheExtension) {
    // Wireless bitmaps have no content test; their name leads to their reader.
    const auto wbmp = Encode(kWbmpCodec, test::CheckerBits(8, 4, 2));
    ASSERT_EQ(DetectImageFormat(wbmp), kTypeUnknown);
    const std::string path = TempFile("picture.wbmp");
    Save(path, wbmp);
    ImageHolder holder;
    bool holderFailed = !ImageStatus(LoadPictureFromFile(holder, path)).ok();
    EXPECT_FALSE(holderFailed);
    EXPECT_EQ(holder.Params.FileType, kTypeWbmp);
    EXPECT_EQ(holder.Image.Width(), 8);
    std::remove(path.c_str());

    EXPECT_EQ(LoadPictureFromFile(holder, TempFile("missing.png")).Code,
              ImageError::CannotOpenFile);
    const std::string folder = TempFile("folder.png");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    EXPECT_EQ(LoadPictureFromFile(holder, folder), ImageStatus(ImageError::CannotOpenFile, EISDIR));
    ::rmdir(folder.c_str());
    // No reader: nothing to open.
    EXPECT_EQ(LoadPictureFromFile(holder, TempFile("missing.pdf")).Code, ImageError::NoReader);
}

TEST(LoadPictureFromFile, CameraRawNamesWithTiffContentCountAsCameraRaw) {
    const auto tiff = Encode(kTiffCodec, test::GradientImage(4, 4));
    const std::string raw = TempFile("shot.nef"), tif = TempFile("shot.tif");
    Save(raw, tiff);
    Save(tif, tiff);
    ImageHolder holder;
    bool holderFailed = !ImageStatus(LoadPictureFromFile(holder, raw)).ok();
    EXPECT_TRUE(holderFailed);  // no camera-raw reader yet
    holderFailed = !ImageStatus(LoadPictureFromFile(holder, tif)).ok();
    EXPECT_FALSE(holderFailed);
    EXPECT_EQ(holder.Params.FileType, kTypeTiff);
    std::remove(raw.c_str());
    std::remove(tif.c_str());
}

TEST(LoadPictureFromFile, FirstImageAtReducedScaleWithTheFileSizeRecorded) {
    const std::string path = TempFile("big.jpg");
    Save(path, Encode(kJpegCodec, test::GradientImage(400, 300)));
    ImageHolder holder;
    holder.Params.TIFF_ImageIndex = 3;
    ReadOptions options;
    options.DisplaySizeHint = 80;
    bool holderFailed = !ImageStatus(LoadPictureFromFile(holder, path, options)).ok();
    ASSERT_FALSE(holderFailed);
    EXPECT_EQ(holder.Image.Width(), 100);
    EXPECT_EQ(holder.Image.Height(), 75);
    EXPECT_EQ(holder.Params.ImageWidth, 400);
    EXPECT_EQ(holder.Params.ImageHeight, 300);
    EXPECT_EQ(holder.Params.TIFF_ImageIndex, 0);
    std::remove(path.c_str());
}

TEST(LoadPictureFromStream, ReadsTheDetectedFormat) {
    const auto ico = OneImageIcon();
    ImageHolder holder;
    bool holderFailed = !ImageStatus(LoadPictureFromStream(holder, ByteReader(ico))).ok();
    ASSERT_FALSE(holderFailed);
    EXPECT_EQ(holder.Image.Width(), 2);
    EXPECT_EQ(holder.Image.Height(), 2);
    ASSERT_TRUE(holder.Image.HasAlpha());
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(holder.Image.AlphaRow(0)[1], 0);
    EXPECT_EQ(holder.Image.AlphaRow(1)[1], 128);

    const auto png = Encode(kPngCodec, test::GradientImage(3, 2));
    holderFailed = !ImageStatus(LoadPictureFromStream(holder, ByteReader(png))).ok();
    EXPECT_FALSE(holderFailed);
    EXPECT_EQ(holder.Params.FileType, kTypePng);
    EXPECT_EQ(holder.Params.FileName, "");

    const auto text = test::Bytes().str("nothing to see").v;
    holderFailed = !ImageStatus(LoadPictureFromStream(holder, ByteReader(text))).ok();
    EXPECT_TRUE(holderFailed);
}

// ---- holder parameters ----

TEST(FileParamsOperations, SelectImageIndexSetsEveryFormat) {
    ImageHolder holder;
    SelectImageIndex(holder, 4);
    const FileParams& p = holder.Params;
    for (int v : {p.ICO_ImageIndex, p.CUR_ImageIndex, p.TIFF_ImageIndex, p.GIF_ImageIndex,
                  p.DCX_ImageIndex, p.PSD_ImageIndex, p.RAW_ImageIndex, p.Generic_ImageIndex})
        EXPECT_EQ(v, 4);
}

TEST(FileParamsOperations, CopyFileParamsCopiesThePalette) {
    ImageHolder source, target;
    source.Params.Palette = {{1, 2, 3}, {4, 5, 6}};
    source.Params.PaletteCount = 2;
    source.Params.JPEG_Quality = 33;
    source.Params.BitsPerChannel = 4;
    source.Params.ChannelCount = 1;
    CopyFileParams(target, source);
    source.Params.Palette[0] = {9, 9, 9};
    EXPECT_EQ(target.Params.Palette, (std::vector<Rgb>{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_EQ(target.Params.PaletteCount, 2);
    EXPECT_EQ(target.Params.JPEG_Quality, 33);
    EXPECT_EQ(target.Params.BitsPerChannel, 4);
    EXPECT_TRUE(target.Image.Empty());
}

}  // namespace
}  // namespace gw
