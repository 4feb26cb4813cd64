#include "i18n/messages.h"

#include <gtest/gtest.h>

#include "i18n/components.h"
#include "i18n/language.h"

#include <cstdlib>

namespace gw {
namespace {

struct TokenCase {
    const char* name;
    const char* text;
    const char* token;
    const char* replacement;
    const char* expected;
};

class ReplaceTokenCases : public ::testing::TestWithParam<TokenCase> {};

TEST_P(ReplaceTokenCases, Replaces) {
    const TokenCase& c = GetParam();
    EXPECT_EQ(ReplaceToken(c.text, c.token, c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceTokenCases,
    ::testing::Values(TokenCase{"EveryOccurrence", "%1 of %1", "%1", "7", "7 of 7"},
                      TokenCase{"ReplacementHoldingTokenLeavesText", "a%1b", "%1", "x%1", "a%1b"},
                      TokenCase{"RemovalJoinsANewToken", "%%11", "%1", "", ""},
                      TokenCase{"NoToken", "12 icons", "%1", "5", "12 icons"},
                      TokenCase{"EmptyTokenNeverOccurs", "abc", "", "x", "abc"},
                      TokenCase{"CountInStatus", "%1 icons", "%1", "12", "12 icons"},
                      TokenCase{"LineBreak", "a%3b", "%3", "\r\n", "a\r\nb"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MessageCatalogue, ReadsTheFourteenKeysAndNothingElse) {
    auto ini = IniFile::FromText(
        "[Messages]\nMS_Ready_1=Ready\nms_ready_2=%1 icons\nMS_Check_3=missing\n"
        "MS_Homepage=Home %1page\nMS_EMail=Guide\nMS_Ver=Version %1\n");
    MessageCatalogue catalogue;
    catalogue.LoadFrom(ini);
    EXPECT_EQ(catalogue.Get(Msg::MS_Ready_1), "Ready");
    EXPECT_EQ(catalogue.Get(Msg::MS_Ready_2), "%1 icons");
    EXPECT_EQ(catalogue.Get(Msg::MS_Check_3), "missing");
    EXPECT_EQ(catalogue.Get(Msg::MS_Opening), "");
    EXPECT_STREQ(MessageKey(Msg::MS_Check_3), "MS_Check_3");

    MainWindowTexts texts = ReadMainWindowTexts(ini);
    EXPECT_EQ(texts.HomepageCaption, "Home page");
    EXPECT_EQ(texts.EmailCaption, "Guide");
    EXPECT_EQ(texts.VersionCaption, "Version 2.1.8.0");

    MainWindowTexts none = ReadMainWindowTexts(IniFile());
    EXPECT_EQ(none.VersionCaption, "");
    EXPECT_EQ(none.EmailCaption, "");
}

// A window of three components whose setters record what they were given.
struct FakeWindow {
    std::string caption = "built-in", label1 = "L1", label3 = "L3";
    int left = 10, color = 0;
    std::vector<std::string> items;
    ComponentTable table;

    FakeWindow() {
        auto text = [](std::string& target) {
            return [&target](const std::string& v) { target = v; };
        };
        table.Add("").Properties = {{"Caption", PropertyKind::String, {}, text(caption), {}}};
        table.Add("Label1").Properties = {
            {"Caption", PropertyKind::String, {}, text(label1), {}},
            {"Left", PropertyKind::Integer, [this](int v) { left = v; }, {}, {}},
            {"Color", PropertyKind::Integer, [this](int v) { color = v; }, {}, {}}};
        table.Add("Label3").Properties = {{"Caption", PropertyKind::String, {}, text(label3), {}}};
        table.Add("RzComboBox1").Properties = {
            {"Items", PropertyKind::Strings, {}, {}, [this](const std::vector<std::string>& v) {
                 items = v;
             }}};
    }
    void Apply(const std::string& lines) {
        ApplyLanguageSection(table, "FrmIcon", IniFile::FromText("[FrmIcon]\n" + lines));
    }
};

TEST(ApplyLanguageSection, SetsPropertiesByName) {
    struct Case {
        const char* name;
        const char* lines;
        std::string FakeWindow::*field;
        const char* expected;
    };
    const Case cases[] = {
        {"window caption without component", "Caption=Main\n", &FakeWindow::caption, "Main"},
        {"window caption after a bare dot", ".Caption=Main\n", &FakeWindow::caption, "Main"},
        {"value holding equals", "Label1.Caption=a=b\n", &FakeWindow::label1, "a=b"},
        {"names without case", "label1.CAPTION=x\n", &FakeWindow::label1, "x"},
        {"repeated key reads its first line", "Label1.Caption=one\nlabel1.caption=two\n",
         &FakeWindow::label1, "one"},
        {"blanks around names", " Label1 . Caption = y \n", &FakeWindow::label1, "y"},
        {"nested property ignored", "Label1.Font.Name=Arial\n", &FakeWindow::label1, "L1"},
        {"boolean property ignored", "Label1.Visible=0\nLabel3.Caption=X\n", &FakeWindow::label3,
         "X"},
        {"unknown component ignored", "Nothing.Caption=z\nLabel3.Caption=X\n", &FakeWindow::label3,
         "X"},
        {"bad integer ends the section", "Label1.Left=abc\nLabel3.Caption=X\n", &FakeWindow::label3,
         "L3"},
        {"empty integer ends the section", "Label1.Left=\nLabel3.Caption=X\n", &FakeWindow::label3,
         "L3"},
    };
    for (const Case& c : cases) {
        FakeWindow w;
        w.Apply(c.lines);
        EXPECT_EQ(w.*(c.field), c.expected) << c.name;
    }
}

TEST(ApplyLanguageSection, ConvertsIntegersAndLists) {
    FakeWindow w;
    w.Apply("Label1.Left=$20\nLabel1.Color=12222210\nRzComboBox1.Items=A||B||C\n");
    EXPECT_EQ(w.left, 32);
    EXPECT_EQ(w.color, 12222210);
    EXPECT_EQ(w.items, (std::vector<std::string>{"A", "B", "C"}));

    EXPECT_EQ(SplitListValue(""), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitListValue("A||||B"), (std::vector<std::string>{"A", "", "B"}));
}

TEST(ApplyLanguageSection, LinesBeforeABadIntegerStayApplied) {
    FakeWindow w;
    w.Apply("Label1.Caption=first\nLabel1.Left=12z\nLabel1.Left=5\n");
    EXPECT_EQ(w.label1, "first");
    EXPECT_EQ(w.left, 10);
}

TEST(ApplyDialogLanguage, TakesTheExportDialogsSectionOfTheShippedFile) {
    const char* source = std::getenv("GW_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "GW_SOURCE_DIR not set";
    std::vector<std::string> items;
    std::string caption;
    ComponentTable dialog;
    dialog.Add("RzComboBox1").Properties = {
        {"Items", PropertyKind::Strings, {}, {}, [&](const std::vector<std::string>& v) {
             items = v;
         }}};
    dialog.Add("").Properties = {
        {"Caption", PropertyKind::String, {}, [&](const std::string& v) { caption = v; }, {}}};
    ApplyDialogLanguage(dialog, std::string(source) + "/", 2);
    ASSERT_EQ(items.size(), 9u);
    EXPECT_EQ(items.front(), "ICO (*.ico)");
    EXPECT_EQ(items.back(), "PCX (*.pcx)");
    EXPECT_EQ(caption, "\xE5\xAF\xBC\xE5\x87\xBA");  // the dialog's Chinese title
}

}  // namespace
}  // namespace gw
