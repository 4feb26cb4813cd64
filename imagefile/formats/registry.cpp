#include "imagefile/formats/registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/fileio.h"
#include "base/paths.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/formats/postscript.h"
#ifdef GW_HAVE_DCMTK
#include "imagefile/formats/dicom.h"
#endif
#ifdef GW_HAVE_OPENJPEG
#include "imagefile/formats/jp2.h"
#endif
#ifdef GW_HAVE_LIBRAW
#include "imagefile/formats/raw.h"
#endif
#ifdef GW_HAVE_JXRLIB
#include "imagefile/formats/hdphoto.h"
#endif
#include "imagefile/isolate.h"

namespace gw {
namespace {

// The codecs of optional libraries; a build without one keeps the format's row without a codec,
// like the formats that have no reader: not recognised from content, and not read.
#ifdef GW_HAVE_DCMTK
constexpr const FormatCodec* kDicom = &kDicomCodec;
#else
constexpr const FormatCodec* kDicom = nullptr;
#endif
#ifdef GW_HAVE_OPENJPEG
constexpr const FormatCodec* kJp2 = &kJp2Codec;
constexpr const FormatCodec* kJ2k = &kJ2kCodec;
#else
constexpr const FormatCodec* kJp2 = nullptr;
constexpr const FormatCodec* kJ2k = nullptr;
#endif
#ifdef GW_HAVE_LIBRAW
constexpr const FormatCodec* kCameraRaw = &kCameraRawCodec;
#else
constexpr const FormatCodec* kCameraRaw = nullptr;
#endif

// jxrlib crashes on some damaged coded data; it reads in a child process like the other
// library-backed readers (see ReadWithCodec).
const FormatCodec* AvailableHdPhotoCodec() {
#ifdef GW_HAVE_JXRLIB
    return &kHdPhotoCodec;
#else
    return nullptr;
#endif
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

// ---- signatures and probes the table names beside its codecs ----

bool JfifText(std::span<const std::uint8_t> d) {
    return StartsWith(d, "JFIF");
}
bool GifText(std::span<const std::uint8_t> d) {
    return StartsWith(d, "GIF");
}
// "PCX" text, or the manufacturer byte 10 followed by a version up to 5.
bool PcxSignature(std::span<const std::uint8_t> d) {
    return StartsWith(d, "PCX") || (d.size() >= 2 && d[0] == 10 && d[1] <= 5);
}
bool BmText(std::span<const std::uint8_t> d) {
    return StartsWith(d, "BM");
}
bool TiffText(std::span<const std::uint8_t> d) {
    return StartsWith(d, "TIFF");
}

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

bool ListsExtension(std::string_view list, std::string_view ext) {
    while (!list.empty()) {
        const std::size_t semi = list.find(';');
        if (Lower(list.substr(0, semi)) == ext) return true;
        if (semi == std::string_view::npos) break;
        list.remove_prefix(semi + 1);
    }
    return false;
}

const std::vector<TIEFileFormatInfo>& FormatTable() {
    static const std::vector<TIEFileFormatInfo> table = BuildFormatTable(AvailableHdPhotoCodec());
    return table;
}

// The rows with a content probe, in detection order.
const std::vector<const TIEFileFormatInfo*>& DetectionOrder() {
    static const std::vector<const TIEFileFormatInfo*> order = [] {
        std::vector<const TIEFileFormatInfo*> rows;
        for (const TIEFileFormatInfo& row : FormatTable())
            if (row.Step != kNeverDetected && row.Probe) rows.push_back(&row);
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto* a, const auto* b) { return a->Step < b->Step; });
        return rows;
    }();
    return order;
}

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

std::vector<TIEFileFormatInfo> BuildFormatTable(const FormatCodec* hdPhoto) {
    using T = TIEFileFormatInfo;
    // Type, name, extensions, read and write flags: the registry's row. Then the codec, the
    // quick signature, the content probe's step (and probe, where it is not the codec's) and
    // the writer group.
    std::vector<T> rows = {
        {.Type = kTypeTiff,
         .Name = "TIFF Bitmap",
         .Extensions = "TIF;TIFF;FAX;G3N;G3F;XIF",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kTiffCodec,
         .Signature = TiffText,
         .Step = kDetectTiff,
         .Probe = IsTiffByteOrder,
         .WriterGroup = "tif;tiff;fax;g3f;g3n"},
        {.Type = kTypeGif,
         .Name = "CompuServe Bitmap",
         .Extensions = "GIF",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kGifCodec,
         .Signature = GifText,
         .Step = kNeverDetected,
         .WriterGroup = "gif"},
        {.Type = kTypeJpeg,
         .Name = "JPEG Bitmap",
         .Extensions = "JPG;JPEG;JPE;JIF",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kJpegCodec,
         .Signature = JfifText,
         .Step = kDetectJpegMarker,
         .WriterGroup = "jpg;jpeg;jpe;jif"},
        {.Type = kTypePcx,
         .Name = "PaintBrush",
         .Extensions = "PCX",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kPcxCodec,
         .Signature = PcxSignature,
         .Step = kNeverDetected,
         .WriterGroup = "pcx"},
        {.Type = kTypeBmp,
         .Name = "Windows Bitmap",
         .Extensions = "BMP;DIB;RLE",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kBmpCodec,
         .Signature = BmText,
         .Step = kNeverDetected,
         .WriterGroup = "bmp;dib;rle"},
        {.Type = kTypeRawBitmap,
         .Name = "Raw Bitmap",
         .Extensions = "",
         .CanRead = true,
         .CanWrite = true,
         .Step = kNeverDetected},
        // The platform's single-image icon writer; icons are written by WriteIconFile.
        {.Type = kTypeIco,
         .Name = "Windows Icon",
         .Extensions = "ICO",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kIcoCodec,
         .Step = kDetectIcon,
         .WriterGroup = "ico"},
        {.Type = kTypeCur,
         .Name = "Windows Cursor",
         .Extensions = "CUR",
         .CanRead = true,
         .CanWrite = false,
         .Codec = &kCurCodec,
         .Step = kDetectCursor},
        {.Type = kTypePng,
         .Name = "Portable Network Graphics",
         .Extensions = "PNG",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kPngCodec,
         .Step = kDetectPng,
         .WriterGroup = "png"},
        {.Type = kTypeDicom,
         .Name = "DICOM Bitmap",
         .Extensions = "DCM;DIC;DICOM;V2",
         .CanRead = true,
         .CanWrite = false,
         .Codec = kDicom,
         .Step = kDetectDicom},
        {.Type = kTypeWmf,
         .Name = "Windows Metafile",
         .Extensions = "WMF",
         .CanRead = true,
         .CanWrite = false,
         .Codec = &kWmfCodec,
         .Step = kDetectWmf},
        {.Type = kTypeEmf,
         .Name = "Enhanced Windows Metafile",
         .Extensions = "EMF",
         .CanRead = true,
         .CanWrite = false,
         .Codec = &kEmfCodec,
         .Step = kDetectEmf},
        {.Type = kTypeTga,
         .Name = "Targa Bitmap",
         .Extensions = "TGA;TARGA;VDA;ICB;VST;PIX",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kTgaCodec,
         .Step = kDetectTarga,
         .WriterGroup = "tga;targa;vda;icb;vst;win"},
        // The writer also takes the kind of portable file from the extension.
        {.Type = kTypePnm,
         .Name = "Portable Pixmap, GrayMap, BitMap",
         .Extensions = "PXM;PPM;PGM;PBM",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kPnmCodec,
         .Step = kDetectPortable,
         .WriterGroup = "pxm;pbm;pgm;ppm"},
        {.Type = kTypeWbmp,
         .Name = "Wireless Bitmap",
         .Extensions = "WBMP",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kWbmpCodec,
         .Step = kNeverDetected,
         .WriterGroup = "wbmp"},
        {.Type = kTypeJp2,
         .Name = "JPEG2000",
         .Extensions = "JP2",
         .CanRead = true,
         .CanWrite = true,
         .Codec = kJp2,
         .Step = kDetectJp2,
         .WriterGroup = "jp2"},
        {.Type = kTypeJ2k,
         .Name = "JPEG2000 Code Stream",
         .Extensions = "J2K;JPC;J2C",
         .CanRead = true,
         .CanWrite = true,
         .Codec = kJ2k,
         .Step = kDetectJ2k,
         .WriterGroup = "j2k;jpc;j2c"},
        {.Type = kTypePostScript,
         .Name = "PostScript Level 2",
         .Extensions = "PS;EPS",
         .CanRead = false,
         .CanWrite = true,
         .Codec = &kPostScriptCodec,
         .Step = kNeverDetected,
         .WriterGroup = "ps;eps"},
        {.Type = kTypePdf,
         .Name = "Adobe PDF",
         .Extensions = "PDF",
         .CanRead = false,
         .CanWrite = true,
         .Codec = &kPdfCodec,
         .Step = kNeverDetected,
         .WriterGroup = "pdf"},
        {.Type = kTypeDcx,
         .Name = "Multipage PCX",
         .Extensions = "DCX",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kDcxCodec,
         .Step = kDetectDcx,
         .WriterGroup = "dcx"},
        // TIFF-structured camera files are recognised as TIFF and named camera raw by extension.
        {.Type = kTypeRaw,
         .Name = "Camera RAW",
         .Extensions = "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2",
         .CanRead = true,
         .CanWrite = false,
         .Codec = kCameraRaw,
         .Step = kDetectCameraRaw},
        {.Type = kTypePsd,
         .Name = "Photoshop PSD",
         .Extensions = "PSD",
         .CanRead = true,
         .CanWrite = true,
         .Codec = &kPsdCodec,
         .Step = kDetectPsd,
         .WriterGroup = "psd"},
        // Vectorial objects and layers have no published signature and no reader here.
        {.Type = kTypeIev,
         .Name = "Vectorial objects",
         .Extensions = "IEV",
         .CanRead = true,
         .CanWrite = true,
         .Step = kNeverDetected},
        {.Type = kTypeLyr,
         .Name = "Layers",
         .Extensions = "LYR",
         .CanRead = true,
         .CanWrite = true,
         .Step = kNeverDetected},
        {.Type = kTypeAll,
         .Name = "Layers and objects",
         .Extensions = "ALL",
         .CanRead = true,
         .CanWrite = true,
         .Step = kNeverDetected},
    };
    if (hdPhoto)
        rows.push_back({.Type = kTypeHdPhoto,
                        .Name = "Microsoft HD Photo",
                        .Extensions = "WDP;HDP",
                        .CanRead = true,
                        .CanWrite = true,
                        .Codec = hdPhoto,
                        .Step = kDetectHdPhoto,
                        .Probe = hdPhoto->Probe ? nullptr : IsHdPhoto,
                        .WriterGroup = "hdp;wdp"});
    // Recognised from content, but no registry row: ".avi" is no picture extension.
    rows.push_back({.Type = kTypeAvi,
                    .Name = "Video",
                    .Extensions = "AVI",
                    .Step = kDetectVideo,
                    .Probe = IsAvi,
                    .Listed = false});
    for (T& row : rows)
        if (!row.Probe && row.Step != kNeverDetected && row.Codec) row.Probe = row.Codec->Probe;
    return rows;
}

std::vector<TIEFileFormatInfo> BuildImageFormatRegistry(const FormatCodec* hdPhoto) {
    std::vector<TIEFileFormatInfo> rows = BuildFormatTable(hdPhoto);
    std::erase_if(rows, [](const TIEFileFormatInfo& row) { return !row.Listed; });
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
    for (const TIEFileFormatInfo& row : ImageFormatRegistry())
        if (ListsExtension(row.Extensions, ext)) return &row;
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
    for (const TIEFileFormatInfo& row : FormatTable())
        if (row.Signature && row.Signature(d)) return row.Type;
    for (const TIEFileFormatInfo* row : DetectionOrder())
        if (row->Probe(d)) return row->Type;
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

ImageStatus EncodeImageFile(ImageHolder& holder, const std::string& path,
                            std::vector<std::uint8_t>& bytes) {
    const std::string ext = FileExtension(path);
    const auto grouped = std::find_if(
        FormatTable().begin(), FormatTable().end(),
        [&](const auto& r) { return !ext.empty() && ListsExtension(r.WriterGroup, ext); });
    const TIEFileFormatInfo* row =
        grouped != FormatTable().end() ? &*grouped : FindFormatByExtension(path);
    if (!row || !row->CanWrite || !row->Codec || !(row->Codec->Write || row->Codec->WriteAs))
        return ImageError::NoWriter;
    return row->Codec->WriteAs ? row->Codec->WriteAs(holder, bytes, ext)
                               : row->Codec->Write(holder, bytes);
}

ImageStatus SaveImageFile(ImageHolder& holder, const std::string& path, WriteMode mode) {
    std::vector<std::uint8_t> bytes;
    if (const ImageStatus encoded = EncodeImageFile(holder, path, bytes); !encoded.ok())
        return encoded;
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

Result<ImageInfo, ImageError> ReadImageInfo(std::span<const std::uint8_t> data,
                                            std::string_view path) {
    const TIEFileFormatInfo* row = RowFromContent(data, path);
    if (!row) row = FindFormatByExtension(path);
    if (!row) return Fail(ImageError::NotRecognised);
    if (!row->CanRead || !row->Codec || !row->Codec->Read) return Fail(ImageError::NoReader);
    ImageInfo info;
    if (row->Codec->Info) {
        if (const ImageError error = row->Codec->Info(data, info); error != ImageError::None)
            return Fail(error);
    } else {
        // No header reader for this format: the full read tells the same.
        ImageHolder holder;
        SelectImageIndex(holder, 0);
        if (const ImageError error = row->Codec->Read(holder, data, {}); error != ImageError::None)
            return Fail(error);
        info = InfoOfRead(holder);
    }
    info.Type = row->Type;
    return info;
}

ImageError LoadPictureFromStream(ImageHolder& holder, const ByteReader& stream,
                                 const ReadOptions& options) {
    SelectImageIndex(holder, 0);
    const std::span<const std::uint8_t> data = stream.data().subspan(stream.pos());
    const TIEFileFormatInfo* row = FindFormatByType(DetectImageFormat(data));
    return ReadWithCodec(holder, row, data, options, {});
}

}  // namespace gw
