// Strings of metafile text records as UTF-8 (ANSI text in the code page its font's character
// set names, through iconv; wide text from UTF-16) and their drawing with cairo's toy font API,
// which asks fontconfig for the face.

#include "imagefile/metafile/text.h"

#include <cairo.h>
#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace gw {
namespace {

const char* CodePageOf(int charSet) {
    switch (charSet) {
        case 128:
            return "CP932";  // Shift-JIS
        case 129:
            return "CP949";  // Hangul
        case 130:
            return "JOHAB";
        case 134:
            return "CP936";  // GB 2312
        case 136:
            return "CP950";  // Big5
        case 161:
            return "CP1253";  // Greek
        case 162:
            return "CP1254";  // Turkish
        case 163:
            return "CP1258";  // Vietnamese
        case 177:
            return "CP1255";  // Hebrew
        case 178:
            return "CP1256";  // Arabic
        case 186:
            return "CP1257";  // Baltic
        case 204:
            return "CP1251";  // Cyrillic
        case 222:
            return "CP874";  // Thai
        case 238:
            return "CP1250";  // Eastern Europe
        default:
            return "CP1252";  // ANSI, and the symbol sets drawn with it
    }
}

// Converts with iconv, replacing what cannot be converted by "?"; empty when iconv knows
// neither encoding.
std::string Convert(std::span<const std::uint8_t> bytes, const char* from) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (outLeft == 0) break;
        ++in, --inLeft;  // an invalid or incomplete sequence: one byte becomes "?"
        *dst++ = '?';
        --outLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

// Character sets whose text the Latin fonts cannot show; fontconfig's CJK font stands in.
bool NeedsCjkFont(int charSet) {
    return charSet == 128 || charSet == 129 || charSet == 130 || charSet == 134 || charSet == 136;
}

// The UTF-8 sequences of a string, one per character.
std::vector<std::string_view> Characters(std::string_view s) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t n = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 1;
        n = std::min(n, s.size() - i);
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

void SetColour(cairo_t* c, Rgb rgb) {
    cairo_set_source_rgb(c, rgb.r / 255.0, rgb.g / 255.0, rgb.b / 255.0);
}

}  // namespace

double DrawTextRun(cairo_t* c, const TextRun& run) {
    if (run.Utf8.empty() || !run.Font) return 0;
    const MetaFont& f = *run.Font;
    const std::string face = NeedsCjkFont(f.CharSet) ? std::string("WenQuanYi Zen Hei")
                             : f.Face.empty()        ? std::string("sans-serif")
                                                     : f.Face;
    cairo_select_font_face(c, face.c_str(),
                           f.Italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           f.Weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    // Height 0 asks for the default font, about 12 points.
    const double size = f.Height == 0 ? 16 : std::fabs(f.Height) * run.ScaleY;
    if (!std::isfinite(size) || size < 0.5 || size > run.MaxSize) return 0;
    cairo_set_font_size(c, size);
    cairo_font_extents_t fe;
    if (f.Height > 0) {  // a cell height: the character height is what is left of it
        cairo_font_extents(c, &fe);
        if (fe.ascent + fe.descent > 0)
            cairo_set_font_size(c, size * size / (fe.ascent + fe.descent));
    }
    cairo_font_extents(c, &fe);
    const std::string text(run.Utf8);
    const std::vector<std::string_view> chars = Characters(text);
    const bool placed = run.Advances.size() == chars.size();
    double width = 0;
    if (placed) {
        for (double a : run.Advances) width += a * run.ScaleX;
    } else {
        cairo_text_extents_t te;
        cairo_text_extents(c, text.c_str(), &te);
        width = te.x_advance;
    }
    cairo_translate(c, run.Origin.x, run.Origin.y);
    cairo_rotate(c, -f.Escapement / 10.0 * 3.14159265358979323846 / 180.0);
    const std::uint32_t horizontal = run.Align & 6, vertical = run.Align & 24;
    const double x = horizontal == 6 ? -width / 2 : horizontal == 2 ? -width : 0;
    const double y = vertical == 24 ? 0 : vertical == 8 ? -fe.descent : fe.ascent;
    if (run.Opaque) {
        cairo_rectangle(c, x, y - fe.ascent, width, fe.ascent + fe.descent);
        SetColour(c, run.Background);
        cairo_fill(c);
    }
    SetColour(c, run.Color);
    if (placed) {
        double pen = x;
        for (std::size_t i = 0; i < chars.size(); ++i) {
            const std::string one(chars[i]);
            cairo_move_to(c, pen, y);
            cairo_show_text(c, one.c_str());
            pen += run.Advances[i] * run.ScaleX;
        }
    } else {
        cairo_move_to(c, x, y);
        cairo_show_text(c, text.c_str());
    }
    const double thickness = std::max(1.0, size / 14);
    if (f.Underline) cairo_rectangle(c, x, y + fe.descent / 2, width, thickness);
    if (f.StrikeOut) cairo_rectangle(c, x, y - fe.ascent / 3, width, thickness);
    if (f.Underline || f.StrikeOut) cairo_fill(c);
    return width;
}

std::string TextFromCharSet(std::span<const std::uint8_t> bytes, int charSet) {
    return Convert(bytes, CodePageOf(charSet));
}

std::string TextFromUtf16(std::span<const std::uint8_t> bytes) {
    return Convert(bytes.first(bytes.size() & ~std::size_t{1}), "UTF-16LE");
}

}  // namespace gw
