// Strings of metafile text records as UTF-8: ANSI text in the code page its font's character
// set names (through iconv), wide text from UTF-16.

#include <iconv.h>

#include <cstdint>
#include <span>
#include <string>

#include "imagefile/metafile/canvas.h"

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

}  // namespace

std::string TextFromCharSet(std::span<const std::uint8_t> bytes, int charSet) {
    return Convert(bytes, CodePageOf(charSet));
}

std::string TextFromUtf16(std::span<const std::uint8_t> bytes) {
    return Convert(bytes.first(bytes.size() & ~std::size_t{1}), "UTF-16LE");
}

}  // namespace gw
