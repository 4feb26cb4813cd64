#include "imagefile/formats/codec.h"
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

}  // namespace

const FormatCodec kIcoCodec{ProbeIco, ReadIco, WriteIco};
const FormatCodec kCurCodec{ProbeCur, ReadCur, nullptr};

}  // namespace gw
