#pragma once
// The interface language: its number in Options.ini and the one language file.

#include <string>

#include "i18n/components.h"
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

// The language file in use: Chinese.isl in the program's language folder.
std::string LanguageFilePath(const std::string& appFolder);

// Applies the export dialog's section of the language file to a dialog just created, whatever
// number is passed.
void ApplyDialogLanguage(const ComponentTable& dialog, const std::string& appFolder,
                         int languageNumber);

}  // namespace gw
