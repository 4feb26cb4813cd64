#pragma once
// One picture format's probe, reader and writer, as the format registry holds them.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imagefile/error.h"
#include "imagefile/raster.h"

namespace gw {

struct ReadOptions {
    // When non-zero the caller only needs a picture about this many pixels on its longer side
    // (a grid thumbnail); a reader may decode at a reduced scale. FileParams still record the
    // file's full ImageWidth and ImageHeight.
    int DisplaySizeHint = 0;
};

// What a file's header declares about its first image, read without decoding pixels.
struct ImageInfo {
    int Type = 0;  // registry type
    int Width = 0;
    int Height = 0;
    int BitsPerChannel = 8;  // declared depth, as a full read records it in FileParams
    int ChannelCount = 3;
    bool HasAlpha = false;  // the full read yields an alpha plane
    int ImageCount = 1;     // where the header tells it, else 1
};

// Looks at the start of the data only and never changes anything.
using ProbeFn = bool (*)(std::span<const std::uint8_t> data);
// Replaces holder.Image and records what it found in holder.Params. Returns why the data cannot
// be decoded; the holder's image is then unspecified but valid.
using ReadFn = ImageError (*)(ImageHolder& holder, std::span<const std::uint8_t> data,
                              const ReadOptions& options);
// Encodes holder.Image with the settings in holder.Params (a writer may change the settings
// it is documented to change, e.g. the Targa compression switch) and appends the file's bytes.
// Returns why the image cannot be written in this format.
using WriteFn = ImageError (*)(ImageHolder& holder, std::vector<std::uint8_t>& out);

// Reads the header only and fills everything but info.Type; returns why the header is unusable.
using InfoFn = ImageError (*)(std::span<const std::uint8_t> data, ImageInfo& info);
// A writer whose output also depends on the file name's extension (lower case, without dot).
using WriteAsFn = ImageError (*)(ImageHolder& holder, std::vector<std::uint8_t>& out,
                                 std::string_view extension);

struct FormatCodec {
    ProbeFn Probe = nullptr;
    ReadFn Read = nullptr;
    WriteFn Write = nullptr;
    InfoFn Info = nullptr;
    WriteAsFn WriteAs = nullptr;  // used instead of Write when present
};

// The codecs, one file pair each (imagefile/formats/<name>.{h,cpp}).
extern const FormatCodec kTiffCodec;
extern const FormatCodec kGifCodec;
extern const FormatCodec kJpegCodec;
extern const FormatCodec kPcxCodec;
extern const FormatCodec kDcxCodec;
extern const FormatCodec kBmpCodec;
extern const FormatCodec kPngCodec;
extern const FormatCodec kTgaCodec;
extern const FormatCodec kPnmCodec;
extern const FormatCodec kWbmpCodec;
extern const FormatCodec kPsdCodec;
extern const FormatCodec kIcoCodec;  // single-image icon writer; reads through the icon reader
extern const FormatCodec kCurCodec;
extern const FormatCodec kWmfCodec, kEmfCodec;  // metafiles: read only

}  // namespace gw
