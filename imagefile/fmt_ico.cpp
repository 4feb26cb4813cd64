#include "imagefile/codec.h"
#include "imagefile/ico.h"
#include "imagefile/icowriter.h"

namespace gw {
namespace {

bool ProbeIco(std::span<const std::uint8_t> data) {
    return IsIconStream(ByteReader(data));
}

bool ReadIco(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader stream(data);
    LoadImageStream(holder, stream);
    return !holder.Failed;
}

bool WriteIco(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    if (holder.Image.Empty()) return false;
    EncodeIconFile(std::span<ImageHolder>(&holder, 1), 0, out);
    return true;
}

bool ProbeCur(std::span<const std::uint8_t> data) {
    return IsCursorStream(ByteReader(data));
}

bool ReadCur(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader stream(data);
    LoadCursorStream(holder, stream);
    return !holder.Failed;
}

}  // namespace

const FormatCodec kIcoCodec{ProbeIco, ReadIco, WriteIco};
const FormatCodec kCurCodec{ProbeCur, ReadCur, nullptr};

}  // namespace gw
