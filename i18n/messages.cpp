#include "i18n/messages.h"

#include <fstream>
#include <iterator>

#include "i18n/encoding.h"

namespace gw {

std::string ReplaceToken(std::string text, std::string_view token, std::string_view replacement) {
    if (token.empty() || replacement.find(token) != std::string_view::npos) return text;
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token))
        text.replace(at, token.size(), replacement);
    return text;
}

const char* MessageKey(Msg message) {
    static constexpr std::array<const char*, kMessageCount> kKeys{
        "MS_Opening",  "MS_Processing", "MS_Ready_1", "MS_Ready_2", "MS_Export_1",
        "MS_Export_2", "MS_SelDir",     "MS_Confirm", "MS_Info",    "MS_ConfirmMsg",
        "MS_Sample",   "MS_Check_1",    "MS_Check_2", "MS_Check_3"};
    return kKeys[static_cast<std::size_t>(message)];
}

void MessageCatalogue::LoadFrom(const IniFile& language) {
    for (std::size_t i = 0; i < kMessageCount; ++i)
        texts_[i] = language.GetString(kMessagesSection, MessageKey(static_cast<Msg>(i)), "");
}

MainWindowTexts ReadMainWindowTexts(const IniFile& language) {
    MainWindowTexts t;
    t.HomepageCaption =
        ReplaceToken(language.GetString(kMessagesSection, "MS_Homepage", ""), "%1", "");
    t.EmailCaption = language.GetString(kMessagesSection, "MS_EMail", "");
    t.VersionCaption =
        ReplaceToken(language.GetString(kMessagesSection, "MS_Ver", ""), "%1", kProgramVersion);
    return t;
}

IniFile LoadLanguageFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile();
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return IniFile::FromText(DecodeCodePage936(bytes));
}

}  // namespace gw
