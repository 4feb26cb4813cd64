#pragma once
// One picture format's probe, reader and writer, as the format registry holds them.

#include <cstdint>
#include <span>
#include <string>
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

struct FormatCodec {
    ProbeFn Probe = nullptr;
    ReadFn Read = nullptr;
    WriteFn Write = nullptr;
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
