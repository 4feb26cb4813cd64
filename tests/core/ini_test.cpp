#include "i18n/ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "i18n/encoding.h"
#include "i18n/language.h"

namespace gw {
namespace {

struct ReadCase {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    const char* expected;  // nullptr: missing
};

class IniReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReading, FollowsProfileStringRules) {
    const ReadCase& c = GetParam();
    auto value = IniFile::FromText(c.text).GetString(c.section, c.key);
    if (c.expected == nullptr) {
        EXPECT_FALSE(value.has_value());
    } else {
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReading,
    ::testing::Values(
        ReadCase{"SectionAndKeyIgnoreCase", "[Export]\nSavePath=/tmp\n", "EXPORT", "savepath",
                 "/tmp"},
        ReadCase{"SplitsAtFirstEquals", "[S]\nLabel1.Caption=a=b\n", "S", "Label1.Caption", "a=b"},
        ReadCase{"BlanksAroundKeyAndValueDropped", "[S]\n  key \t=  some value \t\n", "S", "key",
                 "some value"},
        ReadCase{"DoubleQuotesRemoved", "[S]\nk=\" padded \"\n", "S", "k", " padded "},
        ReadCase{"SingleQuotesRemoved", "[S]\nk='x'\n", "S", "k", "x"},
        ReadCase{"MismatchedQuotesKept", "[S]\nk=\"x'\n", "S", "k", "\"x'"},
        ReadCase{"OnlyOnePairRemoved", "[S]\nk=\"\"x\"\"\n", "S", "k", "\"x\""},
        ReadCase{"CrLfLines", "[S]\r\nk=v\r\n[T]\r\nk=w\r\n", "T", "k", "w"},
        ReadCase{"FirstOfRepeatedKeys", "[S]\nk=1\nk=2\n", "S", "k", "1"},
        ReadCase{"KeyOfOtherSectionNotSeen", "[S]\nk=1\n[T]\n", "T", "k", nullptr},
        ReadCase{"MissingSection", "[S]\nk=1\n", "X", "k", nullptr},
        ReadCase{"EmptyValue", "[S]\nk=\n", "S", "k", ""},
        ReadCase{"SectionNameWithBlanks", "[ S ]\nk=1\n", "S", "k", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, ValueIsCutAt2047Bytes) {
    std::string text = "[S]\nk=" + std::string(3000, 'a') + "\n";
    EXPECT_EQ(IniFile::FromText(text).GetString("S", "k")->size(), 2047u);
}

TEST(IniFile, KeysListedInFileOrderWithinTheNameList) {
    auto ini = IniFile::FromText("[S]\nb=1\n  a =2\nnot a key\nC=3\n[T]\nd=4\n");
    EXPECT_EQ(ini.ListKeys("s"), (std::vector<std::string>{"b", "a", "C"}));

    std::string big = "[S]\n";
    for (int i = 0; i < 2000; ++i) big += "key" + std::to_string(10000 + i) + "=x\n";
    auto keys = IniFile::FromText(big).ListKeys("S");
    // Each name of 8 characters takes 9 bytes of the 16384-byte list, which ends with a NUL.
    EXPECT_EQ(keys.size(), (16384u - 1) / 9);
}

// Applying a language section used to look every listed key up again, quadratic in its length.
TEST(IniFile, ListValuesGivesEveryKeyTheValueGetStringReads) {
    auto ini = IniFile::FromText("[S]\nb=1\n  a = \"2\" \nnot a key\nB=3\n[T]\nd=4\n[s]\ne=5\n");
    using Entries = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(ini.ListValues("s"), (Entries{{"b", "1"}, {"a", "2"}, {"B", "1"}}));
    EXPECT_EQ(ini.ListValues("missing"), Entries{});

    std::string big = "[S]\n";
    for (int i = 0; i < 2000; ++i)
        big += "key" + std::to_string(10000 + i % 1500) + "=" + std::to_string(i) + "\n";
    const IniFile many = IniFile::FromText(big);
    const Entries entries = many.ListValues("S");
    ASSERT_EQ(entries.size(), many.ListKeys("S").size());
    for (const auto& [key, value] : entries) ASSERT_EQ(many.GetString("S", key), value) << key;
}

TEST(IniFile, WritingKeepsEveryOtherLine) {
    auto ini = IniFile::FromText("; comment\n[EXPORT]\nSavePath=/a\n\n[Other]\nx = 1\n");
    ini.SetString("export", "SAVEPATH", "/b");
    ini.SetString("EXPORT", "Format", "2");
    ini.SetInteger("LANGUAGE", "Default", 5);
    EXPECT_EQ(
        ini.ToText(),
        "; comment\n[EXPORT]\nSAVEPATH=/b\nFormat=2\n\n[Other]\nx = 1\n[LANGUAGE]\nDefault=5\n");
}

TEST(ParseIntegerText, AcceptsTheIntegerForms) {
    struct C {
        const char* text;
        std::optional<int> value;
    };
    const C cases[] = {{"42", 42},
                       {"  -7", -7},
                       {"+3", 3},
                       {"$1F", 31},
                       {"x10", 16},
                       {"X10", 16},
                       {"0x10", 16},
                       {"0XfF", 255},
                       {"-$10", -16},
                       {"$FFFFFFFF", -1},
                       {"", std::nullopt},
                       {"abc", std::nullopt},
                       {"12a", std::nullopt},
                       {"1 ", std::nullopt},
                       {"$", std::nullopt},
                       {"2147483648", std::nullopt},
                       {"-2147483648", -2147483647 - 1}};
    for (const C& c : cases) EXPECT_EQ(ParseIntegerText(c.text), c.value) << "'" << c.text << "'";
}

TEST(ParseIntegerText, NegatedSmallestHexValueDoesNotOverflow) {
    EXPECT_EQ(ParseIntegerText("-$80000000"), -2147483647 - 1);
    EXPECT_EQ(ParseIntegerText("-0x80000001"), 2147483647);
    EXPECT_EQ(ParseIntegerText("-$FFFFFFFF"), 1);
    const IniFile ini = IniFile::FromText("[FrmIcon]\nButton1.Left=-$80000000\n");
    EXPECT_EQ(ini.GetInteger("FrmIcon", "Button1.Left", 0), -2147483647 - 1);
}

class IniOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("gw_ini_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(IniOnDisk, SaveReplacesAtomicallyAndLeavesNoTemporary) {
    const std::string path = Path("Options.ini");
    { std::ofstream(path) << "[EXPORT]\r\nFormat=3\r\n"; }
    ASSERT_EQ(WriteLanguageSetting(path, 5), IniError::None);
    EXPECT_EQ(IniFile::Load(path).ToText(), "[EXPORT]\r\nFormat=3\r\n[LANGUAGE]\r\nDefault=5\r\n");
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir_)) ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(IniOnDisk, SaveIntoMissingFolderFailsAndSaysSo) {
    EXPECT_EQ(IniFile().Save(Path("missing/Options.ini")), IniError::CannotWrite);
}

TEST_F(IniOnDisk, LanguageSettingDefaultsAndClamps) {
    const std::string path = Path("Options.ini");
    EXPECT_EQ(ReadLanguageSetting(path), 7);  // no file
    const std::pair<const char*, int> cases[] = {
        {"2", 2}, {"-3", 0}, {"99", 7}, {"abc", 7}, {"", 7}};
    for (auto [text, expected] : cases) {
        std::ofstream(path) << "[language]\ndefault=" << text << "\n";
        EXPECT_EQ(ReadLanguageSetting(path), expected) << text;
    }
}

TEST(Encoding, CodePage936RoundTrip) {
    const std::string utf8 = "\xE5\xAE\x8B\xE4\xBD\x93";  // the SimSun face name
    EXPECT_EQ(EncodeCodePage936(utf8), "\xCB\xCE\xCC\xE5");
    EXPECT_EQ(DecodeCodePage936("\xCB\xCE\xCC\xE5"), utf8);
    EXPECT_EQ(DecodeCodePage936("ok"), "ok");
    // A broken UTF-8 lead byte costs one "?" and not the text after it.
    EXPECT_EQ(EncodeCodePage936("a\xE5"
                                "bc"),
              "a?bc");
    // A lone lead byte at the end does not stop the rest from decoding.
    EXPECT_EQ(DecodeCodePage936("a\xCB"), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace gw
