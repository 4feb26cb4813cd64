#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include "base/appfolder.h"
#include "base/paths.h"

#include <cstdlib>
#include <filesystem>

namespace gw {
namespace {

Catalogue Filled(int n) {
    Catalogue c;
    for (int i = 0; i < n; ++i)
        c.Append(IconEntry{"/f/" + std::to_string(i), std::to_string(i), i, nullptr});
    return c;
}

std::vector<std::string> Names(const Catalogue& c) {
    std::vector<std::string> names;
    for (int i = 0; i < c.Count(); ++i) names.push_back(c.Entry(i).DisplayName);
    return names;
}

TEST(Catalogue, AppendKeepsOrderAndSelectsTheNewEntryAlone) {
    Catalogue c = Filled(3);
    EXPECT_EQ(c.Append(IconEntry{"/x", "x", 0, nullptr}), 3);
    EXPECT_EQ(c.SelectedCount(), 1);
    EXPECT_EQ(c.Current(), 3);
    EXPECT_EQ(Names(c), (std::vector<std::string>{"0", "1", "2", "x"}));
}

TEST(Catalogue, TagOutsideTheRange) {
    Catalogue c = Filled(2);
    c.SetTag(1, 7);
    c.SetTag(5, 9);
    EXPECT_EQ(c.Tag(1), 7);
    EXPECT_EQ(c.Tag(2), -1);
    EXPECT_EQ(c.Tag(-1), -1);
    EXPECT_EQ(c.PictureWidth(9), 0);
}

TEST(Catalogue, SelectionKeepsTheOrderOfSelection) {
    Catalogue c = Filled(6);
    c.SelectOnly(4);
    c.ToggleSelection(1);
    c.ToggleSelection(3);
    EXPECT_EQ(c.Selection(), (std::vector<int>{4, 1, 3}));
    EXPECT_EQ(c.Current(), 3);
    c.ToggleSelection(3);  // taken out: no current entry
    EXPECT_EQ(c.Current(), -1);
    EXPECT_FALSE(c.IsSelected(3));
    c.SelectRange(5, 2);
    EXPECT_EQ(c.Selection(), (std::vector<int>{5, 4, 3, 2}));
    EXPECT_EQ(c.Current(), 2);
}

TEST(Catalogue, RemoveSelectedSelectsTheFollower) {
    struct C {
        const char* name;
        std::vector<int> select;  // in order; the last is current
        bool dropCurrent;
        std::vector<std::string> left;
        int selected;  // index after removal, -1 none
    };
    const C cases[] = {
        {"follower of the current entry",
         {2, 5},
         false,
         {"0", "1", "3", "4", "6", "7", "8", "9"},
         4},
        {"last remaining when nothing follows",
         {9, 8},
         false,
         {"0", "1", "2", "3", "4", "5", "6", "7"},
         7},
        {"nothing without a current entry",
         {2, 5},
         true,
         {"0", "1", "2", "3", "4", "6", "7", "8", "9"},
         -1},
        {"skips selected followers", {3, 1, 2}, false, {"0", "4", "5", "6", "7", "8", "9"}, 1},
    };
    for (const C& k : cases) {
        Catalogue c = Filled(10);
        c.ClearSelection();
        for (int i : k.select) c.ToggleSelection(i);
        if (k.dropCurrent) c.ToggleSelection(k.select.front());
        c.RemoveSelected();
        EXPECT_EQ(Names(c), k.left) << k.name;
        if (k.selected < 0) {
            EXPECT_EQ(c.SelectedCount(), 0) << k.name;
        } else {
            EXPECT_EQ(c.Selection(), std::vector<int>{k.selected}) << k.name;
            EXPECT_EQ(c.Current(), k.selected) << k.name;
        }
    }
}

TEST(Catalogue, RemovingEverythingLeavesNothingSelected) {
    Catalogue c = Filled(3);
    c.SelectRange(0, 2);
    c.RemoveSelected();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.SelectedCount(), 0);
    c = Filled(3);
    c.RemoveAll();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.Current(), -1);
    EXPECT_EQ(c.Tag(0), -1);
}

TEST(GridLayout, CellsAndHitTests) {
    const int width = 716;  // the grid's client width in the main window
    EXPECT_EQ(GridLayout::Columns(width), 8);
    EXPECT_EQ(GridLayout::CellLeft(9, width), 6 + 86);
    EXPECT_EQ(GridLayout::CellTop(9, width, 0), 6 + 86);
    EXPECT_EQ(GridLayout::CellTop(9, width, 50), 6 + 86 - 50);
    struct C {
        int x, y, scroll, expected;
    };
    const C cases[] = {{6, 6, 0, 0},   {85, 85, 0, 0},  {86, 6, 0, -1},        {92, 6, 0, 1},
                       {5, 6, 0, -1},  {6, 92, 0, 8},   {6, 6, 86, 8},         {6, 92, 0, 8},
                       {608, 6, 0, 7}, {694, 6, 0, -1}, {6, 6 + 86 * 2, 0, -1}};
    for (const C& c : cases)
        EXPECT_EQ(GridLayout::ItemAt(c.x, c.y, width, c.scroll, 10), c.expected)
            << c.x << "," << c.y;
}

TEST(Picture, KeepsTheOriginalSizeAndFitsTheCell) {
    RasterImage img;
    ASSERT_TRUE(img.Allocate(400, 100, PixelFormat::ie24RGB));
    Picture p = Picture::FromImage(img);
    EXPECT_EQ(p.Width, 400);
    EXPECT_EQ(p.DisplayWidth, 80);
    EXPECT_EQ(p.DisplayHeight, 20);
    EXPECT_EQ(p.Bgra.size(), 80u * 20u * 4u);
    EXPECT_TRUE(Picture::FromImage(RasterImage()).Failed);
}

TEST(AppFolder, EndsInExactlyOneSlash) {
    EXPECT_EQ(FolderOfPath("/usr/bin/glyphwright"), "/usr/bin/");
    EXPECT_EQ(FolderOfPath("/glyphwright"), "/");
    EXPECT_EQ(FolderOfPath("/opt//x"), "/opt/");
    EXPECT_EQ(FolderOfPath("/a\\b:c/prog"), "/a\\b:c/");
    std::string own = GetAppFolder();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.back(), '/');
    EXPECT_NE(own.substr(0, own.size() - 1).back(), '/');
}

TEST(AppFolder, LanguagesBesideTheProgramOrInItsInstalledDataFolder) {
    const auto root = std::filesystem::temp_directory_path() / "gw_languages_folder";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "bin");
    std::filesystem::create_directories(root / "share/glyphwright/Languages");
    const std::string bin = (root / "bin").string() + "/";
    EXPECT_EQ(LanguagesFolder(bin), bin + "../share/glyphwright/Languages/");
    std::filesystem::create_directories(root / "bin/Languages");
    EXPECT_EQ(LanguagesFolder(bin), bin + "Languages/");
    std::filesystem::remove_all(root);
}

TEST(AppFolder, SettingsMoveToTheConfigFolderWhenTheProgramFolderIsNotWritable) {
    const auto config = std::filesystem::temp_directory_path() / "gw_xdg_config";
    std::filesystem::remove_all(config);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(OptionsIniPath("/no/such/program/folder/"),
              (config / "glyphwright/Options.ini").string());
    EXPECT_TRUE(std::filesystem::is_directory(config / "glyphwright"));
    const std::string own = std::filesystem::temp_directory_path().string() + "/";
    EXPECT_EQ(OptionsIniPath(own), own + "Options.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
}

}  // namespace
}  // namespace gw
