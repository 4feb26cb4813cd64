#pragma once
// The icon and cursor container: format tests, the readers and loading a holder from a stream.

#include "imagefile/bytereader.h"
#include "imagefile/error.h"
#include "imagefile/raster.h"

namespace gw {

// Both tests look at the stream from its current position and leave the reader unchanged.
bool IsIconStream(const ByteReader& stream);
bool IsCursorStream(const ByteReader& stream);

// Read image params.ICO_ImageIndex (cursor: CUR_ImageIndex) of the container starting at the
// stream's position into image (with its alpha plane, or none when opaque). An out-of-range
// index reads nothing and is NoSuchImage.
ImageError ReadIconImage(ByteReader& stream, RasterImage& image, FileParams& params);
ImageError ReadCursorImage(ByteReader& stream, RasterImage& image, FileParams& params);

// Reads the icon container at the stream's position into the holder: clears the descriptive
// metadata, drops the alpha plane, reads, and records ICO as the format last read. A resolution
// below 2 dpi becomes 300.
ImageError LoadImageStream(ImageHolder& holder, ByteReader& stream);
// The same for cursor containers.
ImageError LoadCursorStream(ImageHolder& holder, ByteReader& stream);

}  // namespace gw
