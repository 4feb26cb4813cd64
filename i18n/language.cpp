#include "i18n/language.h"

#include <algorithm>

#include "base/appfolder.h"
#include "i18n/messages.h"

namespace gw {

int ReadLanguageSetting(const IniFile& options) {
    return std::clamp(options.GetInteger("LANGUAGE", "Default", 7), 0, 7);
}

int ReadLanguageSetting(const std::string& optionsPath) {
    return ReadLanguageSetting(IniFile::Load(optionsPath));
}

IniError WriteLanguageSetting(const std::string& optionsPath, int languageIndex) {
    IniFile options = IniFile::Load(optionsPath);
    options.SetInteger("LANGUAGE", "Default", languageIndex);
    return options.Save(optionsPath);
}

std::string LanguageFilePath(const std::string& appFolder) {
    return LanguagesFolder(appFolder) + kLanguageFileName;
}

void ApplyDialogLanguage(const ComponentTable& dialog, const std::string& appFolder, int) {
    ApplyLanguageSection(dialog, "FrmExport", LoadLanguageFile(LanguageFilePath(appFolder)));
}

}  // namespace gw
