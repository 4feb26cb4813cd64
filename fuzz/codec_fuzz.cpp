// One picture reader on its own (GW_FUZZ_CODEC names its codec). The first byte's top bit asks
// for an 80-pixel display size; the picture is the rest of the input.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_check.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/dicom.h"
#include "imagefile/raster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const gw::FormatCodec& codec = gw::GW_FUZZ_CODEC;
    gw::ReadOptions options;
    options.DisplaySizeHint = (data[0] & 0x80) ? 80 : 0;
    const std::span<const std::uint8_t> picture(data + 1, size - 1);
    if (codec.Probe) codec.Probe(picture);
    gw::ImageHolder holder;
    if (codec.Read(holder, picture, options) == gw::ImageError::None) {
        if (holder.Image.Empty()) __builtin_trap();
        gw::fuzz::CheckImage(holder.Image);
    } else {
        gw::fuzz::CheckImage(holder.Image);
    }
    return 0;
}
