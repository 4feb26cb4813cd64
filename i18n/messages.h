#pragma once
// The run-time texts of the program, their placeholders, and reading them from a language file.

#include <array>
#include <string>
#include <string_view>

#include "i18n/ini.h"

namespace gw {

// Placeholder replacement: every occurrence of token, searched again from the start after each
// replacement. A replacement that itself holds the token leaves the text unchanged, and an
// empty token never occurs.
std::string ReplaceToken(std::string text, std::string_view token, std::string_view replacement);

enum class Msg {
    MS_Opening,
    MS_Processing,
    MS_Ready_1,
    MS_Ready_2,
    MS_Export_1,
    MS_Export_2,
    MS_SelDir,
    MS_Confirm,
    MS_Info,
    MS_ConfirmMsg,
    MS_Sample,
    MS_Check_1,
    MS_Check_2,
    MS_Check_3,
};
inline constexpr std::size_t kMessageCount = 14;

// The key of a message in the "Messages" section.
const char* MessageKey(Msg message);

// The fourteen texts, each empty until a language is loaded; there are no built-in texts.
class MessageCatalogue {
  public:
    const std::string& Get(Msg message) const { return texts_[static_cast<std::size_t>(message)]; }
    void Set(Msg message, std::string text) {
        texts_[static_cast<std::size_t>(message)] = std::move(text);
    }
    // Every message := the text of its key, empty when missing.
    void LoadFrom(const IniFile& language);

  private:
    std::array<std::string, kMessageCount> texts_;
};

// What the "Messages" section gives the main window besides the catalogue.
struct MainWindowTexts {
    std::string HomepageCaption;  // MS_Homepage with every "%1" removed
    std::string EmailCaption;     // MS_EMail
    std::string VersionCaption;   // MS_Ver with "%1" replaced by the version
};

inline constexpr const char* kProgramVersion = "2.1.8.0";
inline constexpr const char* kMessagesSection = "Messages";

MainWindowTexts ReadMainWindowTexts(const IniFile& language);

// Reads a language file (code page 936) and returns it decoded to UTF-8; an empty file when it
// is missing or unreadable.
IniFile LoadLanguageFile(const std::string& path);

}  // namespace gw
