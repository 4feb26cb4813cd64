#pragma once
// The language file's code page (936, simplified Chinese) to and from UTF-8.

#include <string>
#include <string_view>

namespace gw {

// Decodes code page 936 text to UTF-8; a byte that does not decode becomes U+FFFD.
std::string DecodeCodePage936(std::string_view bytes);
// Encodes UTF-8 text to code page 936; a character without a code becomes "?".
std::string EncodeCodePage936(std::string_view utf8);

}  // namespace gw
