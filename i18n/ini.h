#pragma once
// INI files with the reading and writing rules of the classic profile-string functions:
// names match without regard to case, a line splits at its first "=", blanks around key and
// value are dropped, one pair of enclosing quotes is removed and values are cut at 2047 bytes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gw {

enum class IniError { None, CannotWrite, CannotReplace };
const char* IniErrorText(IniError error);

class IniFile {
  public:
    static constexpr std::size_t kMaxValueBytes = 2047;
    static constexpr std::size_t kKeyListBytes = 16384;

    IniFile() = default;
    // Parses text; CR LF, LF and CR line ends are accepted.
    static IniFile FromText(std::string_view text);
    // Reads a file; a missing or unreadable file gives an empty one.
    static IniFile Load(const std::string& path);

    // The value under section/key, read by the rules above; nullopt when missing.
    std::optional<std::string> GetString(std::string_view section, std::string_view key) const;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const;
    // An integer value; the fallback when missing or not an integer.
    int GetInteger(std::string_view section, std::string_view key, int fallback) const;
    // Key names of a section in file order, as far as they fit the 16384-byte name list.
    std::vector<std::string> ListKeys(std::string_view section) const;
    // ListKeys with each key's value as GetString reads it (a repeated key gives its first
    // line's value), in one pass over the section.
    std::vector<std::pair<std::string, std::string>> ListValues(std::string_view section) const;
    bool HasSection(std::string_view section) const;

    // Sets a value, creating the section or key when missing; every other line stays as it was.
    void SetString(std::string_view section, std::string_view key, std::string_view value);
    void SetInteger(std::string_view section, std::string_view key, int value);

    std::string ToText() const;
    // Replaces the file atomically: a temporary file beside it, flushed, then renamed over it.
    IniError Save(const std::string& path) const;

  private:
    // Index of the section's header line, or npos.
    std::size_t FindSection(std::string_view section) const;
    // Index of the key's line inside the section starting after header, or npos.
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    std::size_t SectionEnd(std::size_t header) const;

    std::vector<std::string> lines_;
    std::string eol_ = "\r\n";
};

// Integer text as the language and settings files accept it: optional leading blanks, an
// optional sign, then decimal digits or hexadecimal digits after "$", "x", "X", "0x" or "0X".
// nullopt for anything else, an empty text and values outside 32 bits included.
std::optional<int> ParseIntegerText(std::string_view text);

// Drops leading and trailing characters of code 0 to 32.
std::string_view TrimControl(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace gw
