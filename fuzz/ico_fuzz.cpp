// The icon and cursor container readers. The first byte picks the image index; the container
// starts right after it, so offsets are taken from a stream position other than 0.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_check.h"
#include "imagefile/bytereader.h"
#include "imagefile/ico/reader.h"
#include "imagefile/raster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int index = static_cast<int>(data[0] & 7) - 1;  // -1 .. 6
    const std::span<const std::uint8_t> bytes(data, size);

    gw::ByteReader stream(bytes);
    stream.seek(1);
    gw::IsIconStream(stream);
    gw::IsCursorStream(stream);
    if (stream.pos() != 1) __builtin_trap();  // the tests must not move the reader

    {
        gw::ImageHolder holder;
        holder.Params.ICO_ImageIndex = index;
        gw::ByteReader r(bytes);
        r.seek(1);
        gw::LoadImageStream(holder, r);
        gw::fuzz::CheckImage(holder.Image);
    }
    {
        gw::ImageHolder holder;
        holder.Params.CUR_ImageIndex = index;
        gw::ByteReader r(bytes);
        r.seek(1);
        gw::LoadCursorStream(holder, r);
        gw::fuzz::CheckImage(holder.Image);
    }
    return 0;
}
