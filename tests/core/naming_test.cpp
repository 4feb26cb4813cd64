#include "export/naming.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace gw {
namespace {

class OutputNaming : public ::testing::Test {
  protected:
    void SetUp() override {
        out_ = (std::filesystem::temp_directory_path() /
                ("gw_naming_" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())))
                   .string() +
               "/";
        std::filesystem::remove_all(out_);
        std::filesystem::create_directories(out_);
    }
    void TearDown() override { std::filesystem::remove_all(out_); }
    void Touch(const std::string& name) { std::ofstream(out_ + name) << "x"; }
    std::string Name(const std::string& source, const std::string& index, const std::string& ext) {
        return BuildOutputFileName(out_, source, index, LowerExtension(source), ext);
    }
    std::string out_;
};

TEST_F(OutputNaming, BuildsStemNumberAndExtension) {
    struct C {
        const char* source;
        const char* index;
        const char* ext;
        const char* expected;
    };
    const C cases[] = {
        {"/windows/system32/shell32.dll", "3", ".ico", "shell32_00004.ico"},
        {"/pics/photo.JPG", "0", ".png", "photo_00001.png"},
        {"/pics/ICON.ICO", "0", ".ico", "ICON_00001.ico"},
        {"/pics/my.icons.dll", "9", ".ico", "my.icons_00010.ico"},
        {"/pics/README", "0", ".png", "README_00001.png"},
        {"/a\\b:c.exe", "98", ".ico", "a\\b:c_00099.ico"},
        {"/x/big.dll", "998", ".ico", "big_00999.ico"},
        {"/x/big.dll", "9998", ".ico", "big_09999.ico"},
        {"/x/big.dll", "99998", ".ico", "big_99999.ico"},
        {"/x/big.dll", "99999", ".ico", "big_100000.ico"},
    };
    for (const C& c : cases)
        EXPECT_EQ(Name(c.source, c.index, c.ext), out_ + c.expected) << c.source;
}

TEST_F(OutputNaming, TakenNamesGetACounter) {
    Touch("photo_00001.png");
    EXPECT_EQ(Name("/other/photo.gif", "0", ".png"), out_ + "photo_00001_1.png");
    Touch("photo_00001_1.png");
    EXPECT_EQ(Name("/pics/photo.JPG", "0", ".png"), out_ + "photo_00001_2.png");
    // Another extension is another name.
    EXPECT_EQ(Name("/pics/photo.JPG", "0", ".bmp"), out_ + "photo_00001.bmp");
}

TEST_F(OutputNaming, AFolderOfTheSameNameDoesNotTakeIt) {
    std::filesystem::create_directories(out_ + "shell32_00001.ico");
    EXPECT_EQ(Name("/w/shell32.dll", "0", ".ico"), out_ + "shell32_00001.ico");
}

TEST(PathParts, NameAndExtension) {
    EXPECT_EQ(FileNamePart("/a/b/c.TXT"), "c.TXT");
    EXPECT_EQ(FileNamePart("plain"), "plain");
    EXPECT_EQ(LowerExtension("/a.b/c.TXT"), ".txt");
    EXPECT_EQ(LowerExtension("/a.b/c"), "");
}

}  // namespace
}  // namespace gw
