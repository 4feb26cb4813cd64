// The picture readers. The first byte picks the entry point (low four bits: 0 and 14..15 the
// detecting loader, 1..13 one codec's reader) and the size hint (top bit: 80, else 0); the
// picture is the rest of the input.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_check.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/registry.h"
#include "imagefile/raster.h"

namespace {

const gw::FormatCodec* const kCodecs[] = {
    nullptr,         &gw::kTiffCodec, &gw::kGifCodec, &gw::kJpegCodec, &gw::kPcxCodec,
    &gw::kDcxCodec,  &gw::kBmpCodec,  &gw::kPngCodec, &gw::kTgaCodec,  &gw::kPnmCodec,
    &gw::kWbmpCodec, &gw::kPsdCodec,  &gw::kIcoCodec, &gw::kCurCodec,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned selector = data[0] & 0x0f;
    gw::ReadOptions options;
    options.DisplaySizeHint = (data[0] & 0x80) ? 80 : 0;
    const std::span<const std::uint8_t> picture(data + 1, size - 1);

    gw::ImageHolder holder;
    const gw::FormatCodec* codec = selector < std::size(kCodecs) ? kCodecs[selector] : nullptr;
    if (!codec) {
        const int type = gw::DetectImageFormat(picture);
        if (type != gw::DetectImageFormat(gw::ByteReader(picture))) __builtin_trap();
        gw::ByteReader stream(std::span<const std::uint8_t>(data, size));
        stream.seek(1);
        gw::LoadPictureFromStream(holder, stream, options);
    } else {
        if (codec->Probe) codec->Probe(picture);
        if (codec->Read) codec->Read(holder, picture, options);
    }
    gw::fuzz::CheckImage(holder.Image);
    return 0;
}
