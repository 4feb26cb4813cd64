#pragma once
// PostScript (Encapsulated, Level 2) and PDF pictures through cairo's document surfaces: one
// page holding the picture at its resolution. Writers only.

#include <cstdint>
#include <vector>

#include "imagefile/formats/codec.h"

namespace gw {

extern const FormatCodec kPostScriptCodec;  // ".ps", ".eps"
extern const FormatCodec kPdfCodec;         // ".pdf"

enum class PageDocument { PostScript, Pdf };

// One page of the picture, 72 / dpi points per pixel. PostScript has no transparency, so there
// the picture is laid on white; a PDF keeps its alpha plane as a soft mask.
ImageError WritePicturePage(const ImageHolder& holder, PageDocument kind,
                            std::vector<std::uint8_t>& out);

}  // namespace gw
