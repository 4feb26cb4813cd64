#pragma once
// The picture-format registry: which files count as images, reading a file or stream into a
// holder, recognising a format from content and writing a holder's image by extension.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imagefile/bytereader.h"
#include "imagefile/codec.h"
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

// One registry row. CanRead / CanWrite tell whether the format has a reader and a writer;
// Codec holds the implementation, whose members may still be missing.
struct TIEFileFormatInfo {
    int Type = 0;
    std::string Name;
    std::string Extensions;  // upper case, separated by ";"
    bool CanRead = false;
    bool CanWrite = false;
    const FormatCodec* Codec = nullptr;
};

// The registry rows in order, built once. The HD Photo row is present only when an
// HD Photo codec is available.
const std::vector<TIEFileFormatInfo>& ImageFormatRegistry();
// The rows for a given HD Photo codec (none: the row is left out).
std::vector<TIEFileFormatInfo> BuildImageFormatRegistry(const FormatCodec* hdPhoto);

// The text after the file name's last ".", lower case, without the dot; empty when none.
std::string FileExtension(std::string_view path);
// The first row listing the path's extension, or null.
const TIEFileFormatInfo* FindFormatByExtension(std::string_view path);
const TIEFileFormatInfo* FindFormatByType(int type);

// True when the path's extension names a row that has a reader; the file is not opened.
bool IsKnownImageFile(std::string_view path);

// Reads image ImageIndex of the file with the reader its extension names. Sets the failure
// flag when there is no such reader or it cannot decode the file; throws FileError when the
// file cannot be opened.
void LoadImageFile(ImageHolder& holder, const std::string& path, const ReadOptions& options = {});

// Writes the image with the writer its extension names, creating or replacing the file.
// Sets the failure flag (and writes nothing) when there is no writer or it cannot encode the
// image; throws FileError when the file cannot be created or the PNG encoder fails.
void SaveImageFile(ImageHolder& holder, const std::string& path);

// The registry type recognised from the content at the stream's position, or 0.
int DetectImageFormat(std::span<const std::uint8_t> data);
int DetectImageFormat(const ByteReader& stream);

// Sets the image index of every multi-image format at once.
void SelectImageIndex(ImageHolder& holder, int index);
// Copies every file parameter, palette included.
void CopyFileParams(ImageHolder& target, const ImageHolder& source);

// The catalogue's picture of a file: its first image, in the format its content identifies
// (camera-raw names whose content is TIFF count as camera raw), else the one its extension
// names. Sets the failure flag when the picture cannot be decoded; throws FileError only when
// the file cannot be opened and its extension names a reader.
void LoadPictureFromFile(ImageHolder& holder, const std::string& path,
                         const ReadOptions& options = {});
// The catalogue's picture of a stream (the bytes from its position), by detected format.
void LoadPictureFromStream(ImageHolder& holder, const ByteReader& stream,
                           const ReadOptions& options = {});

}  // namespace gw
