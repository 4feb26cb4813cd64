#pragma once
// The picture-format registry: which files count as images, reading a file or stream into a
// holder, recognising a format from content and writing a holder's image by extension.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/result.h"
#include "imagefile/bytereader.h"
#include "imagefile/error.h"
#include "imagefile/formats/codec.h"
#include "imagefile/raster.h"

namespace gw {

// Registry type numbers.
enum ImageFileType : int {
    kTypeUnknown = 0,
    kTypeTiff = 1,
    kTypeGif = 2,
    kTypeJpeg = 3,
    kTypePcx = 4,
    kTypeBmp = 5,
    kTypeIco = 6,
    kTypeCur = 7,
    kTypePng = 8,
    kTypeWmf = 9,
    kTypeEmf = 10,
    kTypeTga = 11,
    kTypePnm = 12,
    kTypeJp2 = 13,
    kTypeJ2k = 14,
    kTypeAvi = 15,
    kTypeWbmp = 16,
    kTypePostScript = 17,
    kTypePdf = 18,
    kTypeDcx = 19,
    kTypeRaw = 20,
    kTypeRawBitmap = 21,
    kTypePsd = 24,
    kTypeIev = 25,
    kTypeLyr = 26,
    kTypeAll = 27,
    kTypeDicom = 28,
    kTypeHdPhoto = 29
};

// Where a row's content probe stands in DetectImageFormat's order: lower steps are tried first,
// rows of one step in table order; kNeverDetected rows are recognised by extension only.
enum DetectStep : int {
    kNeverDetected = 0,
    kDetectHdPhoto = 1,
    kDetectTiff,
    kDetectPng,
    kDetectDicom,
    kDetectIcon,
    kDetectCursor,
    kDetectTarga,
    kDetectPortable,
    kDetectJp2,
    kDetectJ2k,
    kDetectVideo,
    kDetectDcx,
    kDetectWmf,
    kDetectEmf,
    kDetectPsd,
    kDetectJpegMarker,  // a bare start-of-image marker says little, so it comes late
    kDetectLater,       // formats added to the table later, in table order
    kDetectCameraRaw    // last: its probe is the loosest
};

// One format, described once. Type, Name, Extensions, CanRead and CanWrite are the registry's
// row; Codec is the implementation standing behind it, whose members may still be missing.
struct TIEFileFormatInfo {
    int Type = 0;
    std::string Name = {};
    std::string Extensions = {};  // upper case, separated by ";"
    bool CanRead = false;
    bool CanWrite = false;
    const FormatCodec* Codec = nullptr;
    // A leading text or byte that names the format before any content probe runs, or null.
    ProbeFn Signature = nullptr;
    // The content probe and its place in the detection order; a null Probe is the codec's.
    DetectStep Step = kDetectLater;
    ProbeFn Probe = nullptr;
    // Extensions (lower case, separated by ";") that SaveImageFile hands straight to this
    // row's writer, before any registry lookup.
    std::string WriterGroup = {};
    // False for a format that is recognised from content but is no registry row (video).
    bool Listed = true;
};

// The registry rows in order, built once. The HD Photo row is present only when an
// HD Photo codec is available.
const std::vector<TIEFileFormatInfo>& ImageFormatRegistry();
// The rows for a given HD Photo codec (none: the row is left out).
std::vector<TIEFileFormatInfo> BuildImageFormatRegistry(const FormatCodec* hdPhoto);
// Every described format, the registry's rows and the unlisted ones, in table order.
std::vector<TIEFileFormatInfo> BuildFormatTable(const FormatCodec* hdPhoto);

// The first row listing the path's extension, or null.
const TIEFileFormatInfo* FindFormatByExtension(std::string_view path);
const TIEFileFormatInfo* FindFormatByType(int type);

// True when the path's extension names a row that has a reader; the file is not opened.
bool IsKnownImageFile(std::string_view path);

// Reads image ImageIndex of the file with the reader its extension names: NoReader when there
// is no such reader (the holder keeps its image), CannotOpenFile when the file cannot be read,
// else the reader's verdict.
ImageStatus LoadImageFile(ImageHolder& holder, const std::string& path,
                          const ReadOptions& options = {});

// Writes the image with the writer its extension names. The file appears complete or not at
// all; an existing file is kept unless mode is Replace. NoWriter or the encoder's error when
// the image cannot be encoded (nothing is written); CannotCreateFile when the file cannot be.
ImageStatus SaveImageFile(ImageHolder& holder, const std::string& path,
                          WriteMode mode = WriteMode::NoReplace);

// The registry type recognised from the content at the stream's position, or 0.
int DetectImageFormat(std::span<const std::uint8_t> data);
int DetectImageFormat(const ByteReader& stream);

// Sets the image index of every multi-image format at once.
void SelectImageIndex(ImageHolder& holder, int index);
// Copies every file parameter, palette included.
void CopyFileParams(ImageHolder& target, const ImageHolder& source);

// What the header of the data's first image declares, without decoding its pixels. The format
// is chosen as LoadPictureFromFile chooses it: by content (with the camera-raw rule), else by
// the path's extension. NotRecognised when neither names a format, NoReader when the format
// cannot be read, else the format's verdict on the header.
Result<ImageInfo, ImageError> ReadImageInfo(std::span<const std::uint8_t> data,
                                            std::string_view path);

// The catalogue's picture of a file: its first image, in the format its content identifies
// (camera-raw names whose content is TIFF count as camera raw), else the one its extension
// names. Returns why the picture cannot be decoded.
ImageStatus LoadPictureFromFile(ImageHolder& holder, const std::string& path,
                                const ReadOptions& options = {});
// The catalogue's picture of a stream (the bytes from its position), by detected format.
ImageError LoadPictureFromStream(ImageHolder& holder, const ByteReader& stream,
                                 const ReadOptions& options = {});

}  // namespace gw
