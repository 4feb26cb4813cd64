// PDF pictures: one page through cairo's PDF surface, the alpha plane kept as a soft mask.

#include "imagefile/formats/postscript.h"

namespace gw {
namespace {

ImageError WritePdf(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    return WritePicturePage(holder, PageDocument::Pdf, out);
}

}  // namespace

const FormatCodec kPdfCodec{nullptr, nullptr, WritePdf};

}  // namespace gw
