// Detection and loading, as opening a file does it: every reader, the library-backed ones
// (TIFF, GIF, JPEG, PNG, JPEG 2000, camera raw, DICOM, HD Photo) among them. The first byte's
// top bit asks for an 80-pixel display size; the picture is the rest of the input, read from
// stream position 1.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_check.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/registry.h"
#include "imagefile/raster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    gw::ReadOptions options;
    options.DisplaySizeHint = (data[0] & 0x80) ? 80 : 0;
    const std::span<const std::uint8_t> picture(data + 1, size - 1);
    gw::ByteReader stream(std::span<const std::uint8_t>(data, size));
    stream.seek(1);
    if (gw::DetectImageFormat(picture) != gw::DetectImageFormat(stream)) __builtin_trap();
    if (stream.pos() != 1) __builtin_trap();  // detection must not move the reader

    gw::ImageHolder holder;
    const gw::ImageError error = gw::LoadPictureFromStream(holder, stream, options);
    if (error == gw::ImageError::None && holder.Image.Empty()) __builtin_trap();
    gw::fuzz::CheckImage(holder.Image);
    return 0;
}
