#pragma once
// Metafile text: record strings decoded to UTF-8, and lines of text drawn through cairo's
// font selection (fontconfig picks the face).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "imagefile/metafile/canvas.h"

namespace gw {

// Text of a metafile record as UTF-8: bytes in the code page of the font's character set, or
// UTF-16 little-endian code units.
std::string TextFromCharSet(std::span<const std::uint8_t> bytes, int charSet);
std::string TextFromUtf16(std::span<const std::uint8_t> bytes);

// One line of text in picture pixels.
struct TextRun {
    std::string_view Utf8;
    const MetaFont* Font = nullptr;
    double ScaleX = 1, ScaleY = 1;  // logical units to pixels
    double MaxSize = 0;             // larger fonts are not drawn
    MetaPoint Origin;               // the reference point, in pixels
    std::uint32_t Align = 0;        // TA_* flags
    bool Opaque = false;            // fill the text's cell with the background first
    Rgb Color, Background;
    std::span<const double> Advances;  // logical widths, one per character, or empty
};

// Draws the run with cairo's current clip; returns its width in pixels.
double DrawTextRun(cairo_t* cr, const TextRun& run);

}  // namespace gw
