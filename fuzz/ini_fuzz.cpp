// Language and settings files. Up to the first NUL byte the input holds "section\1key\1value"
// for the look-ups and the edit (fixed names when there is no NUL); the rest is the file text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/components.h"
#include "i18n/encoding.h"
#include "i18n/ini.h"

namespace {

gw::ComponentTable MakeWindow() {
    gw::ComponentTable window;
    auto ignoreInt = [](int) {};
    auto ignoreString = [](const std::string&) {};
    auto ignoreStrings = [](const std::vector<std::string>&) {};
    gw::Component& form = window.Add("");
    form.Properties.push_back({"Caption", gw::PropertyKind::String, {}, ignoreString, {}});
    form.Properties.push_back({"Width", gw::PropertyKind::Integer, ignoreInt, {}, {}});
    for (const char* name : {"Button1", "Label25", "RzComboBox1"}) {
        gw::Component& c = window.Add(name);
        c.Properties.push_back({"Left", gw::PropertyKind::Integer, ignoreInt, {}, {}});
        c.Properties.push_back({"Caption", gw::PropertyKind::String, {}, ignoreString, {}});
        c.Properties.push_back({"Hint", gw::PropertyKind::String, {}, ignoreString, {}});
        c.Properties.push_back({"Items", gw::PropertyKind::Strings, {}, {}, ignoreStrings});
    }
    return window;
}

std::string_view NextField(std::string_view& names) {
    const std::size_t cut = names.find('\1');
    std::string_view field = names.substr(0, cut);
    names = cut == std::string_view::npos ? std::string_view{} : names.substr(cut + 1);
    return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const gw::ComponentTable window = MakeWindow();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view text = input;
    std::string_view section = "FrmIcon", key = "Button1.Caption", value = "New value";
    if (const std::size_t nul = input.find('\0'); nul != std::string_view::npos) {
        std::string_view names = input.substr(0, nul);
        text = input.substr(nul + 1);
        section = NextField(names);
        key = NextField(names);
        value = names;
    }

    gw::IniFile ini = gw::IniFile::FromText(text);
    for (std::string_view s : {section, std::string_view("FrmIcon"), std::string_view("")}) {
        ini.HasSection(s);
        const std::vector<std::string> keys = ini.ListKeys(s);
        const auto entries = ini.ListValues(s);
        if (entries.size() != keys.size()) __builtin_trap();
        for (const auto& [k, v] : entries) gw::ParseIntegerText(v);
        if (!entries.empty() && ini.GetString(s, entries.back().first) != entries.back().second)
            __builtin_trap();
    }
    ini.GetString(section, key, "fallback");
    ini.GetInteger(section, key, 7);
    gw::ApplyLanguageSection(window, section, ini);
    gw::ApplyLanguageSection(window, "FrmIcon", ini);

    ini.SetString(section, key, value);
    const std::string written = ini.ToText();
    gw::IniFile reread = gw::IniFile::FromText(written);
    reread.ListKeys(section);
    reread.GetString(section, key);

    const std::string utf8 = gw::DecodeCodePage936(text);
    gw::EncodeCodePage936(utf8);
    gw::EncodeCodePage936(text);
    return 0;
}
