#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "base/fileio.h"
#include "catalogue/opening.h"
#include "cli/json.h"
#include "export/engine.h"
#include "imagefile/formats/registry.h"
#include "imagefile/ico/reader.h"
#include "support/icobuilder.h"
#include "support/pebuilder.h"

namespace gw {
namespace {

namespace fs = std::filesystem;

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

std::string Line(const std::string& path, const std::string& reason) {
    return "glyphwright-cli: " + path + ": " + reason + "\n";
}

// Every file of a folder by name, with its bytes.
std::map<std::string, std::vector<unsigned char>> FolderFiles(const fs::path& folder) {
    std::map<std::string, std::vector<unsigned char>> files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = ReadWholeFile(e.path().string());
    return files;
}

ImageHolder Gradient(int width, int height, std::uint8_t blue) {
    ImageHolder h;
    h.Image.Allocate(width, height, PixelFormat::ie24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            h.Image.SetPixelRgb(
                x, y, {static_cast<std::uint8_t>(x * 2), static_cast<std::uint8_t>(y * 3), blue});
    return h;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("gw_cli_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "out");
        pefix::ResourceBuilder res;
        for (std::uint8_t c : {40, 120, 200})
            res.AddIconGroup(c, {pefix::MakeDibIcon(32, 32, 32, pefix::Rgba{c, 10, 10, 255}),
                                 pefix::MakeDibIcon(16, 16, 32, pefix::Rgba{c, 10, 10, 255})});
        pefix::WriteBytes(Path("three.dll"), res.BuildPe());
        pefix::WriteBytes(
            Path("one.ico"),
            pefix::BuildIcoFile({pefix::MakeDibIcon(48, 48, 32, pefix::Rgba{1, 2, 3, 255})}));
        ImageHolder photo = Gradient(120, 90, 90);
        EXPECT_TRUE(SaveImageFile(photo, Path("photo.png")).ok());
        pefix::WriteBytes(Path("notes.dll"), {'h', 'e', 'l', 'l', 'o'});
        pefix::WriteBytes(Path("notes.txt"), {'h', 'e', 'l', 'l', 'o'});
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Out() const { return (dir_ / "out").string(); }
    fs::path dir_;
};

TEST_F(CliTest, HelpAndVersion) {
    CliRun help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("export"), std::string::npos);
    CliRun version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("2.1.8.0"), std::string::npos);
    for (const char* command : {"list", "extract", "info", "convert", "export"}) {
        CliRun sub = Cli({command, "--help"});
        EXPECT_EQ(sub.status, 0) << command;
        EXPECT_NE(sub.out.find("Examples:\n  glyphwright-cli " + std::string(command)),
                  std::string::npos)
            << sub.out;
        EXPECT_NE(sub.out.find("Exit status:"), std::string::npos) << command;
    }
    EXPECT_NE(Cli({"export", "--help"}).out.find("(default 16,32,48,256)"), std::string::npos);
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndWriteNothing) {
    const std::string dll = Path("three.dll"), out = Out();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"extract", dll, "x", "32", "32", Path("o.ico")},
             {"extract", dll, "0", "32", Path("o.ico")},
             {"extract", dll, "0", "0", "32", Path("o.ico")},
             {"extract", "--original", dll, "0", "32", "32", Path("o.ico")},
             {"list"},
             {"info"},
             {"convert", "a.png", "b.png", "--filter", "sharpest"},
             {"convert", Path("photo.png"), Path("o.png"), "--size", "30by20"},
             {"export", dll},
             {"export", "-o", Path("nowhere"), dll},
             {"export", "-o", out, "-f", "webp", dll},
             {"export", "-o", out, "-s", "16,20", dll},
             {"export", "-o", out, "-s", "", dll},
             {"export", "-o", out, "-f", "png", "-W", "0", dll},
             {"export", "-o", out, "-f", "png", "-H", "-3", dll},
             {"export", "-o", out, "-c", "white", dll},
             {"export", "-o", out, "--depths", "32,7", dll},
             {"export", "-o", out, "--png-from", "300", dll},
             {"export", "-o", out, "-f", "png", "--png-from", "256", dll},
             {"export", "-o", out, "-j", "-1", dll}}) {
        CliRun r = Cli(args);
        const std::string what = args.empty() ? "" : args[0] + " " + args.back();
        EXPECT_EQ(r.status, 2) << what << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("glyphwright-cli: ", 0), 0u) << r.err;
        EXPECT_EQ(r.out, "") << what;
    }
    EXPECT_TRUE(fs::is_empty(Out()));
    EXPECT_FALSE(fs::exists(Path("o.ico")));
    EXPECT_FALSE(fs::exists(Path("o.png")));
}

TEST_F(CliTest, ListPrintsEntriesInCatalogueOrderAndReportsWhatItSkips) {
    CliRun r = Cli({"list", Path("three.dll"), Path("notes.dll"), Path("missing.png"),
                    Path("one.ico"), Path("photo.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1\t32x32\t" + Path("three.dll") + "\n2\t32x32\t" + Path("three.dll") +
                         "\n3\t32x32\t" + Path("three.dll") + "\n0\t32x32\t" + Path("one.ico") +
                         "\n0\t120x90\t" + Path("photo.png") + "\n");
    EXPECT_EQ(r.err, Line(Path("notes.dll"), "The file is neither an executable nor an icon file") +
                         Line(Path("missing.png"), "no such file"));

    CliRun json = Cli({"list", "--json", Path("one.ico"), Path("photo.png")});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, "{\"entries\":[{\"iconNumber\":0,\"width\":32,\"height\":32,\"path\":" +
                            JsonString(Path("one.ico")) +
                            "},{\"iconNumber\":0,\"width\":120,\"height\":90,\"path\":" +
                            JsonString(Path("photo.png")) + "}]}\n");
}

TEST(JsonString, EscapesWhatJsonRequires) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"tab\tline\nret\r", "\"tab\\tline\\nret\\r\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
        {"Gr\xC3\xBC\xC3\x9F \xE5\x9B\xBE", "\"Gr\xC3\xBC\xC3\x9F \xE5\x9B\xBE\""},
        {"bad\xFF\xC3", "\"bad\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},  // overlong "/"
    };
    for (const auto& c : cases) EXPECT_EQ(JsonString(c.in), c.out) << c.in;
}

TEST_F(CliTest, ExtractWritesTheIconStreamAndNeverOverwrites) {
    CliRun r = Cli({"extract", Path("three.dll"), "1", "256", "256", Path("out.ico")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bytes = ReadWholeFile(Path("out.ico"));
    ASSERT_GT(bytes.size(), 62u);
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(bytes[6], 0);  // 256 is written as 0
    EXPECT_EQ(bytes[18], 22);

    CliRun again = Cli({"extract", Path("three.dll"), "0", "16", "16", Path("out.ico")});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, Line(Path("out.ico"), "the file exists (--force replaces it)"));
    EXPECT_EQ(ReadWholeFile(Path("out.ico")), bytes);
    CliRun forced =
        Cli({"extract", "--force", Path("three.dll"), "0", "16", "16", Path("out.ico")});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(ReadWholeFile(Path("out.ico"))[6], 16);

    CliRun missing = Cli({"extract", Path("three.dll"), "3", "32", "32", Path("none.ico")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, Line(Path("three.dll"), "The file has no icon with that number"));
    EXPECT_FALSE(fs::exists(Path("none.ico")));
}

TEST_F(CliTest, ExtractOriginalWritesTheGroupAsStored) {
    const std::vector<pefix::IconImage> second{
        pefix::MakePngIcon(256, 256, pefix::Rgba{9, 80, 200, 128}),
        pefix::MakeDibIcon(32, 32, 8,
                           [](int x, int y) {
                               return pefix::Rgba{static_cast<std::uint8_t>(x * 8),
                                                  static_cast<std::uint8_t>(y), 0, 255};
                           }),
        pefix::MakeDibIcon(16, 16, 4, pefix::Rgba{0, 0, 255, 255})};
    pefix::ResourceBuilder res;
    res.AddIconGroup(1, {pefix::MakeDibIcon(48, 48, 32, pefix::Rgba{1, 2, 3, 255})});
    res.AddIconGroup(2, second);
    for (bool pe32plus : {false, true}) {
        SCOPED_TRACE(pe32plus);
        pefix::WriteBytes(Path("app.exe"), res.BuildPe(pe32plus));
        fs::remove(Path("group.ico"));
        CliRun r = Cli({"extract", "--original", Path("app.exe"), "1", Path("group.ico")});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto written = ReadWholeFile(Path("group.ico"));
        const auto expected = pefix::BuildIcoFile(second);
        EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), expected);
    }
    pefix::WriteBytes(Path("app.icl"), res.BuildNe());
    CliRun ne = Cli({"extract", "--original", Path("app.icl"), "1", Path("ne.ico")});
    ASSERT_EQ(ne.status, 0) << ne.err;
    const auto fromNe = ReadWholeFile(Path("ne.ico"));
    EXPECT_EQ(std::vector<std::uint8_t>(fromNe.begin(), fromNe.end()), pefix::BuildIcoFile(second));

    CliRun beyond = Cli({"extract", "--original", Path("app.exe"), "2", Path("x.ico")});
    EXPECT_EQ(beyond.status, 1);
    EXPECT_EQ(beyond.err, Line(Path("app.exe"), "The file has no icon with that number"));
    EXPECT_FALSE(fs::exists(Path("x.ico")));
}

TEST_F(CliTest, InfoDescribesFilesAndReportsUnreadableOnes) {
    CliRun r = Cli({"info", Path("photo.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "file: " + Path("photo.png") +
                         "\nformat: Portable Network Graphics\nextension format: Portable "
                         "Network Graphics\nwidth: 120\nheight: 90\ndepth: 24\nalpha: no\n");

    fs::copy_file(Path("photo.png"), Path("photo.bmp"));
    CliRun renamed = Cli({"info", Path("photo.bmp")});
    EXPECT_NE(renamed.out.find("format: Portable Network Graphics\n"), std::string::npos);
    EXPECT_NE(renamed.out.find("extension format: Windows Bitmap\n"), std::string::npos);

    CliRun dll = Cli({"info", Path("three.dll")});
    EXPECT_EQ(dll.status, 0) << dll.err;
    EXPECT_NE(dll.out.find("icons: 3\n"), std::string::npos) << dll.out;

    CliRun bad =
        Cli({"info", Path("missing.png"), Path("notes.txt"), Path("notes.dll"), Path("photo.png")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err,
              Line(Path("missing.png"), "no such file") +
                  Line(Path("notes.txt"), "not a picture of a known format") +
                  Line(Path("notes.dll"), "The file is neither an executable nor an icon file"));
    EXPECT_EQ(bad.out, r.out);

    // Only the header is read: a picture cut short after it is still described.
    std::vector<unsigned char> cut = ReadWholeFile(Path("photo.png"));
    cut.resize(80);
    pefix::WriteBytes(Path("cut.png"), std::vector<std::uint8_t>(cut.begin(), cut.end()));
    CliRun header = Cli({"info", Path("cut.png")});
    EXPECT_EQ(header.status, 0) << header.err;
    EXPECT_NE(header.out.find("width: 120\nheight: 90\ndepth: 24\n"), std::string::npos);
}

TEST_F(CliTest, InfoListsTheImagesOfAnIconFileAndTheHotSpotOfACursor) {
    pefix::WriteBytes(Path("multi.ico"),
                      pefix::BuildIcoFile({pefix::MakeDibIcon(16, 16, 4, pefix::Rgba{0, 0, 255}),
                                           pefix::MakeDibIcon(32, 32, 8, pefix::Rgba{0, 9, 0}),
                                           pefix::MakePngIcon(256, 256, pefix::Rgba{1, 2, 3})}));
    CliRun ico = Cli({"info", Path("multi.ico")});
    EXPECT_EQ(ico.status, 0) << ico.err;
    EXPECT_NE(ico.out.find("icons: 1\n"), std::string::npos) << ico.out;
    EXPECT_NE(ico.out.find("image 0: 16x16, 4 bits, bitmap\nimage 1: 32x32, 8 bits, bitmap\n"
                           "image 2: 256x256, 32 bits, PNG\n"),
              std::string::npos)
        << ico.out;

    test::DibSpec dib;
    dib.width = dib.height = 8;
    dib.bitCount = 24;
    test::IcoEntry entry;
    entry.width = entry.height = 8;
    entry.planes = 5;  // the hot spot
    entry.bitCount = 3;
    entry.payload = test::BuildDib(dib);
    pefix::WriteBytes(Path("arrow.cur"), test::BuildIconContainer({entry}, 2));
    CliRun cur = Cli({"info", "--json", Path("arrow.cur")});
    EXPECT_EQ(cur.status, 0) << cur.err;
    EXPECT_NE(cur.out.find("\"hotSpot\":{\"x\":5,\"y\":3}"), std::string::npos) << cur.out;
    EXPECT_NE(cur.out.find("\"images\":[{\"width\":8,\"height\":8,\"depth\":24,\"png\":false,"
                           "\"readable\":true}]"),
              std::string::npos)
        << cur.out;
    EXPECT_EQ(cur.out.front(), '[');
    EXPECT_EQ(cur.out.substr(cur.out.size() - 3), "}]\n");
}

TEST_F(CliTest, ConvertResizesWritesByExtensionAndNeverOverwrites) {
    CliRun r = Cli({"convert", Path("photo.png"), Path("small.bmp"), "--size", "30x20"});
    ASSERT_EQ(r.status, 0) << r.err;
    ImageHolder h;
    ASSERT_TRUE(LoadImageFile(h, Path("small.bmp")).ok());
    EXPECT_EQ(h.Image.Width(), 30);
    EXPECT_EQ(h.Image.Height(), 20);
    const auto before = ReadWholeFile(Path("small.bmp"));

    CliRun again = Cli({"convert", Path("photo.png"), Path("small.bmp")});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, Line(Path("small.bmp"), "the file exists (--force replaces it)"));
    EXPECT_EQ(ReadWholeFile(Path("small.bmp")), before);
    EXPECT_EQ(Cli({"convert", "--force", Path("photo.png"), Path("small.bmp")}).status, 0);
    ASSERT_TRUE(LoadImageFile(h, Path("small.bmp")).ok());
    EXPECT_EQ(h.Image.Width(), 120);

    EXPECT_EQ(Cli({"convert", Path("photo.bmp.missing"), Path("x.png")}).status, 1);
    CliRun cur = Cli({"convert", Path("photo.png"), Path("x.cur")});
    EXPECT_EQ(cur.status, 1);
    EXPECT_EQ(cur.err, Line(Path("x.cur"), "cannot be written in the format its extension names"));
    EXPECT_EQ(Cli({"convert", Path("photo.png"), Path("x.pdf")}).status, 0);
    EXPECT_EQ(Cli({"convert", Path("photo.png"), Path("x.eps")}).status, 0);
    EXPECT_EQ(Cli({"convert", Path("photo.png"), Path("nofolder/x.png")}).status, 1);
    EXPECT_FALSE(fs::exists(Path("x.png")));
    EXPECT_FALSE(fs::exists(Path("x.cur")));
}

class CliExport : public CliTest {
  protected:
    void SetUp() override {
        CliTest::SetUp();
        // A Targa read switches Targa compression on again for the entries after it.
        ImageHolder rle = Gradient(40, 30, 10);
        EXPECT_TRUE(SaveImageFile(rle, Path("rle.tga")).ok());
        ImageHolder second = Gradient(64, 20, 200);
        EXPECT_TRUE(SaveImageFile(second, Path("second.png")).ok());
        // An icon with partial alpha is written as 32-bit colour, which switches it off.
        pefix::WriteBytes(
            Path("glass.ico"),
            pefix::BuildIcoFile({pefix::MakeDibIcon(48, 48, 32, pefix::Rgba{60, 90, 120, 128})}));
        sources_ = {Path("three.dll"), Path("glass.ico"),  Path("photo.png"), Path("rle.tga"),
                    Path("one.ico"),   Path("second.png"), Path("photo.png")};
    }

    // The export as the window runs it, into the folder.
    void WindowExport(const ExportOptions& options) {
        Catalogue catalogue;
        for (const std::string& path : sources_) (void)AddSourceFile(catalogue, path);
        struct Quiet : ExportProgress {
            void Begin(int) override {}
            void Step() override {}
            void Pump() override {}
            void Wait(int) override {}
            void End() override {}
        } progress;
        ExportEntries(GatherEntries(catalogue, true), options, progress);
    }

    CliRun CliExportInto(const std::string& folder, std::vector<std::string> args) {
        args.insert(args.begin(), {"export", "-q", "-o", folder});
        args.insert(args.end(), sources_.begin(), sources_.end());
        return Cli(args);
    }

    std::vector<std::string> sources_;
};

// The export dialog's record for the same settings as the arguments.
ExportOptions Settings(int format, const std::string& size, bool transparent = false,
                       int colour = 0xFFFFFF, int width = 128, int height = 128) {
    ExportOptions options;
    options.Format = format;
    options.Size = size;
    options.Transparent = transparent;
    options.GradualColor = colour;
    options.Width = width;
    options.Height = height;
    return options;
}

TEST_F(CliExport, GivesTheWindowsFilesForEveryNumberOfJobs) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        ExportOptions options;
    } cases[] = {
        {"ico", {}, Settings(kExportIco, "101100001")},
        {"transparent",
         {"-s", "24,48", "-t", "-c", "#102030"},
         Settings(kExportIco, "010100000", true, 0x302010)},
        {"tga", {"-f", "tga", "-W", "40", "-H", "24"}, Settings(kExportTga, "", false, 0, 40, 24)},
        {"jpg", {"-f", "jpg"}, Settings(kExportJpeg, "")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path window = dir_ / (std::string("window_") + c.name);
        fs::create_directories(window);
        ExportOptions options = c.options;
        options.SavePath = window.string();
        WindowExport(options);
        const auto expected = FolderFiles(window);
        ASSERT_EQ(expected.size(), 9u);

        for (const char* jobs : {"1", "4"}) {
            const fs::path folder = dir_ / (std::string(c.name) + "_j" + jobs);
            fs::create_directories(folder);
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"-j", jobs});
            CliRun r = CliExportInto(folder.string(), args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(FolderFiles(folder), expected) << "-j " << jobs;
        }
    }
}

TEST_F(CliExport, PrintsThePathsInEntryOrderAndFindsFreeNames) {
    CliRun first = CliExportInto(Out(), {"-f", "tga", "-j", "3"});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string o = Out() + "/";
    EXPECT_EQ(first.out, o + "three_00001.tga\n" + o + "three_00002.tga\n" + o +
                             "three_00003.tga\n" + o + "glass_00001.tga\n" + o +
                             "photo_00001.tga\n" + o + "rle_00001.tga\n" + o + "one_00001.tga\n" +
                             o + "second_00001.tga\n" + o + "photo_00001_1.tga\n");
    const auto written = FolderFiles(Out());
    // The icon with alpha is written as 32-bit colour, which leaves Targa compression off; the
    // Targa read switches it on again.
    EXPECT_EQ(written.at("three_00003.tga")[2], 10);
    EXPECT_EQ(written.at("photo_00001.tga")[2], 2);
    EXPECT_EQ(written.at("rle_00001.tga")[2], 10);
    EXPECT_EQ(written.at("second_00001.tga")[2], 10);

    CliRun second = CliExportInto(Out() + "/", {"-f", "tga", "-j", "2"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out.substr(0, (o + "three_00001_1.tga\n").size()), o + "three_00001_1.tga\n");
    EXPECT_EQ(FolderFiles(Out()).size(), 18u);
    for (const auto& [name, bytes] : written) EXPECT_EQ(ReadWholeFile(o + name), bytes) << name;
}

TEST_F(CliExport, ReportsInputsItCannotReadAndExportsTheRest) {
    CliRun r = Cli({"export", "-q", "-o", Out(), "-s", "16", Path("notes.txt"), Path("missing.ico"),
                    Path("one.ico")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, Line(Path("notes.txt"),
                          "neither an icon source nor a picture format this program reads") +
                         Line(Path("missing.ico"), "no such file"));
    EXPECT_EQ(r.out, Out() + "/one_00001.ico\n");

    // A picture whose file is damaged after opening: its entry exports nothing.
    std::vector<std::uint8_t> broken = ReadWholeFile(Path("photo.png"));
    broken.resize(60);
    pefix::WriteBytes(Path("broken.png"), broken);
    CliRun damaged = Cli({"export", "-q", "-o", Out(), "-f", "bmp", Path("broken.png")});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.err.rfind("glyphwright-cli: " + Path("broken.png") + ": ", 0), 0u);
    EXPECT_EQ(FolderFiles(Out()).size(), 1u);
}

TEST_F(CliExport, StoresLargeSizesAsPngAndAddsDepthVariants) {
    CliRun r = Cli({"export", "-q", "-o", Out(), "-s", "16,48,256", "-t", "--png-from", "48",
                    "--depths", "32,8,4", Path("photo.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file = Out() + "/photo_00001.ico";
    const auto bytes = ReadWholeFile(file);
    const auto dir =
        test::ParseIconDirectory(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
    // Windows' order: by depth, highest first, then by size, largest first.
    const std::vector<std::pair<int, int>> expected{{0, 32}, {48, 32}, {16, 32}, {0, 8}, {48, 8},
                                                    {16, 8}, {0, 4},   {48, 4},  {16, 4}};
    ASSERT_EQ(dir.size(), expected.size());
    for (std::size_t i = 0; i < dir.size(); ++i) {
        SCOPED_TRACE(i);
        const int bits = dir[i].bitCount != 0 ? dir[i].bitCount : dir[i].colorCount == 16 ? 4 : 8;
        EXPECT_EQ(std::make_pair(int{dir[i].width}, bits), expected[i]);
        const bool png = bytes[dir[i].offset] == 0x89 && bytes[dir[i].offset + 1] == 'P';
        EXPECT_EQ(png, i < 2);

        ByteReader reader(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
        RasterImage image;
        FileParams params;
        params.ICO_ImageIndex = static_cast<int>(i);
        ASSERT_EQ(ReadIconImage(reader, image, params), ImageError::None);
        const int side = dir[i].width == 0 ? 256 : dir[i].width;
        EXPECT_EQ(image.Width(), side);
        if (bits <= 8) {
            EXPECT_EQ(params.PaletteCount, 1 << bits);
        }
    }
    // Even this gradient's 256 × 256 PNG image is a third of its 32-bit bitmap.
    EXPECT_LT(dir[0].size * 3, 40u + 256 * 256 * 4 + 256 * 256 / 8);
}

// icoutils reads the PNG images and the depth variants as Windows would list them.
TEST_F(CliExport, IcotoolListsWhatWasWritten) {
    if (!fs::exists("/usr/bin/icotool")) GTEST_SKIP() << "icoutils is not installed";
    CliRun r = Cli({"export", "-q", "-o", Out(), "-s", "32,256", "-t", "--png-from", "256",
                    "--depths", "8", Path("photo.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string command = "/usr/bin/icotool -l '" + Out() + "/photo_00001.ico' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    ASSERT_TRUE(pipe);
    std::string listing;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) listing += buffer;
    EXPECT_EQ(listing,
              "--icon --index=1 --width=256 --height=256 --bit-depth=32 --palette-size=0\n"
              "--icon --index=2 --width=32 --height=32 --bit-depth=32 --palette-size=0\n"
              "--icon --index=3 --width=256 --height=256 --bit-depth=8 --palette-size=256\n"
              "--icon --index=4 --width=32 --height=32 --bit-depth=8 --palette-size=256\n");
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
