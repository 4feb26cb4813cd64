#include "base/appfolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace gw {
namespace {

namespace fs = std::filesystem;

// Where the settings of a program in a given folder go, with XDG_CONFIG_HOME and HOME set as the
// case says. Folders are made under a scratch root per process.
struct SettingsCase {
    const char* name;
    const char* programFolder;  // relative to the scratch root; made unless it starts with "!"
    const char* dataFolder;     // made too when not empty
    const char* xdgConfigHome;  // relative to the root, "" for unset, or taken as it is with "="
    const char* expected;       // relative to the root
};

class OptionsIniPathTest : public ::testing::TestWithParam<SettingsCase> {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("gw_options_ini_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "home");
        if (const char* h = std::getenv("HOME")) oldHome_ = h;
        if (const char* x = std::getenv("XDG_CONFIG_HOME")) oldXdg_ = x;
        ::setenv("HOME", (root_ / "home").c_str(), 1);
    }
    void TearDown() override {
        Restore("HOME", oldHome_);
        Restore("XDG_CONFIG_HOME", oldXdg_);
        fs::remove_all(root_);
    }
    static void Restore(const char* name, const std::string& value) {
        if (value.empty())
            ::unsetenv(name);
        else
            ::setenv(name, value.c_str(), 1);
    }
    fs::path root_;
    std::string oldHome_, oldXdg_;
};

TEST_P(OptionsIniPathTest, KeepsSettingsBesideAPortableCopyOnly) {
    const SettingsCase& c = GetParam();
    std::string folder = c.programFolder;
    const bool make = folder.front() != '!';
    if (!make) folder.erase(0, 1);
    if (make) fs::create_directories(root_ / folder);
    if (*c.dataFolder) fs::create_directories(root_ / c.dataFolder);
    const std::string xdg = c.xdgConfigHome;
    if (xdg.empty())
        ::unsetenv("XDG_CONFIG_HOME");
    else if (xdg.front() == '=')
        ::setenv("XDG_CONFIG_HOME", xdg.c_str() + 1, 1);
    else
        ::setenv("XDG_CONFIG_HOME", (root_ / xdg).c_str(), 1);

    const std::string appFolder = (root_ / folder).string() + "/";
    EXPECT_EQ(OptionsIniPath(appFolder), (root_ / c.expected).string());
    // A settings file away from the program has its folder ready to be written.
    if (fs::path(c.expected).parent_path() != fs::path(folder)) {
        EXPECT_TRUE(fs::is_directory((root_ / c.expected).parent_path()));
    }
}

// The tests run as root as well as a user: every folder here is writable, as /usr/bin is to root.
INSTANTIATE_TEST_SUITE_P(
    Folders, OptionsIniPathTest,
    ::testing::Values(SettingsCase{"BuildFolder", "build", "", "config", "build/Options.ini"},
                      SettingsCase{"PortableCopyWithItsLanguages", "portable", "portable/Languages",
                                   "config", "portable/Options.ini"},
                      SettingsCase{"FolderNamedBinWithoutData", "tools/bin", "", "config",
                                   "tools/bin/Options.ini"},
                      SettingsCase{"InstalledPrefix", "usr/bin", "usr/share/glyphwright", "config",
                                   "config/glyphwright/Options.ini"},
                      SettingsCase{"InstalledPrefixWithoutXdgConfigHome", "opt/gw/bin",
                                   "opt/gw/share/glyphwright", "",
                                   "home/.config/glyphwright/Options.ini"},
                      SettingsCase{"InstalledPrefixWithRelativeXdgConfigHome", "usr/bin",
                                   "usr/share/glyphwright", "=relative/config",
                                   "home/.config/glyphwright/Options.ini"},
                      SettingsCase{"FolderThatCannotBeWritten", "!missing/program", "", "config",
                                   "config/glyphwright/Options.ini"}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

TEST(AppFolder, InstalledLayoutIsBinBesideShareGlyphwright) {
    const fs::path root =
        fs::temp_directory_path() / ("gw_installed_layout_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "prefix/bin");
    EXPECT_FALSE(IsInstalledLayout((root / "prefix/bin").string() + "/"));
    fs::create_directories(root / "prefix/share/glyphwright");
    EXPECT_TRUE(IsInstalledLayout((root / "prefix/bin").string() + "/"));
    EXPECT_FALSE(IsInstalledLayout((root / "prefix").string() + "/"));
    EXPECT_FALSE(IsInstalledLayout((root / "prefix/share").string() + "/"));
    fs::remove_all(root);
}

}  // namespace
}  // namespace gw
