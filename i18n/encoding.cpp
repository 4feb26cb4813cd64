#include "i18n/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace gw {
namespace {

class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts everything it can; at a byte it cannot convert, appends the replacement,
    // skips one source byte (or one UTF-8 character) and goes on.
    std::string Run(std::string_view in, std::string_view replacement, bool skipUtf8Char) {
        std::string out;
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::string(in);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char* dst = buf;
            std::size_t dstLeft = sizeof buf;
            std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r != static_cast<std::size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            out += replacement;
            std::size_t skip = 1;
            if (skipUtf8Char) {
                // One character: the lead byte and the continuation bytes that really follow it.
                auto lead = static_cast<unsigned char>(*src);
                const std::size_t most = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                while (skip < most && skip < srcLeft &&
                       (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80)
                    ++skip;
            }
            if (skip > srcLeft) skip = srcLeft;
            src += skip;
            srcLeft -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

  private:
    iconv_t cd_;
};

}  // namespace

std::string DecodeCodePage936(std::string_view bytes) {
    return Converter("UTF-8", "CP936").Run(bytes, "\xEF\xBF\xBD", false);
}

std::string EncodeCodePage936(std::string_view utf8) {
    return Converter("CP936", "UTF-8").Run(utf8, "?", true);
}

}  // namespace gw
