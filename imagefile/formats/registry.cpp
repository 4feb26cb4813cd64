#include "imagefile/formats/registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/fileio.h"
#include "base/paths.h"
#include "imagefile/formats/dicom.h"
#include "imagefile/formats/hdphoto.h"
#include "imagefile/formats/jp2.h"
#include "imagefile/formats/pnm.h"
#include "imagefile/formats/raw.h"
#include "imagefile/isolate.h"

namespace gw {
namespace {

// jxrlib crashes on some damaged coded data; it reads in a child process like the other
// library-backed readers (see ReadWithCodec).
const FormatCodec* AvailableHdPhotoCodec() {
    return &kHdPhotoCodec;
}

// Readers whose libraries can crash or hang on damaged data run in a child process.
bool ReadsIsolated(int type) {
    return type == kTypeRaw || type == kTypeDicom || type == kTypeJp2 || type == kTypeJ2k ||
           type == kTypeHdPhoto;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool StartsWith(std::span<const std::uint8_t> data, const char* text, std::size_t offset = 0) {
    const std::size_t n = std::strlen(text);
    return data.size() >= offset + n && std::memcmp(data.data() + offset, text, n) == 0;
}

bool StartsWithBytes(std::span<const std::uint8_t> data,
                     std::initializer_list<std::uint8_t> bytes) {
    return data.size() >= bytes.size() && std::equal(bytes.begin(), bytes.end(), data.begin());
}

bool Probe(const FormatCodec& codec, std::span<const std::uint8_t> data) {
    return codec.Probe && codec.Probe(data);
}

// ---- signature tests of the formats without a codec ----

bool IsHdPhoto(std::span<const std::uint8_t> d) {
    return StartsWithBytes(d, {'I', 'I', 0xBC}) && d.size() > 3 && d[3] <= 1;
}

bool IsAvi(std::span<const std::uint8_t> d) {
    return StartsWith(d, "RIFF") && StartsWith(d, "AVI ", 8);
}

bool IsTiffByteOrder(std::span<const std::uint8_t> d) {
    return StartsWithBytes(d, {'I', 'I', 42, 0}) || StartsWithBytes(d, {'M', 'M', 0, 42}) ||
           StartsWithBytes(d, {'I', 'I', 43, 0}) || StartsWithBytes(d, {'M', 'M', 0, 43});
}

// The formats of the original table: their tests (if any) have fixed places in the detection
// order. Wireless bitmaps, raw bitmaps, PostScript and PDF are never recognised from content.
constexpr int kBuiltInTypes[] = {
    kTypeTiff, kTypeGif, kTypeJpeg,  kTypePcx,        kTypeBmp,     kTypeRawBitmap, kTypeIco,
    kTypeCur,  kTypePng, kTypeDicom, kTypeWmf,        kTypeEmf,     kTypeTga,       kTypePnm,
    kTypeWbmp, kTypeJp2, kTypeJ2k,   kTypePostScript, kTypePdf,     kTypeDcx,       kTypeRaw,
    kTypePsd,  kTypeIev, kTypeLyr,   kTypeAll,        kTypeHdPhoto, kTypeAvi};

ImageError ReadWithCodec(ImageHolder& holder, const TIEFileFormatInfo* row,
                         std::span<const std::uint8_t> data, const ReadOptions& options,
                         const std::string& fileName) {
    if (!row) return ImageError::NotRecognised;
    if (!row->CanRead || !row->Codec || !row->Codec->Read) return ImageError::NoReader;
    const FormatCodec& codec = *row->Codec;
    const ImageError error =
        ReadsIsolated(row->Type)
            ? ReadIsolated(holder, [&](ImageHolder& h) { return codec.Read(h, data, options); })
            : codec.Read(holder, data, options);
    if (error != ImageError::None) return error;
    holder.Params.FileType = row->Type;
    holder.Params.FileName = fileName;
    return ImageError::None;
}

// The row a file's content names for the catalogue: detection, then the camera-raw rule.
const TIEFileFormatInfo* RowFromContent(std::span<const std::uint8_t> data, std::string_view path) {
    int type = DetectImageFormat(data);
    const TIEFileFormatInfo* byName = FindFormatByExtension(path);
    if (type == kTypeTiff && byName && byName->Type == kTypeRaw) type = kTypeRaw;
    return type == kTypeUnknown ? nullptr : FindFormatByType(type);
}

}  // namespace

std::vector<TIEFileFormatInfo> BuildImageFormatRegistry(const FormatCodec* hdPhoto) {
    std::vector<TIEFileFormatInfo> rows = {
        {kTypeTiff, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", true, true, &kTiffCodec},
        {kTypeGif, "CompuServe Bitmap", "GIF", true, true, &kGifCodec},
        {kTypeJpeg, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", true, true, &kJpegCodec},
        {kTypePcx, "PaintBrush", "PCX", true, true, &kPcxCodec},
        {kTypeBmp, "Windows Bitmap", "BMP;DIB;RLE", true, true, &kBmpCodec},
        {kTypeRawBitmap, "Raw Bitmap", "", true, true, nullptr},
        {kTypeIco, "Windows Icon", "ICO", true, true, &kIcoCodec},
        {kTypeCur, "Windows Cursor", "CUR", true, false, &kCurCodec},
        {kTypePng, "Portable Network Graphics", "PNG", true, true, &kPngCodec},
        {kTypeDicom, "DICOM Bitmap", "DCM;DIC;DICOM;V2", true, false, &kDicomCodec},
        {kTypeWmf, "Windows Metafile", "WMF", true, false, &kWmfCodec},
        {kTypeEmf, "Enhanced Windows Metafile", "EMF", true, false, &kEmfCodec},
        {kTypeTga, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true, true, &kTgaCodec},
        {kTypePnm, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", true, true, &kPnmCodec},
        {kTypeWbmp, "Wireless Bitmap", "WBMP", true, true, &kWbmpCodec},
        {kTypeJp2, "JPEG2000", "JP2", true, true, &kJp2Codec},
        {kTypeJ2k, "JPEG2000 Code Stream", "J2K;JPC;J2C", true, true, &kJ2kCodec},
        {kTypePostScript, "PostScript Level 2", "PS;EPS", false, true, nullptr},
        {kTypePdf, "Adobe PDF", "PDF", false, true, nullptr},
        {kTypeDcx, "Multipage PCX", "DCX", true, true, &kDcxCodec},
        {kTypeRaw, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", true, false,
         &kCameraRawCodec},
        {kTypePsd, "Photoshop PSD", "PSD", true, true, &kPsdCodec},
        {kTypeIev, "Vectorial objects", "IEV", true, true, nullptr},
        {kTypeLyr, "Layers", "LYR", true, true, nullptr},
        {kTypeAll, "Layers and objects", "ALL", true, true, nullptr},
    };
    if (hdPhoto)
        rows.push_back({kTypeHdPhoto, "Microsoft HD Photo", "WDP;HDP", true, true, hdPhoto});
    return rows;
}

const std::vector<TIEFileFormatInfo>& ImageFormatRegistry() {
    static const std::vector<TIEFileFormatInfo> registry =
        BuildImageFormatRegistry(AvailableHdPhotoCodec());
    return registry;
}

const TIEFileFormatInfo* FindFormatByExtension(std::string_view path) {
    const std::string ext = FileExtension(path);
    if (ext.empty()) return nullptr;
    for (const TIEFileFormatInfo& row : ImageFormatRegistry()) {
        std::string_view list = row.Extensions;
        while (!list.empty()) {
            const std::size_t semi = list.find(';');
            if (Lower(list.substr(0, semi)) == ext) return &row;
            if (semi == std::string_view::npos) break;
            list.remove_prefix(semi + 1);
        }
    }
    return nullptr;
}

const TIEFileFormatInfo* FindFormatByType(int type) {
    for (const TIEFileFormatInfo& row : ImageFormatRegistry())
        if (row.Type == type) return &row;
    return nullptr;
}

bool IsKnownImageFile(std::string_view path) {
    const TIEFileFormatInfo* row = FindFormatByExtension(path);
    return row && row->CanRead;
}

int DetectImageFormat(std::span<const std::uint8_t> d) {
    if (StartsWith(d, "JFIF")) return kTypeJpeg;
    if (StartsWith(d, "GIF")) return kTypeGif;
    if (StartsWith(d, "PCX")) return kTypePcx;
    if (StartsWith(d, "BM")) return kTypeBmp;
    if (d.size() >= 2 && d[0] == 10 && d[1] <= 5) return kTypePcx;
    if (StartsWith(d, "TIFF")) return kTypeTiff;
    if (const TIEFileFormatInfo* hd = FindFormatByType(kTypeHdPhoto))
        if ((hd->Codec && hd->Codec->Probe) ? hd->Codec->Probe(d) : IsHdPhoto(d))
            return kTypeHdPhoto;
    if (IsTiffByteOrder(d)) return kTypeTiff;
    if (Probe(kPngCodec, d)) return kTypePng;  // more than the 8 signature bytes
    if (Probe(kDicomCodec, d)) return kTypeDicom;
    if (Probe(kIcoCodec, d)) return kTypeIco;
    if (Probe(kCurCodec, d)) return kTypeCur;
    if (Probe(kTgaCodec, d)) return kTypeTga;
    if (Probe(kPnmCodec, d)) return kTypePnm;
    if (Probe(kJp2Codec, d)) return kTypeJp2;
    if (Probe(kJ2kCodec, d)) return kTypeJ2k;
    if (IsAvi(d)) return kTypeAvi;
    if (Probe(kDcxCodec, d)) return kTypeDcx;
    if (Probe(kWmfCodec, d)) return kTypeWmf;
    if (Probe(kEmfCodec, d)) return kTypeEmf;
    if (Probe(kPsdCodec, d)) return kTypePsd;
    // Vectorial objects and layers have no published signature and no reader here.
    if (Probe(kJpegCodec, d)) return kTypeJpeg;
    for (const TIEFileFormatInfo& row : ImageFormatRegistry()) {
        if (std::find(std::begin(kBuiltInTypes), std::end(kBuiltInTypes), row.Type) !=
            std::end(kBuiltInTypes))
            continue;
        if (row.Codec && Probe(*row.Codec, d)) return row.Type;
    }
    if (Probe(kCameraRawCodec, d)) return kTypeRaw;
    return kTypeUnknown;
}

int DetectImageFormat(const ByteReader& stream) {
    return DetectImageFormat(stream.data().subspan(stream.pos()));
}

namespace {

// LoadImageFile on the file's bytes when they are already read (data), else reading them.
ImageStatus LoadByExtension(ImageHolder& holder, const std::string& path,
                            const std::vector<std::uint8_t>* data, const ReadOptions& options) {
    const TIEFileFormatInfo* row = FindFormatByExtension(path);
    if (!row || !row->CanRead || !row->Codec || !row->Codec->Read) return ImageError::NoReader;
    if (data) return ReadWithCodec(holder, row, *data, options, path);
    auto bytes = ReadFileBytes(path);
    if (!bytes) return FromIoFailure(bytes.error());
    return ReadWithCodec(holder, row, *bytes, options, path);
}

}  // namespace

ImageStatus LoadImageFile(ImageHolder& holder, const std::string& path,
                          const ReadOptions& options) {
    return LoadByExtension(holder, path, nullptr, options);
}

ImageStatus SaveImageFile(ImageHolder& holder, const std::string& path, WriteMode mode) {
    // Extensions that name their writer directly, before the registry is consulted.
    static const struct {
        const char* ext;
        int type;
    } kWriterGroups[] = {
        {"jpg", kTypeJpeg},      {"jpeg", kTypeJpeg},      {"jpe", kTypeJpeg}, {"jif", kTypeJpeg},
        {"jp2", kTypeJp2},       {"j2k", kTypeJ2k},        {"jpc", kTypeJ2k},  {"j2c", kTypeJ2k},
        {"pcx", kTypePcx},       {"dcx", kTypeDcx},        {"gif", kTypeGif},  {"tif", kTypeTiff},
        {"tiff", kTypeTiff},     {"fax", kTypeTiff},       {"g3f", kTypeTiff}, {"g3n", kTypeTiff},
        {"png", kTypePng},       {"bmp", kTypeBmp},        {"dib", kTypeBmp},  {"rle", kTypeBmp},
        {"tga", kTypeTga},       {"targa", kTypeTga},      {"vda", kTypeTga},  {"icb", kTypeTga},
        {"vst", kTypeTga},       {"win", kTypeTga},        {"pxm", kTypePnm},  {"pbm", kTypePnm},
        {"pgm", kTypePnm},       {"ppm", kTypePnm},        {"ico", kTypeIco},  {"wbmp", kTypeWbmp},
        {"ps", kTypePostScript}, {"eps", kTypePostScript}, {"pdf", kTypePdf},  {"psd", kTypePsd},
        {"hdp", kTypeHdPhoto},   {"wdp", kTypeHdPhoto},
    };
    const std::string ext = FileExtension(path);
    const TIEFileFormatInfo* row = nullptr;
    bool grouped = false;
    for (const auto& g : kWriterGroups)
        if (ext == g.ext) {
            row = FindFormatByType(g.type);
            grouped = true;
            break;
        }
    if (!grouped) row = FindFormatByExtension(path);
    if (!row || !row->CanWrite || !row->Codec || !row->Codec->Write) return ImageError::NoWriter;
    std::vector<std::uint8_t> bytes;
    // ".pbm", ".pgm" and ".ppm" name the kind of portable file as well as the format.
    const ImageError encoded = row->Type == kTypePnm
                                   ? WritePnm(holder, bytes, PnmKindForExtension("." + ext))
                                   : row->Codec->Write(holder, bytes);
    if (encoded != ImageError::None) return encoded;
    if (auto written = WriteFileAtomic(path, bytes, mode); !written)
        return FromIoFailure(written.error());
    return {};
}

void SelectImageIndex(ImageHolder& holder, int index) {
    FileParams& p = holder.Params;
    p.ICO_ImageIndex = p.CUR_ImageIndex = p.TIFF_ImageIndex = p.GIF_ImageIndex = index;
    p.DCX_ImageIndex = p.PSD_ImageIndex = p.RAW_ImageIndex = p.Generic_ImageIndex = index;
}

void CopyFileParams(ImageHolder& target, const ImageHolder& source) {
    target.Params = source.Params;
}

ImageStatus LoadPictureFromFile(ImageHolder& holder, const std::string& path,
                                const ReadOptions& options) {
    SelectImageIndex(holder, 0);
    if (!FileExists(path)) return LoadByExtension(holder, path, nullptr, options);
    auto data = ReadFileBytes(path);
    if (!data) return LoadByExtension(holder, path, nullptr, options);
    if (const TIEFileFormatInfo* row = RowFromContent(*data, path))
        return ReadWithCodec(holder, row, *data, options, path);
    return LoadByExtension(holder, path, &*data, options);
}

ImageError LoadPictureFromStream(ImageHolder& holder, const ByteReader& stream,
                                 const ReadOptions& options) {
    SelectImageIndex(holder, 0);
    const std::span<const std::uint8_t> data = stream.data().subspan(stream.pos());
    const TIEFileFormatInfo* row = FindFormatByType(DetectImageFormat(data));
    return ReadWithCodec(holder, row, data, options, {});
}

}  // namespace gw
