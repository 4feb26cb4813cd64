#include "imagefile/formats/dicom.h"

#include <gtest/gtest.h>

#include <dcmtk/config/osconfig.h>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcostrmb.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcrleerg.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/dcmjpls/djencode.h>

#include <cstring>
#include <string>
#include <vector>

#include "imagefile/formats/jp2.h"
#include "imagefile/formats/registry.h"
#include "support/picture_bytes.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

// A secondary-capture dataset built with DCMTK and written as a file with preamble.
struct DicomFixture {
    Uint16 rows = 4, columns = 6, samples = 1, bits = 8;
    Uint16 stored = 0;  // bits stored when fewer than allocated
    const char* photometric = "MONOCHROME2";
    std::vector<Uint16> pixels;    // samples, interleaved; bytes when bits is 8
    const char* window = nullptr;  // "center\width"
    const char* spacing = nullptr;
    E_TransferSyntax xfer = EXS_LittleEndianExplicit;
    bool fileFormat = true;  // preamble and meta header, else the bare dataset
};

std::vector<std::uint8_t> BuildDicom(const DicomFixture& s) {
    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    char uid[100];
    ds->putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
    ds->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid));
    ds->putAndInsertUint16(DCM_Rows, s.rows);
    ds->putAndInsertUint16(DCM_Columns, s.columns);
    ds->putAndInsertUint16(DCM_SamplesPerPixel, s.samples);
    ds->putAndInsertString(DCM_PhotometricInterpretation, s.photometric);
    ds->putAndInsertUint16(DCM_BitsAllocated, s.bits);
    const Uint16 stored = s.stored ? s.stored : s.bits;
    ds->putAndInsertUint16(DCM_BitsStored, stored);
    ds->putAndInsertUint16(DCM_HighBit, stored - 1);
    ds->putAndInsertUint16(DCM_PixelRepresentation, 0);
    if (s.samples == 3) ds->putAndInsertUint16(DCM_PlanarConfiguration, 0);
    if (s.window) {
        std::string w(s.window);
        const std::size_t cut = w.find('\\');
        ds->putAndInsertString(DCM_WindowCenter, w.substr(0, cut).c_str());
        ds->putAndInsertString(DCM_WindowWidth, w.substr(cut + 1).c_str());
    }
    if (s.spacing) ds->putAndInsertString(DCM_PixelSpacing, s.spacing);
    if (s.bits == 8) {
        std::vector<Uint8> bytes(s.pixels.begin(), s.pixels.end());
        ds->putAndInsertUint8Array(DCM_PixelData, bytes.data(), bytes.size());
    } else {
        ds->putAndInsertUint16Array(DCM_PixelData, s.pixels.data(), s.pixels.size());
    }
    if (DcmXfer(s.xfer).isEncapsulated()) {
        // DCMTK's own encoders make the compressed frames.
        static const bool registered = [] {
            DJEncoderRegistration::registerCodecs();
            DJLSEncoderRegistration::registerCodecs();
            DcmRLEEncoderRegistration::registerCodecs();
            return true;
        }();
        (void)registered;
        const OFCondition compressed = ds->chooseRepresentation(s.xfer, nullptr);
        EXPECT_TRUE(compressed.good() && ds->canWriteXfer(s.xfer)) << compressed.text();
    }
    std::vector<char> buffer(1 << 20);
    DcmOutputBufferStream out(buffer.data(), buffer.size());
    DcmObject& object = s.fileFormat ? static_cast<DcmObject&>(file) : *ds;
    object.transferInit();
    const OFCondition written = object.write(out, s.xfer, EET_ExplicitLength, nullptr);
    object.transferEnd();
    EXPECT_TRUE(written.good()) << written.text();
    void* data = nullptr;
    offile_off_t length = 0;
    out.flushBuffer(data, length);
    const auto* begin = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(begin, begin + length);
}

std::vector<Uint16> Ramp(std::size_t n, unsigned step, unsigned offset = 0) {
    std::vector<Uint16> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<Uint16>(offset + i * step);
    return v;
}

Rgb Grey(unsigned v) {
    const auto b = static_cast<std::uint8_t>(v);
    return Rgb{b, b, b};
}

// ---- decoding ----

TEST(DicomReader, EightBitGreyIsScaledByItsOwnRange) {
    DicomFixture s;
    s.pixels = Ramp(24, 10, 20);  // 20 .. 250
    const auto bytes = BuildDicom(s);
    EXPECT_EQ(DetectImageFormat(bytes), kTypeDicom);
    ImageHolder holder;
    ASSERT_EQ(kDicomCodec.Read(holder, bytes, {}), ImageError::None);
    ASSERT_EQ(holder.Image.Width(), 6);
    ASSERT_EQ(holder.Image.Height(), 4);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), Grey(0));
    EXPECT_EQ(holder.Image.PixelRgb(5, 3), Grey(255));
    const Rgb mid = holder.Image.PixelRgb(3, 1);
    EXPECT_NEAR(mid.r, 255 * 9 / 23, 2);
    EXPECT_EQ(holder.Params.ChannelCount, 1);
    EXPECT_EQ(holder.Params.BitsPerChannel, 8);
    EXPECT_EQ(holder.Params.HorizontalDpi, 300);
}

TEST(DicomReader, SixteenBitGreyUsesTheStoredWindow) {
    DicomFixture s;
    s.bits = 16;
    s.rows = 2;
    s.columns = 3;
    s.pixels = {0, 1000, 1500, 2000, 3000, 60000};
    s.window = "2000\\2000";  // 1000 .. 3000 maps to black .. white
    s.spacing = "0.5\\0.25";  // rows 0.5 mm apart, columns 0.25 mm
    ImageHolder holder;
    ASSERT_EQ(kDicomCodec.Read(holder, BuildDicom(s), {}), ImageError::None);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), Grey(0));
    EXPECT_LE(holder.Image.PixelRgb(1, 0).r, 1);
    EXPECT_NEAR(holder.Image.PixelRgb(0, 1).r, 128, 2);
    EXPECT_EQ(holder.Image.PixelRgb(1, 1), Grey(255));
    EXPECT_EQ(holder.Image.PixelRgb(2, 1), Grey(255));
    EXPECT_EQ(holder.Params.VerticalDpi, 51);
    EXPECT_EQ(holder.Params.HorizontalDpi, 102);
}

TEST(DicomReader, SixteenBitGreyWithoutWindowUsesMinMax) {
    DicomFixture s;
    s.bits = 16;
    s.rows = 1;
    s.columns = 3;
    s.pixels = {4000, 5000, 6000};
    ImageHolder holder;
    ASSERT_EQ(kDicomCodec.Read(holder, BuildDicom(s), {}), ImageError::None);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), Grey(0));
    EXPECT_NEAR(holder.Image.PixelRgb(1, 0).r, 128, 2);
    EXPECT_EQ(holder.Image.PixelRgb(2, 0), Grey(255));
}

TEST(DicomReader, MonochromeOneIsShownInverted) {
    DicomFixture s;
    s.photometric = "MONOCHROME1";
    s.rows = 1;
    s.columns = 2;
    s.pixels = {0, 255};
    ImageHolder holder;
    ASSERT_EQ(kDicomCodec.Read(holder, BuildDicom(s), {}), ImageError::None);
    EXPECT_EQ(holder.Image.PixelRgb(0, 0), Grey(255));
    EXPECT_EQ(holder.Image.PixelRgb(1, 0), Grey(0));
}

TEST(DicomReader, RgbKeepsItsColours) {
    DicomFixture s;
    s.samples = 3;
    s.photometric = "RGB";
    s.rows = 2;
    s.columns = 2;
    s.pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    for (E_TransferSyntax xfer : {EXS_LittleEndianExplicit, EXS_LittleEndianImplicit}) {
        s.xfer = xfer;
        ImageHolder holder;
        ASSERT_EQ(kDicomCodec.Read(holder, BuildDicom(s), {}), ImageError::None);
        EXPECT_EQ(holder.Image.PixelRgb(0, 0), (Rgb{255, 0, 0}));
        EXPECT_EQ(holder.Image.PixelRgb(1, 0), (Rgb{0, 255, 0}));
        EXPECT_EQ(holder.Image.PixelRgb(0, 1), (Rgb{0, 0, 255}));
        EXPECT_EQ(holder.Image.PixelRgb(1, 1), (Rgb{10, 20, 30}));
        EXPECT_EQ(holder.Params.ChannelCount, 3);
    }
}

TEST(DicomReader, BareDatasetWithoutPreambleIsRead) {
    DicomFixture s;
    s.fileFormat = false;
    s.xfer = EXS_LittleEndianImplicit;
    s.pixels = Ramp(24, 10);
    const auto bytes = BuildDicom(s);
    EXPECT_EQ(DetectImageFormat(bytes), kTypeUnknown);  // only the extension names it
    ImageHolder holder;
    ASSERT_EQ(kDicomCodec.Read(holder, bytes, {}), ImageError::None);
    EXPECT_EQ(holder.Image.Width(), 6);
    EXPECT_EQ(holder.Image.PixelRgb(5, 3), Grey(255));
}

// ---- compressed and sub-sampled pixel data ----

TEST(DicomReader, CompressedFramesReadAsTheirUncompressedData) {
    DicomFixture grey12;
    grey12.rows = grey12.columns = 16;
    grey12.bits = 16;
    grey12.stored = 12;
    grey12.window = "2000\\3000";
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) grey12.pixels.push_back(static_cast<Uint16>(x * 200 + y * 40));
    DicomFixture rgb;
    rgb.rows = rgb.columns = 16;
    rgb.samples = 3;
    rgb.photometric = "RGB";
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (int c = 0; c < 3; ++c)
                rgb.pixels.push_back(static_cast<Uint16>(x * 6 + y * 3 + c * 60));
    DicomFixture grey8;
    grey8.rows = grey8.columns = 16;
    grey8.pixels = Ramp(256, 1);
    struct Case {
        const char* name;
        DicomFixture fixture;
        E_TransferSyntax xfer;
        int tolerance;
    } cases[] = {
        {"RLE colour", rgb, EXS_RLELossless, 0},
        {"JPEG lossless 12-bit", grey12, EXS_JPEGProcess14SV1, 0},
        {"JPEG extended 12-bit", grey12, EXS_JPEGProcess2_4, 3},
        {"JPEG baseline colour", rgb, EXS_JPEGProcess1, 12},
        {"JPEG-LS lossless", grey8, EXS_JPEGLSLossless, 0},
    };
    for (Case& c : cases) {
        ImageHolder plain, compressed;
        ASSERT_EQ(kDicomCodec.Read(plain, BuildDicom(c.fixture), {}), ImageError::None) << c.name;
        c.fixture.xfer = c.xfer;
        ASSERT_EQ(kDicomCodec.Read(compressed, BuildDicom(c.fixture), {}), ImageError::None)
            << c.name;
        ASSERT_EQ(compressed.Image.Width(), 16) << c.name;
        EXPECT_LE(test::MaxChannelDifference(compressed.Image, plain.Image), c.tolerance)
            << c.name << " " << test::FirstColourDifference(compressed.Image, plain.Image);
    }
}

TEST(DicomReader, YbrFull422IsReadAtTwoSamplesAPixel) {
    DicomFixture s;
    s.rows = 2;
    s.columns = 4;
    s.samples = 3;
    s.photometric = "YBR_FULL_422";
    // Y0 Y1 Cb Cr for each pair of pixels: greys, then a red pair.
    s.pixels = {10, 200, 128, 128, 90, 90, 128, 128, 76, 76, 85, 255, 0, 255, 128, 128};
    ImageHolder holder;
    ASSERT_EQ(kDicomCodec.Read(holder, BuildDicom(s), {}), ImageError::None);
    // DCMTK's conversion may round a channel of a grey one level apart.
    auto nearGrey = [&](int x, int y, int v) {
        const Rgb c = holder.Image.PixelRgb(x, y);
        return std::abs(c.r - v) <= 1 && std::abs(c.g - v) <= 1 && std::abs(c.b - v) <= 1;
    };
    EXPECT_TRUE(nearGrey(0, 0, 10));
    EXPECT_TRUE(nearGrey(1, 0, 200));
    EXPECT_TRUE(nearGrey(3, 0, 90));
    const Rgb red = holder.Image.PixelRgb(0, 1);
    EXPECT_GE(red.r, 250);
    EXPECT_LE(red.g, 4);
    EXPECT_LE(red.b, 4);
    EXPECT_TRUE(nearGrey(3, 1, 255));
}

TEST(DicomReader, Jpeg2000FrameIsTakenOutAndDecoded) {
    ImageHolder source;
    source.Image = test::GradientImage(12, 8);
    std::vector<std::uint8_t> codeStream;
    ASSERT_EQ(kJ2kCodec.Write(source, codeStream), ImageError::None);
    ImageHolder direct;
    ASSERT_EQ(kJ2kCodec.Read(direct, codeStream, {}), ImageError::None);

    DicomFixture s;
    s.rows = 8;
    s.columns = 12;
    s.samples = 3;
    s.photometric = "RGB";
    s.pixels.assign(12 * 8 * 3, 0);
    DcmFileFormat file;
    {
        const auto plain = BuildDicom(s);
        DcmInputBufferStream in;
        in.setBuffer(plain.data(), static_cast<offile_off_t>(plain.size()));
        in.setEos();
        file.transferInit();
        ASSERT_TRUE(file.read(in).good());
        file.transferEnd();
    }
    // The frame split over two fragments, as encoders may write it.
    auto* sequence = new DcmPixelSequence(DCM_PixelSequenceTag);
    sequence->insert(new DcmPixelItem(DCM_PixelItemTag));
    const std::size_t half = codeStream.size() / 2 & ~std::size_t{1};
    for (auto [from, to] : {std::pair{std::size_t{0}, half}, std::pair{half, codeStream.size()}}) {
        auto* item = new DcmPixelItem(DCM_PixelItemTag);
        item->putUint8Array(codeStream.data() + from, static_cast<unsigned long>(to - from));
        sequence->insert(item);
    }
    auto* pixelData = new DcmPixelData(DCM_PixelData);
    pixelData->putOriginalRepresentation(EXS_JPEG2000LosslessOnly, nullptr, sequence);
    file.getDataset()->insert(pixelData, true);
    std::vector<char> buffer(1 << 20);
    DcmOutputBufferStream out(buffer.data(), buffer.size());
    file.transferInit();
    ASSERT_TRUE(file.write(out, EXS_JPEG2000LosslessOnly, EET_ExplicitLength, nullptr).good());
    file.transferEnd();
    void* data = nullptr;
    offile_off_t length = 0;
    out.flushBuffer(data, length);
    const auto* begin = static_cast<const std::uint8_t*>(data);
    const std::vector<std::uint8_t> bytes(begin, begin + length);

    ImageHolder holder;
    ASSERT_EQ(kDicomCodec.Read(holder, bytes, {}), ImageError::None);
    EXPECT_EQ(test::MaxChannelDifference(holder.Image, direct.Image), 0)
        << test::FirstColourDifference(holder.Image, direct.Image);
}

// ---- malformed input ----

// The byte offset of a tag's value in an explicit little-endian file (short VR form).
std::size_t ValueOffset(const std::vector<std::uint8_t>& bytes, Uint16 group, Uint16 element) {
    const std::uint8_t key[4] = {
        static_cast<std::uint8_t>(group), static_cast<std::uint8_t>(group >> 8),
        static_cast<std::uint8_t>(element), static_cast<std::uint8_t>(element >> 8)};
    for (std::size_t i = 132; i + 8 <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, key, 4) == 0) return i + 8;
    ADD_FAILURE() << "tag not found";
    return 0;
}

TEST(DicomReader, MalformedInputFailsCleanly) {
    DicomFixture s;
    s.pixels = Ramp(24, 10);
    const auto good = BuildDicom(s);
    auto patched = [&](Uint16 group, Uint16 element, std::initializer_list<std::uint8_t> v) {
        auto b = good;
        std::size_t at = ValueOffset(b, group, element);
        for (std::uint8_t x : v) b[at++] = x;
        return b;
    };
    // The pixel data element's length (explicit VR OB: 4 bytes after two reserved bytes).
    auto hugePixelLength = good;
    const std::size_t pixelTag = ValueOffset(good, 0x7FE0, 0x0010) - 8;
    for (int i = 0; i < 4; ++i) hugePixelLength[pixelTag + 8 + i] = i == 3 ? 0x7F : 0xFF;
    std::vector<std::uint8_t> garbage(600);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 71 + 3);
    std::memcpy(garbage.data() + 128, "DICM", 4);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"Empty", {}},
        {"PreambleOnly", test::Bytes{}.fill(128, 0).str("DICM").v},
        {"GarbageAfterPreamble", garbage},
        {"TruncatedInMetaHeader", {good.begin(), good.begin() + 150}},
        {"TruncatedPixels", {good.begin(), good.end() - 10}},
        {"HugeRows", patched(0x0028, 0x0010, {0xFF, 0xFF})},
        {"HugeRowsAndColumns",
         [&] {
             auto b = patched(0x0028, 0x0010, {0xFF, 0xFF});
             std::size_t at = ValueOffset(b, 0x0028, 0x0011);
             b[at] = b[at + 1] = 0xFF;
             return b;
         }()},
        {"ZeroColumns", patched(0x0028, 0x0011, {0, 0})},
        {"TwoSamples", patched(0x0028, 0x0002, {2, 0})},
        {"HugePixelLength", hugePixelLength},
    };
    for (const Case& c : cases) {
        ImageHolder holder;
        EXPECT_NE(kDicomCodec.Read(holder, c.bytes, {}), ImageError::None) << c.name;
    }
}

// ---- registry ----

TEST(DicomRegistry, RowUsesTheReader) {
    const TIEFileFormatInfo* row = FindFormatByExtension("scan.dcm");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->Codec, &kDicomCodec);
    EXPECT_EQ(kDicomCodec.Write, nullptr);
    DicomFixture s;
    s.pixels = Ramp(24, 3);
    const auto bytes = BuildDicom(s);
    ImageHolder holder;
    bool holderFailed = !ImageStatus(LoadPictureFromStream(holder, ByteReader(bytes))).ok();
    EXPECT_FALSE(holderFailed);
    EXPECT_EQ(holder.Params.FileType, kTypeDicom);
}

}  // namespace
}  // namespace gw
