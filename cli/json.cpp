#include "cli/json.h"

namespace gw {
namespace {

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a valid one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t n = 0;
    std::uint32_t code = 0;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not valid.
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else if (const std::size_t n = Utf8Length(text, i); n == 0) {
                    out += "\xEF\xBF\xBD";
                } else {
                    out.append(text.substr(i, n));
                    i += n;
                    continue;
                }
        }
        ++i;
    }
    out += '"';
    return out;
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) out_ << ',';
        first_.back() = false;
    }
}

void JsonWriter::BeginObject() {
    BeforeValue();
    out_ << '{';
    first_.push_back(true);
}

void JsonWriter::EndObject() {
    first_.pop_back();
    out_ << '}';
    if (first_.empty()) out_ << '\n';
}

void JsonWriter::BeginArray() {
    BeforeValue();
    out_ << '[';
    first_.push_back(true);
}

void JsonWriter::EndArray() {
    first_.pop_back();
    out_ << ']';
    if (first_.empty()) out_ << '\n';
}

void JsonWriter::Key(std::string_view name) {
    BeforeValue();
    out_ << JsonString(name) << ':';
    afterKey_ = true;
}

void JsonWriter::String(std::string_view value) {
    BeforeValue();
    out_ << JsonString(value);
}

void JsonWriter::Number(std::int64_t value) {
    BeforeValue();
    out_ << value;
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    out_ << (value ? "true" : "false");
}

}  // namespace gw
