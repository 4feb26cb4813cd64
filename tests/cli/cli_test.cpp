#include "cli/cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "base/fileio.h"
#include "imagefile/formats/registry.h"
#include "support/pebuilder.h"

namespace gw {
namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "glyphwright-cli");
    std::vector<const char*> argv;
    for (auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("gw_cli_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        pefix::ResourceBuilder res;
        for (std::uint8_t c : {40, 120, 200})
            res.AddIconGroup(c, {pefix::MakeDibIcon(32, 32, 32, pefix::Rgba{c, 10, 10, 255}),
                                 pefix::MakeDibIcon(16, 16, 32, pefix::Rgba{c, 10, 10, 255})});
        pefix::WriteBytes(Path("three.dll"), res.BuildPe());
        pefix::WriteBytes(
            Path("one.ico"),
            pefix::BuildIcoFile({pefix::MakeDibIcon(48, 48, 32, pefix::Rgba{1, 2, 3, 255})}));
        ImageHolder h;
        h.Image.Allocate(120, 90, PixelFormat::ie24RGB);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x)
                h.Image.SetPixelRgb(x, y, {static_cast<std::uint8_t>(x), 50, 90});
        EXPECT_TRUE(SaveImageFile(h, Path("photo.png")).ok());
        pefix::WriteBytes(Path("notes.dll"), {'h', 'e', 'l', 'l', 'o'});
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(CliTest, HelpAndVersion) {
    CliRun help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("convert"), std::string::npos);
    CliRun version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("2.1.8.0"), std::string::npos);
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"extract", "a.dll", "x", "32", "32", "o.ico"},
             {"list"},
             {"convert", "a.png", "b.png", "--filter", "sharpest"}}) {
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(r.err.rfind("glyphwright-cli: ", 0), 0u) << r.err;
    }
}

TEST_F(CliTest, ListPrintsEntriesInCatalogueOrder) {
    CliRun r = Cli({"list", Path("three.dll"), Path("notes.dll"), Path("missing.png"),
                    Path("one.ico"), Path("photo.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\t32x32\t" + Path("three.dll") + "\n2\t32x32\t" + Path("three.dll") +
                         "\n3\t32x32\t" + Path("three.dll") + "\n0\t32x32\t" + Path("one.ico") +
                         "\n0\t120x90\t" + Path("photo.png") + "\n");
}

TEST_F(CliTest, ExtractWritesTheIconStream) {
    CliRun r = Cli({"extract", Path("three.dll"), "1", "256", "256", Path("out.ico")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto bytes = ReadWholeFile(Path("out.ico"));
    ASSERT_GT(bytes.size(), 62u);
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(bytes[6], 0);  // 256 is written as 0
    EXPECT_EQ(bytes[18], 22);

    CliRun missing = Cli({"extract", Path("three.dll"), "3", "32", "32", Path("none.ico")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(std::filesystem::exists(Path("none.ico")));
    EXPECT_EQ(missing.err.rfind("glyphwright-cli: ", 0), 0u);
}

TEST_F(CliTest, InfoDescribesTheFile) {
    CliRun r = Cli({"info", Path("photo.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("format: Portable Network Graphics\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("width: 120\n"), std::string::npos);
    EXPECT_NE(r.out.find("height: 90\n"), std::string::npos);
    EXPECT_NE(r.out.find("depth: 24\n"), std::string::npos);
    EXPECT_NE(r.out.find("alpha: no\n"), std::string::npos);

    std::filesystem::copy_file(Path("photo.png"), Path("photo.bmp"));
    CliRun renamed = Cli({"info", Path("photo.bmp")});
    EXPECT_NE(renamed.out.find("format: Portable Network Graphics\n"), std::string::npos);
    EXPECT_NE(renamed.out.find("extension format: Windows Bitmap\n"), std::string::npos);

    CliRun dll = Cli({"info", Path("three.dll")});
    EXPECT_NE(dll.out.find("icons: 3\n"), std::string::npos) << dll.out;
    EXPECT_EQ(Cli({"info", Path("missing.png")}).status, 1);
}

TEST_F(CliTest, ConvertResizesAndWritesByExtension) {
    CliRun r = Cli({"convert", Path("photo.png"), Path("small.bmp"), "--size", "30x20"});
    ASSERT_EQ(r.status, 0) << r.err;
    ImageHolder h;
    bool hFailed = !ImageStatus(LoadImageFile(h, Path("small.bmp"))).ok();
    ASSERT_FALSE(hFailed);
    EXPECT_EQ(h.Image.Width(), 30);
    EXPECT_EQ(h.Image.Height(), 20);

    EXPECT_EQ(Cli({"convert", Path("photo.png"), Path("x.png"), "--size", "30by20"}).status, 2);
    CliRun wrongReader = Cli({"convert", Path("photo.bmp.missing"), Path("x.png")});
    EXPECT_EQ(wrongReader.status, 1);
    EXPECT_EQ(Cli({"convert", Path("photo.png"), Path("x.cur")}).status, 1);  // no writer
    EXPECT_EQ(Cli({"convert", Path("photo.png"), Path("x.pdf")}).status, 0);
    EXPECT_EQ(Cli({"convert", Path("photo.png"), Path("x.eps")}).status, 0);
    EXPECT_EQ(Cli({"convert", Path("photo.png"), Path("nofolder/x.png")}).status, 1);
}

// File names are bytes: names that are not valid UTF-8 open, list and are written unchanged.
TEST_F(CliTest, NamesThatAreNotUtf8KeepTheirBytes) {
    const std::string library = Path("ic\xf4nes\xff.dll"), picture = Path("ph\xe9to.png");
    std::filesystem::copy_file(Path("three.dll"), library);
    std::filesystem::copy_file(Path("photo.png"), picture);

    CliRun list = Cli({"list", library, picture});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "1\t32x32\t" + library + "\n2\t32x32\t" + library + "\n3\t32x32\t" +
                            library + "\n0\t120x90\t" + picture + "\n");
    EXPECT_NE(Cli({"info", library}).out.find("icons: 3\n"), std::string::npos);

    const std::string icon = Path("\x81\xfe.ico"), small = Path("k\xe4\x80.bmp");
    ASSERT_EQ(Cli({"extract", library, "1", "32", "32", icon}).status, 0);
    ASSERT_EQ(Cli({"convert", picture, small, "--size", "30x20"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(icon));
    ImageHolder h;
    ASSERT_TRUE(LoadImageFile(h, small).ok());
    EXPECT_EQ(h.Image.Width(), 30);
}

}  // namespace
}  // namespace gw
