#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/ico/reader.h"
#include "imagefile/ico/writer.h"

namespace gw {
namespace {

bool ProbeIco(std::span<const std::uint8_t> data) {
    return IsIconStream(ByteReader(data));
}

ImageError ReadIco(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader stream(data);
    return LoadImageStream(holder, stream);
}

ImageError WriteIco(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    if (holder.Image.Empty()) return ImageError::CannotEncode;
    EncodeIconFile(std::span<ImageHolder>(&holder, 1), 0, out);
    return ImageError::None;
}

bool ProbeCur(std::span<const std::uint8_t> data) {
    return IsCursorStream(ByteReader(data));
}

ImageError ReadCur(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader stream(data);
    return LoadCursorStream(holder, stream);
}

// Whether the first image has an alpha plane depends on its mask and pixels, so the (small,
// bounded) first image is read; the directory gives the count.
ImageError InfoContainer(std::span<const std::uint8_t> data, ImageInfo& info, ReadFn read) {
    ImageHolder holder;
    if (const ImageError e = read(holder, data, {}); e != ImageError::None) return e;
    ByteReader r(data);
    r.skip(4);
    const std::uint16_t count = r.u16le();
    info = InfoOfRead(holder);
    // A bitmap file in an icon's place is one image.
    if (r.ok() && count > 0 && !(data[0] == 'B' && data[1] == 'M')) info.ImageCount = count;
    return ImageError::None;
}

ImageError InfoIco(std::span<const std::uint8_t> data, ImageInfo& info) {
    return InfoContainer(data, info, ReadIco);
}

ImageError InfoCur(std::span<const std::uint8_t> data, ImageInfo& info) {
    return InfoContainer(data, info, ReadCur);
}

}  // namespace

const FormatCodec kIcoCodec{ProbeIco, ReadIco, WriteIco, InfoIco};
const FormatCodec kCurCodec{ProbeCur, ReadCur, nullptr, InfoCur};

}  // namespace gw
