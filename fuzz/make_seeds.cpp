// Writes small seed inputs for the fuzz harnesses into OUT/<harness>, built from the test
// fixture builders and the picture writers.
// Usage: make_seeds OUT

#include <dcmtk/config/osconfig.h>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcostrmb.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "imagefile/formats/registry.h"
#include "imagefile/raster.h"
#include "support/icobuilder.h"
#include "support/metafile_builder.h"
#include "support/pebuilder.h"
#include "support/picture_bytes.h"
#include "support/picture_fixtures.h"
#include "support/png_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string gOut;
int gWritten = 0;

void Save(const std::string& dir, const std::string& name, const Bytes& bytes,
          const Bytes& prefix = {}) {
    Bytes all = prefix;
    all.insert(all.end(), bytes.begin(), bytes.end());
    gw::pefix::WriteBytes(gOut + "/" + dir + "/" + name, all);
    ++gWritten;
}

// The harness of a format's own reader, or nullptr when only detection and loading reach it.
const char* OwnHarness(int type) {
    switch (type) {
        case gw::kTypePcx:
            return "pcx";
        case gw::kTypeDcx:
            return "dcx";
        case gw::kTypeBmp:
            return "bmp";
        case gw::kTypeTga:
            return "tga";
        case gw::kTypePnm:
            return "pnm";
        case gw::kTypeWbmp:
            return "wbmp";
        case gw::kTypePsd:
            return "psd";
        case gw::kTypeWmf:
            return "wmf";
        case gw::kTypeEmf:
            return "emf";
        case gw::kTypeDicom:
            return "dicom";
        case gw::kTypeJ2k:
        case gw::kTypeJp2:
            return "jp2";
        default:
            return nullptr;
    }
}

// A picture in the detecting loader's seeds and its own reader's, at both size hints (the
// first byte's top bit).
void SavePicture(const std::string& name, int type, const Bytes& bytes) {
    Save("formats", name, bytes, {0});
    Save("formats", name + "_hint", bytes, {0x80});
    if (const char* own = OwnHarness(type)) {
        const std::uint8_t boxed = type == gw::kTypeJp2 ? 1 : 0;
        Save(own, name, bytes, {boxed});
        if (type != gw::kTypeJp2 && type != gw::kTypeJ2k) Save(own, name + "_hint", bytes, {0x80});
    }
}

// Writes the holder's image through SaveImageFile and keeps the file's bytes.
void SaveWritten(gw::ImageHolder holder, const std::string& name, const std::string& ext) {
    const std::string path = gOut + "/.tmp." + ext;
    if (!gw::SaveImageFile(holder, path, gw::WriteMode::Replace).ok()) {
        std::fprintf(stderr, "make_seeds: no %s from %s\n", ext.c_str(), name.c_str());
        return;
    }
    const std::vector<std::uint8_t> bytes = gw::ReadWholeFile(path);
    ::unlink(path.c_str());
    const gw::TIEFileFormatInfo* row = gw::FindFormatByExtension(path);
    SavePicture(name + "_" + ext, row ? row->Type : 0, bytes);
}

gw::ImageHolder Holder(gw::RasterImage image) {
    gw::ImageHolder holder;
    holder.Image = std::move(image);
    return holder;
}

void PictureSeeds() {
    gw::RasterImage colour = gw::test::GradientImage(13, 7);
    gw::RasterImage withAlpha = colour;
    gw::test::AddAlphaPattern(withAlpha);
    const gw::RasterImage bits = gw::test::CheckerBits(11, 5, 2);
    const gw::RasterImage few =
        gw::test::ColourCycleImage(9, 6, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}});

    for (const char* ext : {"tif", "gif", "jpg", "pcx", "dcx", "bmp", "png", "tga", "ppm", "pgm",
                            "pbm", "wbmp", "psd", "ico", "jp2", "j2k"}) {
        SaveWritten(Holder(colour), "colour", ext);
        SaveWritten(Holder(bits), "bits", ext);
    }
    for (const char* ext : {"png", "tga", "psd", "ico", "bmp", "tif"})
        SaveWritten(Holder(withAlpha), "alpha", ext);
    for (const char* ext : {"gif", "bmp", "pcx", "tif", "png"})
        SaveWritten(Holder(few), "few", ext);

    // Settings that switch the writers to other encodings.
    gw::ImageHolder h = Holder(colour);
    h.Params.TGA_Compressed = false;
    SaveWritten(h, "raw", "tga");
    h = Holder(colour);
    h.Params.PCX_RLE = false;
    SaveWritten(h, "raw", "pcx");
    h = Holder(colour);
    h.Params.JPEG_Progressive = true;
    SaveWritten(h, "progressive", "jpg");
    h = Holder(colour);
    h.Params.JPEG_Progressive = true;
    h.Params.JPEG_ChromaH = h.Params.JPEG_ChromaV = 1;
    SaveWritten(h, "progressive444", "jpg");
    h = Holder(colour);
    h.Params.JPEG_ColorSpace = gw::FileParams::JpegColorSpace::Gray;
    SaveWritten(h, "gray", "jpg");
    h = Holder(colour);
    h.Params.PNG_Interlaced = true;
    SaveWritten(h, "interlaced", "png");
    h = Holder(few);
    h.Params.GIF_Interlaced = true;
    SaveWritten(h, "interlaced", "gif");
    for (auto c :
         {gw::FileParams::TiffCompression::LZW, gw::FileParams::TiffCompression::PackBits,
          gw::FileParams::TiffCompression::Deflate, gw::FileParams::TiffCompression::JPEG}) {
        h = Holder(colour);
        h.Params.TIFF_Compression = c;
        SaveWritten(h, "tiff" + std::to_string(static_cast<int>(c)), "tif");
    }
    for (auto c :
         {gw::FileParams::TiffCompression::CCITT3, gw::FileParams::TiffCompression::CCITT4}) {
        h = Holder(bits);
        h.Params.TIFF_Compression = c;
        SaveWritten(h, "fax" + std::to_string(static_cast<int>(c)), "tif");
    }
    h = Holder(few);
    h.Params.BMP_Compression = 1;
    SaveWritten(h, "rle", "bmp");

    // Hand-built streams the writers do not produce.
    using gw::test::BuildPng;
    SavePicture("png_gray16", gw::kTypePng, BuildPng(3, 2, 16, 0, Bytes(2 * 6, 0x5a)));
    SavePicture(
        "png_palette", gw::kTypePng,
        BuildPng(4, 2, 2, 3, {0x1b, 0xe4},
                 {{"PLTE", {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}}, {"tRNS", {0, 128}}}));
    gw::test::DibSpec dib;
    dib.width = 5;
    dib.height = 3;
    dib.bitCount = 4;
    dib.colorTable = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}};
    dib.pixels = {0, 1, 2, 1, 0, 2, 2, 1, 0, 0, 1, 1, 1, 2, 2};
    SavePicture("bmp4", gw::kTypeBmp, gw::test::BuildBmpFile(dib));
    SavePicture("pnm_ascii", gw::kTypePnm,
                gw::test::Bytes().str("P3\n# c\n2 2\n255\n1 2 3 4 5 6\n7 8 9 10 11 12\n").v);
    SavePicture("pbm_ascii", gw::kTypePnm, gw::test::Bytes().str("P1\n3 2\n1 0 1\n0 1 0\n").v);
}

std::vector<gw::pefix::IconImage> IconImages() {
    using namespace gw::pefix;
    auto pattern = [](int x, int y) {
        return Rgba{static_cast<std::uint8_t>(x * 16), static_cast<std::uint8_t>(y * 16),
                    static_cast<std::uint8_t>((x + y) * 8),
                    static_cast<std::uint8_t>((x + y) % 3 ? 255 : 0)};
    };
    return {MakeDibIcon(16, 16, 32, pattern), MakeDibIcon(16, 16, 8, pattern),
            MakeDibIcon(8, 8, 4, pattern),    MakeDibIcon(8, 8, 1, pattern),
            MakeDibIcon(12, 12, 24, pattern), MakePngIcon(16, 16, pattern)};
}

void IconSeeds() {
    using gw::test::IcoEntry;
    const auto images = IconImages();
    // Icon and cursor containers, each after the harness's index byte.
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Bytes one = gw::pefix::BuildIcoFile({images[i]});
        Save("ico", "one_" + std::to_string(i), one, {1});
        Save("iconsource", "ico_" + std::to_string(i), one);
    }
    const Bytes all = gw::pefix::BuildIcoFile(images);
    for (std::uint8_t index : {0, 1, 3, 6})
        Save("ico", "all_" + std::to_string(index), all, {index});
    Save("iconsource", "ico_all", all);

    std::vector<IcoEntry> cursor(2);
    cursor[0].width = 16;
    cursor[0].height = 16;
    cursor[0].planes = 3;
    cursor[0].bitCount = 5;
    cursor[0].payload = images[0].Bytes;
    cursor[1].width = 8;
    cursor[1].height = 8;
    cursor[1].payload = images[3].Bytes;
    const Bytes cur = gw::test::BuildIconContainer(cursor, 2);
    Save("ico", "cursor_0", cur, {1});
    Save("ico", "cursor_1", cur, {2});
    SavePicture("cursor", gw::kTypeCur, cur);
    SavePicture("icon_all", gw::kTypeIco, all);

    gw::test::DibSpec dib;
    dib.width = 4;
    dib.height = 4;
    dib.bitCount = 24;
    dib.pixels = std::vector<std::uint32_t>(16, 0x00ff8040);
    Save("ico", "extracted", gw::test::BuildExtractedIconStream(dib), {1});

    // Executables.
    gw::pefix::ResourceBuilder pe;
    pe.AddIconGroup(1, {images[0], images[1], images[5]});
    pe.AddIconGroup(2, {images[2], images[3]});
    pe.AddNamedIconGroup("MAINICON", {images[4]});
    pe.Add(16, 1, Bytes(8, 0x11));  // a version resource beside them
    Save("iconsource", "pe32", pe.BuildPe());
    Save("iconsource", "pe32plus", pe.BuildPe(true));
    Save("iconsource", "ne", pe.BuildNe());
    gw::pefix::ResourceBuilder none;
    none.Add(16, 1, Bytes(4, 0));
    Save("iconsource", "pe_no_icons", none.BuildPe());
}

void MetafileSeeds() {
    using gw::test::EmfBuilder;
    using gw::test::WmfBuilder;
    const Bytes dib = gw::test::PackedDib(2, 2, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}});
    WmfBuilder w;
    w.SetMapMode(8).SetWindowOrg(0, 0).SetWindowExt(100, 80).SetViewportExt(100, 80);
    w.Pen(0, 3, {10, 20, 30}).Brush(0, {200, 100, 50}).Select(0).Select(1);
    w.Rectangle(5, 5, 60, 40).Ellipse(20, 10, 90, 70).RoundRect(1, 1, 30, 30, 8, 8);
    w.Polygon({{0, 0}, {50, 10}, {20, 70}}).Polyline({{5, 5}, {95, 75}});
    w.PolyPolygon({{{0, 0}, {10, 0}, {10, 10}}, {{20, 20}, {30, 20}, {30, 30}}});
    w.MoveTo(0, 0).LineTo(99, 79).SaveDc().RestoreDc(-1).Delete(0);
    w.StretchDib(dib, 0, 0, 2, 2, 10, 10, 40, 40).PatternBlt(0x00F00021, 0, 0, 20, 20);
    SavePicture("wmf_shapes", gw::kTypeWmf, w.Build());
    SavePicture("wmf_placeable", gw::kTypeWmf, w.BuildPlaceable(0, 0, 100, 80, 96));

    EmfBuilder e;
    e.SetMapMode(8).SetWindowExt(100, 80).SetViewportExt(100, 80);
    e.Pen(1, 0, 3, {10, 20, 30}).Brush(2, 0, {200, 100, 50}).Select(1).Select(2);
    e.MoveTo(10, 10).LineTo(90, 70).Rectangle(5, 5, 60, 40).Ellipse(20, 10, 90, 70);
    e.SaveDc().SetWorldTransform({1, 0.2f, 0, 1, 5, 5}).RestoreDc(-1);
    e.Poly(3, {{0, 0}, {50, 10}, {20, 70}}).PolyPoly(8, {{{0, 0}, {10, 0}, {10, 10}}});
    e.StretchDiBits(dib, 0, 0, 2, 2, 10, 10, 40, 40);
    SavePicture("emf_shapes", gw::kTypeEmf, e.Build(2540, 2032));
}

// A small secondary-capture dataset written by DCMTK, as a file with preamble or bare.
Bytes DicomFile(Uint16 samples, E_TransferSyntax xfer, bool fileFormat) {
    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    char uid[100];
    ds->putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
    ds->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid));
    ds->putAndInsertUint16(DCM_Rows, 3);
    ds->putAndInsertUint16(DCM_Columns, 4);
    ds->putAndInsertUint16(DCM_SamplesPerPixel, samples);
    ds->putAndInsertString(DCM_PhotometricInterpretation, samples == 3 ? "RGB" : "MONOCHROME2");
    ds->putAndInsertUint16(DCM_BitsAllocated, 8);
    ds->putAndInsertUint16(DCM_BitsStored, 8);
    ds->putAndInsertUint16(DCM_HighBit, 7);
    ds->putAndInsertUint16(DCM_PixelRepresentation, 0);
    if (samples == 3) ds->putAndInsertUint16(DCM_PlanarConfiguration, 0);
    ds->putAndInsertString(DCM_WindowCenter, "128");
    ds->putAndInsertString(DCM_WindowWidth, "200");
    std::vector<Uint8> pixels(12u * samples);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<Uint8>(i * 20);
    ds->putAndInsertUint8Array(DCM_PixelData, pixels.data(), pixels.size());
    std::vector<char> buffer(1 << 16);
    DcmOutputBufferStream out(buffer.data(), buffer.size());
    DcmObject& object = fileFormat ? static_cast<DcmObject&>(file) : *ds;
    object.transferInit();
    object.write(out, xfer, EET_ExplicitLength, nullptr);
    object.transferEnd();
    void* data = nullptr;
    offile_off_t length = 0;
    out.flushBuffer(data, length);
    const auto* begin = static_cast<const std::uint8_t*>(data);
    return Bytes(begin, begin + length);
}

void DicomSeeds() {
    SavePicture("dicom_grey", gw::kTypeDicom, DicomFile(1, EXS_LittleEndianExplicit, true));
    SavePicture("dicom_rgb", gw::kTypeDicom, DicomFile(3, EXS_LittleEndianExplicit, true));
    SavePicture("dicom_implicit", gw::kTypeDicom, DicomFile(1, EXS_LittleEndianImplicit, true));
    SavePicture("dicom_bare", gw::kTypeDicom, DicomFile(1, EXS_LittleEndianImplicit, false));
}

void IniSeeds() {
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    Save("ini", "language",
         text("[Messages]\r\nMS_Ready_2=Ready: %1 files\r\nMS_Opening=\"Opening...\"\r\n"
              "[FrmIcon]\r\nCaption=Glyphwright\r\nButton1.Left=$20\r\nButton1.Items=a||b||c\r\n"
              "RzComboBox1.Left=x12\r\nLabel25.Left=-0x1F\r\nLabel25.Caption= busy \r\n"));
    Save("ini", "options",
         text("[EXPORT]\nFormat=3\nWidth=-0x10\nPath=/tmp/out\n[LANGUAGE]\nLanguage=1\n"));
    using namespace std::string_literals;
    Save("ini", "named", text("FrmIcon\1Button1.Caption\1Open\0[FrmIcon]\rButton1.Caption=Old\r"s));
    Save("ini", "cp936", text("[FrmIcon]\nCaption=\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\n"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUT\n");
        return 2;
    }
    gOut = argv[1];
    for (const char* dir : {"", "/ico", "/formats", "/iconsource", "/ini", "/bmp", "/pcx", "/dcx",
                            "/tga", "/pnm", "/wbmp", "/psd", "/wmf", "/emf", "/dicom", "/jp2"})
        ::mkdir((gOut + dir).c_str(), 0755);
    PictureSeeds();
    MetafileSeeds();
    DicomSeeds();
    IconSeeds();
    IniSeeds();
    std::printf("make_seeds: %d seeds in %s\n", gWritten, gOut.c_str());
    return 0;
}
