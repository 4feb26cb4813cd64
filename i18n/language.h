#pragma once
// The interface language: its number in Options.ini and the one language file.

#include <string>

#include "i18n/ini.h"

namespace gw {

inline constexpr int kChineseLanguage = 5;
inline constexpr const char* kLanguageFileName = "Chinese.isl";
inline constexpr const char* kApplicationTitle = "Glyphwright";

// "Default" of section "LANGUAGE": 7 when missing or not a number, clamped to 0..7.
int ReadLanguageSetting(const IniFile& options);
int ReadLanguageSetting(const std::string& optionsPath);

// Writes the number under "Default" of "LANGUAGE", keeping everything else in the file.
IniError WriteLanguageSetting(const std::string& optionsPath, int languageIndex);

}  // namespace gw
