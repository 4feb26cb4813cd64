#include "export/engine.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/paths.h"
#include "export/naming.h"
#include "imagefile/formats/registry.h"
#include "imagefile/ops/resample.h"
#include "support/icobuilder.h"
#include "support/pebuilder.h"

namespace gw {
namespace {

namespace fs = std::filesystem;
using pefix::MakeDibIcon;
using pefix::ResourceBuilder;
using pefix::Rgba;

constexpr Rgba kGroupColours[] = {
    {200, 0, 0, 255}, {0, 200, 0, 255}, {0, 0, 200, 255}, {200, 200, 0, 255}, {90, 90, 90, 255}};
constexpr Rgb kWhite{255, 255, 255}, kRed{220, 30, 30};
constexpr int kBlackValue = 0, kWhiteValue = 16777215;

// Records the calls the engine makes, and how many output files exist at each step.
class RecordingProgress : public ExportProgress {
  public:
    explicit RecordingProgress(std::function<int()> filesNow = {})
        : filesNow_(std::move(filesNow)) {}
    void Begin(int total) override { calls.push_back("Begin " + std::to_string(total)); }
    void Step() override {
        calls.push_back("Step");
        if (filesNow_) filesAtStep.push_back(filesNow_());
    }
    void Pump() override { calls.push_back("Pump"); }
    void Wait(int ms) override { calls.push_back("Wait " + std::to_string(ms)); }
    void End() override { calls.push_back("End"); }

    std::vector<std::string> calls;
    std::vector<int> filesAtStep;

  private:
    std::function<int()> filesNow_;
};

ImageHolder Picture(int width, int height, const std::function<Rgb(int, int)>& colour) {
    ImageHolder holder;
    holder.Image.Allocate(width, height, PixelFormat::ie24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) holder.Image.SetPixelRgb(x, y, colour(x, y));
    return holder;
}

// Image i of a written icon file; a read that fails is a test failure.
ImageHolder ReadIcon(const std::string& path, int i) {
    ImageHolder holder;
    SelectImageIndex(holder, i);
    EXPECT_TRUE(LoadImageFile(holder, path).ok()) << path << " image " << i;
    return holder;
}

std::vector<test::ParsedEntry> IconDirectory(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadWholeFile(path);
    return test::ParseIconDirectory(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
}

ExportOptions IcoOptions(const std::string& folder, const std::string& size) {
    ExportOptions options;
    options.Format = kExportIco;
    options.Size = size;
    options.SavePath = folder;
    return options;
}

ExportOptions PictureOptions(const std::string& folder, int format, int width, int height) {
    ExportOptions options;
    options.Format = format;
    options.SavePath = folder;
    options.Width = width;
    options.Height = height;
    return options;
}

class ExportEngine : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = fs::temp_directory_path() / "gw-export-XXXXXX";
        root_ = mkdtemp(pattern.data());
        src_ = root_ + "/src/";
        out_ = root_ + "/out";
        fs::create_directories(src_);
        fs::create_directories(out_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root_, ignored);
    }

    // An executable with `groups` icon groups, group k a 32 × 32 icon of kGroupColours[k].
    std::string Executable(const std::string& name, int groups) {
        ResourceBuilder builder;
        for (int k = 0; k < groups; ++k)
            builder.AddIconGroup(static_cast<std::uint32_t>(k + 1),
                                 {MakeDibIcon(32, 32, 32, kGroupColours[k])});
        const std::string path = src_ + name;
        pefix::WriteBytes(path, builder.BuildPe());
        return path;
    }
    std::string SavePicture(const std::string& name, ImageHolder holder) {
        const std::string path = src_ + name;
        bool holderFailed = !ImageStatus(SaveImageFile(holder, path)).ok();
        EXPECT_FALSE(holderFailed) << name;
        return path;
    }
    std::string Garbage(const std::string& name) {
        const std::string path = src_ + name;
        pefix::WriteBytes(path, {0x13, 0x37, 0x00, 0x42, 0x99, 0x01, 0x02, 0x03});
        return path;
    }

    // Names of the files in a folder, sorted.
    static std::vector<std::string> Listing(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(folder))
            names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> Output() const { return Listing(out_); }
    std::string Out(const std::string& name) const { return out_ + "/" + name; }

    void Run(const ExportRequest& request, const ExportOptions& options) {
        RecordingProgress progress;
        ExportEntries(request, options, progress);
        ASSERT_FALSE(progress.calls.empty());
        EXPECT_EQ(progress.calls.back(), "End");
    }

    std::string root_, src_, out_;
};

TEST_F(ExportEngine, ExecutableEntryHoldsTheChosenSizesSmallestFirst) {
    const std::string exe = Executable("tools.exe", 5);
    Run({{exe}, {"3"}}, IcoOptions(out_, "100100000"));

    ASSERT_EQ(Output(), std::vector<std::string>{"tools_00004.ico"});
    const auto directory = IconDirectory(Out("tools_00004.ico"));
    ASSERT_EQ(directory.size(), 2u);
    EXPECT_EQ(directory[0].width, 16);
    EXPECT_EQ(directory[1].width, 48);
    for (int i = 0; i < 2; ++i) {
        const ImageHolder image = ReadIcon(Out("tools_00004.ico"), i);
        const Rgba expected = kGroupColours[3];
        EXPECT_EQ(image.Image.PixelRgb(5, 5), (Rgb{expected.r, expected.g, expected.b}));
    }
}

TEST_F(ExportEngine, IconFileWithUpperCaseExtensionGoesThroughExtraction) {
    const std::string ico = src_ + "LOGO.ICO";
    pefix::WriteBytes(ico, pefix::BuildIcoFile({MakeDibIcon(32, 32, 32, kGroupColours[1])}));
    Run({{ico}, {"0"}}, IcoOptions(out_, "101000001"));

    ASSERT_EQ(Output(), std::vector<std::string>{"LOGO_00001.ico"});
    const auto directory = IconDirectory(Out("LOGO_00001.ico"));
    ASSERT_EQ(directory.size(), 3u);
    EXPECT_EQ(directory[0].width, 16);
    EXPECT_EQ(directory[1].width, 32);
    EXPECT_EQ(directory[2].width, 0);  // 256
}

TEST_F(ExportEngine, PictureIsStretchedToTheSquareSize) {
    // Red top-left quarter on blue: a stretched result keeps the quarter, a padded one would
    // not.
    const std::string png = SavePicture("wide.png", Picture(100, 60, [](int x, int y) {
                                            return x < 50 && y < 30 ? kRed : Rgb{20, 40, 220};
                                        }));
    Run({{png}, {"0"}}, IcoOptions(out_, "001000000"));

    ASSERT_EQ(Output(), std::vector<std::string>{"wide_00001.ico"});
    ASSERT_EQ(IconDirectory(Out("wide_00001.ico")).size(), 1u);
    const ImageHolder icon = ReadIcon(Out("wide_00001.ico"), 0);
    ASSERT_EQ(icon.Image.Width(), 32);
    ASSERT_EQ(icon.Image.Height(), 32);
    EXPECT_EQ(icon.Image.PixelRgb(4, 4), kRed);
    EXPECT_EQ(icon.Image.PixelRgb(28, 4), (Rgb{20, 40, 220}));
    EXPECT_EQ(icon.Image.PixelRgb(4, 28), (Rgb{20, 40, 220}));
    EXPECT_EQ(icon.Image.PixelRgb(28, 28), (Rgb{20, 40, 220}));
}

TEST_F(ExportEngine, SetTransparentClearsEveryPixelOfTheBottomLeftColour) {
    // White background, a red square with one white pixel inside it and a near-white one.
    const std::string png = SavePicture("shape.png", Picture(32, 32, [](int x, int y) {
                                            if (x == 16 && y == 16) return kWhite;
                                            if (x == 12 && y == 12) return Rgb{254, 255, 255};
                                            if (x >= 8 && x < 24 && y >= 8 && y < 24) return kRed;
                                            if (x == 30 && y == 1) return Rgb{255, 255, 254};
                                            return kWhite;
                                        }));
    ExportOptions options = IcoOptions(out_, "001000000");
    options.Transparent = true;
    Run({{png}, {"0"}}, options);

    ASSERT_EQ(IconDirectory(Out("shape_00001.ico"))[0].bitCount, 32);
    const ImageHolder icon = ReadIcon(Out("shape_00001.ico"), 0);
    ASSERT_TRUE(icon.Image.HasAlpha());
    auto alpha = [&](int x, int y) { return icon.Image.AlphaRow(y)[x]; };
    EXPECT_EQ(alpha(0, 31), 0);
    EXPECT_EQ(alpha(31, 0), 0);
    EXPECT_EQ(alpha(16, 16), 0) << "a white pixel inside the shape";
    EXPECT_EQ(alpha(12, 12), 255) << "near-white";
    EXPECT_EQ(alpha(30, 1), 255) << "near-white";
    EXPECT_EQ(alpha(10, 10), 255);
}

TEST_F(ExportEngine, GradualColourTintsTheSoftEdge) {
    const std::string png = SavePicture("disc.png", Picture(64, 64, [](int x, int y) {
                                            const int dx = x - 32, dy = y - 32;
                                            return dx * dx + dy * dy < 20 * 20 ? kRed : kWhite;
                                        }));
    auto exportWith = [&](int gradual, const std::string& folder) {
        fs::create_directories(folder);
        ExportOptions options = IcoOptions(folder, "100000000");
        options.Transparent = true;
        options.GradualColor = gradual;
        Run({{png}, {"0"}}, options);
        return ReadIcon(folder + "/disc_00001.ico", 0);
    };
    const ImageHolder dark = exportWith(kBlackValue, root_ + "/black");
    const ImageHolder light = exportWith(kWhiteValue, root_ + "/white");
    ASSERT_EQ(dark.Image.Width(), 16);
    ASSERT_TRUE(dark.Image.HasAlpha());
    ASSERT_TRUE(light.Image.HasAlpha());

    int edgePixels = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int a = dark.Image.AlphaRow(y)[x];
            ASSERT_EQ(a, light.Image.AlphaRow(y)[x]) << x << "," << y;
            if (a == 0 || a == 255) continue;
            ++edgePixels;
            const Rgb d = dark.Image.PixelRgb(x, y), l = light.Image.PixelRgb(x, y);
            EXPECT_LT(d.r + d.g + d.b, l.r + l.g + l.b) << x << "," << y;
        }
    EXPECT_GT(edgePixels, 0);
}

TEST_F(ExportEngine, FailedExtractionOnThePicturePathWritesNothingForThatEntry) {
    // The first file was replaced by one without the entry's icon.
    const std::string replaced = Executable("replaced.exe", 1);
    const std::string good = Executable("good.exe", 2);
    Run({{replaced, good}, {"3", "1"}}, PictureOptions(out_, kExportJpeg, 40, 30));

    ASSERT_EQ(Output(), std::vector<std::string>{"good_00002.jpg"});
    ImageHolder picture;
    bool pictureFailed = !ImageStatus(LoadImageFile(picture, Out("good_00002.jpg"))).ok();
    ASSERT_FALSE(pictureFailed);
    EXPECT_EQ(picture.Image.Width(), 40);
    EXPECT_EQ(picture.Image.Height(), 30);
}

TEST_F(ExportEngine, RegressionIconPictureLargerThanAnIconStreamIsStillWritten) {
    const std::string exe = Executable("big.exe", 1);
    Run({{exe}, {"0"}}, PictureOptions(out_, kExportPng, 300, 280));

    ASSERT_EQ(Output(), std::vector<std::string>{"big_00001.png"});
    ImageHolder picture;
    bool pictureFailed = !ImageStatus(LoadImageFile(picture, Out("big_00001.png"))).ok();
    ASSERT_FALSE(pictureFailed);
    EXPECT_EQ(picture.Image.Width(), 300);
    EXPECT_EQ(picture.Image.Height(), 280);
}

TEST_F(ExportEngine, PictureOfAnImageFileIsResizedWithoutKeepingTheAspect) {
    const std::string png = SavePicture("photo.PNG", Picture(100, 60, [](int, int) {
                                            return Rgb{10, 120, 200};
                                        }));
    Run({{png}, {"0"}}, PictureOptions(out_, kExportBmp, 256, 256));

    ASSERT_EQ(Output(), std::vector<std::string>{"photo_00001.bmp"});
    ImageHolder picture;
    ASSERT_TRUE(LoadImageFile(picture, Out("photo_00001.bmp")).ok());
    EXPECT_EQ(picture.Image.Width(), 256);
    EXPECT_EQ(picture.Image.Height(), 256);
    EXPECT_EQ(picture.Image.PixelRgb(128, 128), (Rgb{10, 120, 200}));
}

TEST_F(ExportEngine, ProgressStepsOncePerEntryBeforeIt) {
    const std::string exe = Executable("five.exe", 5);
    ExportRequest request;
    for (int i = 0; i < 5; ++i) {
        request.Files.push_back(exe);
        request.Indexes.push_back(std::to_string(i));
    }
    RecordingProgress progress([&] { return static_cast<int>(Output().size()); });
    ExportEntries(request, IcoOptions(out_, "001000000"), progress);

    const std::vector<std::string> expected{"Begin 5", "Pump", "Wait 500", "Step", "Pump",
                                            "Step",    "Pump", "Step",     "Pump", "Step",
                                            "Pump",    "Step", "Pump",     "End"};
    EXPECT_EQ(progress.calls, expected);
    EXPECT_EQ(progress.filesAtStep, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(Output().size(), 5u);
}

TEST_F(ExportEngine, ExportingAgainNeverOverwrites) {
    const std::string exe = Executable("app.exe", 1);
    const std::string png = SavePicture("pic.png", Picture(8, 8, [](int, int) { return kRed; }));
    const ExportRequest request{{exe, png}, {"0", "0"}};
    for (int run = 0; run < 3; ++run) Run(request, IcoOptions(out_, "100000000"));

    EXPECT_EQ(Output(),
              (std::vector<std::string>{"app_00001.ico", "app_00001_1.ico", "app_00001_2.ico",
                                        "pic_00001.ico", "pic_00001_1.ico", "pic_00001_2.ico"}));
}

TEST_F(ExportEngine, SavePathWithOrWithoutTrailingSlashGivesTheSamePaths) {
    const std::string exe = Executable("app.exe", 2);
    const ExportRequest request{{exe, exe}, {"0", "1"}};
    Run(request, IcoOptions(out_, "010000000"));
    const std::string other = root_ + "/other/";
    fs::create_directories(other);
    Run(request, IcoOptions(other, "010000000"));

    const std::vector<std::string> expected{"app_00001.ico", "app_00002.ico"};
    EXPECT_EQ(Output(), expected);
    EXPECT_EQ(Listing(other), expected);
    EXPECT_EQ(Listing(root_), (std::vector<std::string>{"other", "out", "src"}));
    EXPECT_EQ(ExportFolder("/a/b"), "/a/b/");
    EXPECT_EQ(ExportFolder("/a/b/"), "/a/b/");
}

TEST_F(ExportEngine, UncreatableOutputRaisesFileErrorAndEndsTheRun) {
    struct Case {
        const char* name;
        int format;
        const char* blocked;  // a folder in the way of the second entry's output
    };
    const Case cases[] = {
        {"icon", kExportIco, "b_00001.ico"},
        {"picture", kExportPng, "b_00001.png"},
    };
    const std::string a = Executable("a.exe", 1);
    const std::string b = Executable("b.exe", 1);
    const std::string c = Executable("c.exe", 1);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string folder = root_ + "/" + test.name;
        fs::create_directories(folder + "/" + test.blocked);
        ExportOptions options = test.format == kExportIco
                                    ? IcoOptions(folder, "100000000")
                                    : PictureOptions(folder, test.format, 16, 16);
        RecordingProgress progress;
        EXPECT_THROW(ExportEntries({{a, b, c}, {"0", "0", "0"}}, options, progress), FileError);
        ASSERT_FALSE(progress.calls.empty());
        EXPECT_EQ(progress.calls.back(), "End");
        EXPECT_EQ(std::count(progress.calls.begin(), progress.calls.end(), "Step"), 2);
        const std::string ext = ExportExtension(test.format);
        EXPECT_EQ(Listing(folder), (std::vector<std::string>{"a_00001" + ext, test.blocked}));
    }
}

TEST_F(ExportEngine, RemovedOutputFolderRaisesFileError) {
    const std::string exe = Executable("app.exe", 1);
    fs::remove_all(out_);
    RecordingProgress progress;
    EXPECT_THROW(ExportEntries({{exe}, {"0"}}, IcoOptions(out_, "100000000"), progress), FileError);
    EXPECT_EQ(progress.calls.back(), "End");
}

// A size or an entry that cannot be had must not be filled from the previous entry's holders.
TEST_F(ExportEngine, RegressionFailedEntryDoesNotWriteThePreviousEntrysImages) {
    const std::string exe = Executable("one.exe", 1);
    const std::string png = SavePicture("good.png", Picture(20, 20, [](int, int) { return kRed; }));
    const std::string broken = Garbage("broken.png");
    const std::string text = Garbage("notes.txt");
    struct Case {
        const char* name;
        ExportOptions options;
        ExportRequest request;
        std::vector<std::string> expected;
    };
    const std::string folder = root_ + "/cases";
    const Case cases[] = {
        {"icon index gone",
         IcoOptions(folder, "111000000"),
         {{exe, exe}, {"0", "4"}},
         {"one_00001.ico"}},
        {"icon file gone",
         IcoOptions(folder, "111000000"),
         {{exe, src_ + "x.dll"}, {"0", "0"}},
         {"one_00001.ico"}},
        {"icon load fails",
         IcoOptions(folder, "110000000"),
         {{png, broken}, {"0", "0"}},
         {"good_00001.ico"}},
        {"icon unknown type",
         IcoOptions(folder, "110000000"),
         {{png, text}, {"0", "0"}},
         {"good_00001.ico"}},
        {"picture load fails",
         PictureOptions(folder, kExportPng, 16, 16),
         {{png, broken}, {"0", "0"}},
         {"good_00001.png"}},
        {"picture extraction fails",
         PictureOptions(folder, kExportTga, 16, 16),
         {{png, exe}, {"0", "1"}},
         {"good_00001.tga"}},
        {"picture unknown type",
         PictureOptions(folder, kExportGif, 16, 16),
         {{png, text}, {"0", "0"}},
         {"good_00001.gif"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        Run(test.request, test.options);
        EXPECT_EQ(Listing(folder), test.expected);
    }
}

TEST_F(ExportEngine, RegressionIconFileHoldsOnlyItsOwnSizes) {
    const std::string exe = Executable("one.exe", 1);
    const std::string png = SavePicture("blue.png", Picture(20, 20, [](int, int) {
                                            return Rgb{0, 0, 255};
                                        }));
    Run({{png, exe}, {"0", "0"}}, IcoOptions(out_, "101000000"));

    const auto directory = IconDirectory(Out("one_00001.ico"));
    ASSERT_EQ(directory.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const Rgba own = kGroupColours[0];
        EXPECT_EQ(ReadIcon(Out("one_00001.ico"), i).Image.PixelRgb(3, 3),
                  (Rgb{own.r, own.g, own.b}));
    }
}

TEST_F(ExportEngine, FormatOutsideTheListWritesNothing) {
    const std::string exe = Executable("app.exe", 1);
    for (int format : {-1, static_cast<int>(kExportFormatCount)}) {
        RecordingProgress progress;
        ExportEntries({{exe}, {"0"}}, PictureOptions(out_, format, 16, 16), progress);
        EXPECT_TRUE(progress.calls.empty());
    }
    EXPECT_TRUE(Output().empty());
}

TEST_F(ExportEngine, TargaCompressionStaysOffAfterA32BitTarga) {
    // An icon with alpha is written as a 32-bit Targa, which switches the holder's run-length
    // compression off; the holder is reused, so a later 24-bit Targa is written uncompressed.
    ResourceBuilder builder;
    builder.AddIconGroup(1, {MakeDibIcon(32, 32, 32, Rgba{200, 0, 0, 128})});
    const std::string exe = src_ + "alpha.exe";
    pefix::WriteBytes(exe, builder.BuildPe());
    const std::string png =
        SavePicture("plain.png", Picture(20, 20, [](int, int) { return kRed; }));
    // Image type (offset 2: 2 uncompressed, 10 run-length) and bits per pixel (offset 16).
    auto header = [](const std::string& path) {
        const std::vector<unsigned char> bytes = ReadWholeFile(path);
        return std::pair<int, int>{bytes.at(2), bytes.at(16)};
    };
    using Header = std::pair<int, int>;
    struct Case {
        const char* name;
        ExportRequest request;
        Header alpha, plain;
    };
    const Case cases[] = {
        {"32-bit first", {{exe, png}, {"0", "0"}}, {2, 32}, {2, 24}},
        {"24-bit first", {{png, exe}, {"0", "0"}}, {2, 32}, {10, 24}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string folder = root_ + "/" + test.name;
        fs::create_directories(folder);
        Run(test.request, PictureOptions(folder, kExportTga, 16, 16));
        EXPECT_EQ(header(folder + "/alpha_00001.tga"), test.alpha);
        EXPECT_EQ(header(folder + "/plain_00001.tga"), test.plain);
    }
}

TEST_F(ExportEngine, PicturesAreResizedWithTheHermiteFilter) {
    // Vertical stripes one pixel wide, enlarged: the filters blend the stripes differently.
    const ImageHolder stripes = Picture(5, 5, [](int x, int) {
        return x % 2 ? Rgb{0, 0, 200} : Rgb{240, 40, 0};
    });
    const std::string png = SavePicture("stripes.png", stripes);
    auto resized = [&](ResampleFilter filter) {
        ImageHolder expected = stripes;
        ResampleImage(expected, 16, 16, filter);
        return expected;
    };
    const ImageHolder hermite = resized(ResampleFilter::rfHermite);
    const ImageHolder linear = resized(ResampleFilter::rfFastLinear);
    // Pinned values of the Hermite result; the fast linear one differs in that row.
    const Rgb kHermiteAt2{107, 17, 110};
    EXPECT_EQ(hermite.Image.PixelRgb(2, 8), kHermiteAt2);
    EXPECT_NE(linear.Image.PixelRgb(2, 8), kHermiteAt2);

    struct Case {
        const char* name;
        ExportOptions options;
        std::string output;
    };
    const Case cases[] = {
        {"icon", IcoOptions(root_ + "/icon", "100000000"), "stripes_00001.ico"},
        {"picture", PictureOptions(root_ + "/picture", kExportPng, 16, 16), "stripes_00001.png"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        fs::create_directories(test.options.SavePath);
        Run({{png}, {"0"}}, test.options);
        ImageHolder written;
        ASSERT_TRUE(LoadImageFile(written, test.options.SavePath + "/" + test.output).ok());
        ASSERT_EQ(written.Image.Width(), 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(written.Image.PixelRgb(x, y), hermite.Image.PixelRgb(x, y))
                    << x << "," << y;
    }
}

TEST(ChosenIconSizes, FollowsTheSizeRows) {
    EXPECT_EQ(ChosenIconSizes("100100000"), (std::vector<int>{16, 48}));
    EXPECT_EQ(ChosenIconSizes("111111111"),
              (std::vector<int>{16, 24, 32, 48, 64, 72, 96, 128, 256}));
    EXPECT_EQ(ChosenIconSizes("0x1"), (std::vector<int>{32}));
    EXPECT_EQ(ChosenIconSizes("00000000011"), (std::vector<int>{}));
    EXPECT_EQ(ChosenIconSizes(""), (std::vector<int>{}));
}

class GatheringEntries : public ExportEngine {
  protected:
    int Add(Catalogue& catalogue, const std::string& name, int iconNumber) {
        const std::string path = src_ + name;
        pefix::WriteBytes(path, {1, 2, 3});
        IconEntry entry;
        entry.SourcePath = path;
        entry.DisplayName = name;
        entry.IconNumber = iconNumber;
        return catalogue.Append(entry);
    }
};

TEST_F(GatheringEntries, AllInGridOrderSelectedInSelectionOrder) {
    Catalogue catalogue;
    const int a = Add(catalogue, "a.dll", 3);
    Add(catalogue, "b.png", 0);
    const int gone = Add(catalogue, "gone.exe", 1);
    const int c = Add(catalogue, "c.exe", 12);
    fs::remove(catalogue.Entry(gone).SourcePath);

    const ExportRequest all = GatherEntries(catalogue, true);
    EXPECT_EQ(all.Files,
              (std::vector<std::string>{src_ + "a.dll", src_ + "b.png", src_ + "c.exe"}));
    EXPECT_EQ(all.Indexes, (std::vector<std::string>{"2", "0", "11"}));

    catalogue.SelectOnly(c);
    catalogue.ToggleSelection(gone);
    catalogue.ToggleSelection(a);
    const ExportRequest selected = GatherEntries(catalogue, false);
    EXPECT_EQ(selected.Files, (std::vector<std::string>{src_ + "c.exe", src_ + "a.dll"}));
    EXPECT_EQ(selected.Indexes, (std::vector<std::string>{"11", "2"}));

    catalogue.ClearSelection();
    EXPECT_TRUE(GatherEntries(catalogue, false).Empty());
}

TEST_F(GatheringEntries, AFolderInPlaceOfTheFileIsSkipped) {
    Catalogue catalogue;
    IconEntry entry;
    entry.SourcePath = src_;
    catalogue.Append(entry);
    EXPECT_TRUE(GatherEntries(catalogue, true).Empty());
}

}  // namespace
}  // namespace gw
