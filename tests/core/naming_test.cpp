#include "export/naming.h"
#include "base/fileio.h"
#include "base/paths.h"

#include <gtest/gtest.h>

#include <cerrno>
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
        return BuildOutputFileName(out_, source, index, LowerExtension(source), ext).value();
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

TEST_F(OutputNaming, AnIndexThatIsNoNumberIsAnError) {
    const auto name = BuildOutputFileName(out_, "/a/b.dll", "abc", ".dll", ".ico");
    ASSERT_FALSE(name);
    EXPECT_EQ(NamingErrorText(name.error(), "abc"), "'abc' is not a valid integer value");
}

TEST_F(OutputNaming, ANameTakenBetweenNamingAndWritingIsNotOverwritten) {
    // Another program creates the chosen name just before the first write lands.
    int calls = 0;
    std::string written;
    const ImageStatus status = WriteUnderFreeName(
        out_, "/pics/photo.png", 0, ".bmp",
        [&](const std::string& name) -> ImageStatus {
            if (++calls == 1) Touch(FileNamePart(name));
            const std::uint8_t bytes[] = {'n', 'e', 'w'};
            auto done = WriteFileAtomic(name, bytes);
            return done ? ImageStatus{} : FromIoFailure(done.error());
        },
        written);
    EXPECT_TRUE(status.ok());
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(written, out_ + "photo_00001_1.bmp");
    EXPECT_EQ(ReadWholeFile(out_ + "photo_00001.bmp"), std::vector<unsigned char>{'x'});
    EXPECT_EQ(ReadWholeFile(written), (std::vector<unsigned char>{'n', 'e', 'w'}));
}

TEST_F(OutputNaming, AFolderHoldingTheNameFailsTheWriteInsteadOfLooping) {
    std::filesystem::create_directories(out_ + "photo_00001.bmp");
    std::string written;
    const ImageStatus status = WriteUnderFreeName(
        out_, "/pics/photo.png", 0, ".bmp",
        [&](const std::string& name) -> ImageStatus {
            auto done = WriteFileAtomic(name, std::span<const std::uint8_t>{});
            return done ? ImageStatus{} : FromIoFailure(done.error());
        },
        written);
    EXPECT_EQ(status, ImageStatus(ImageError::CannotCreateFile, EEXIST));
    EXPECT_EQ(written, out_ + "photo_00001.bmp");
}

TEST(PathParts, NameAndExtension) {
    EXPECT_EQ(FileNamePart("/a/b/c.TXT"), "c.TXT");
    EXPECT_EQ(FileNamePart("plain"), "plain");
    EXPECT_EQ(LowerExtension("/a.b/c.TXT"), ".txt");
    EXPECT_EQ(LowerExtension("/a.b/c"), "");
}

}  // namespace
}  // namespace gw
