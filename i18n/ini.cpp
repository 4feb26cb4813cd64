#include "i18n/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_map>

namespace gw {
namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// "[name]" gives name; anything else nullopt.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimBlanks(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    std::size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimBlanks(line.substr(1, close - 1));
}

// The key part of "key=value", or nullopt for a line without "=".
std::optional<std::string_view> KeyOf(std::string_view line) {
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return TrimBlanks(line.substr(0, eq));
}

std::string ValueOf(std::string_view line) {
    std::string_view v = TrimBlanks(line.substr(line.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    if (v.size() > IniFile::kMaxValueBytes) {
        // Cut at a character boundary so a decoded multi-byte character is never split.
        std::size_t cut = IniFile::kMaxValueBytes;
        while (cut > 0 && (static_cast<unsigned char>(v[cut]) & 0xC0) == 0x80) --cut;
        v = v.substr(0, cut);
    }
    return std::string(v);
}

}  // namespace

const char* IniErrorText(IniError error) {
    switch (error) {
        case IniError::None:
            return "no error";
        case IniError::CannotWrite:
            return "cannot write the settings file";
        case IniError::CannotReplace:
            return "cannot replace the settings file";
    }
    return "unknown error";
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view TrimControl(std::string_view text) {
    auto ctl = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && ctl(text.front())) text.remove_prefix(1);
    while (!text.empty() && ctl(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<int> ParseIntegerText(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && (s.front() == '$' || s.front() == 'x' || s.front() == 'X')) {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    long long value = 0;
    for (char c : s) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFll) return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal text names the 32 bits directly: $FFFFFFFF is -1.
        // Negated as 32 bits, so that -$80000000 stays the smallest int instead of overflowing.
        const auto bits = static_cast<std::uint32_t>(value);
        return static_cast<int>(negative ? 0u - bits : bits);
    }
    if (negative) value = -value;
    if (value < -2147483648ll || value > 2147483647ll) return std::nullopt;
    return static_cast<int>(value);
}

IniFile IniFile::FromText(std::string_view text) {
    IniFile ini;
    if (text.find("\r\n") == std::string_view::npos && text.find('\n') != std::string_view::npos)
        ini.eol_ = "\n";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            ini.lines_.emplace_back(text.substr(start));
            break;
        }
        ini.lines_.emplace_back(text.substr(start, end - start));
        start =
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return ini;
}

IniFile IniFile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile();
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return FromText(text);
}

std::size_t IniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto name = SectionName(lines_[i]);
        if (name && EqualsNoCase(*name, section)) return i;
    }
    return npos;
}

std::size_t IniFile::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && !SectionName(lines_[i])) ++i;
    return i;
}

std::size_t IniFile::FindKey(std::size_t header, std::string_view key) const {
    std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        auto k = KeyOf(lines_[i]);
        if (k && EqualsNoCase(*k, key)) return i;
    }
    return npos;
}

bool IniFile::HasSection(std::string_view section) const {
    return FindSection(section) != npos;
}

std::optional<std::string> IniFile::GetString(std::string_view section,
                                              std::string_view key) const {
    std::size_t header = FindSection(section);
    if (header == npos) return std::nullopt;
    std::size_t line = FindKey(header, TrimBlanks(key));
    if (line == npos) return std::nullopt;
    return ValueOf(lines_[line]);
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback) const {
    auto v = GetString(section, key);
    return v ? *v : std::string(fallback);
}

int IniFile::GetInteger(std::string_view section, std::string_view key, int fallback) const {
    auto v = GetString(section, key);
    if (!v) return fallback;
    auto n = ParseIntegerText(*v);
    return n ? *n : fallback;
}

std::vector<std::string> IniFile::ListKeys(std::string_view section) const {
    std::vector<std::string> keys;
    std::size_t header = FindSection(section);
    if (header == npos) return keys;
    // Each name takes its length plus a terminator; the list itself ends with one more.
    std::size_t used = 1;
    std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        auto k = KeyOf(lines_[i]);
        if (!k) continue;
        if (used + k->size() + 1 > kKeyListBytes) break;
        used += k->size() + 1;
        keys.emplace_back(*k);
    }
    return keys;
}

std::vector<std::pair<std::string, std::string>> IniFile::ListValues(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    const std::size_t header = FindSection(section);
    if (header == npos) return entries;
    std::unordered_map<std::string, std::size_t> first;  // lower-case key, its first entry
    std::size_t used = 1;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        auto k = KeyOf(lines_[i]);
        if (!k) continue;
        if (used + k->size() + 1 > kKeyListBytes) break;
        used += k->size() + 1;
        std::string lower(*k);
        for (char& c : lower) c = Lower(c);
        const auto [it, added] = first.try_emplace(std::move(lower), entries.size());
        std::string value = added ? ValueOf(lines_[i]) : entries[it->second].second;
        entries.emplace_back(std::string(*k), std::move(value));
    }
    return entries;
}

void IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + std::string(value);
    std::size_t header = FindSection(section);
    if (header == npos) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(line);
        return;
    }
    std::size_t existing = FindKey(header, key);
    if (existing != npos) {
        lines_[existing] = line;
        return;
    }
    // After the section's last non-blank line, so blank separators stay between sections.
    std::size_t at = SectionEnd(header);
    while (at > header + 1 && TrimBlanks(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), line);
}

void IniFile::SetInteger(std::string_view section, std::string_view key, int value) {
    SetString(section, key, std::to_string(value));
}

std::string IniFile::ToText() const {
    std::string out;
    for (const auto& l : lines_) {
        out += l;
        out += eol_;
    }
    return out;
}

IniError IniFile::Save(const std::string& path) const {
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return IniError::CannotWrite;
    std::string text = ToText();
    const char* p = text.data();
    std::size_t left = text.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(tmp.c_str());
        return IniError::CannotWrite;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return IniError::CannotReplace;
    }
    return IniError::None;
}

}  // namespace gw
