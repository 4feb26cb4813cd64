#include "catalogue/opening.h"
#include "base/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "catalogue/openahead.h"
#include "support/icobuilder.h"
#include "support/pebuilder.h"

namespace gw {
namespace {

namespace fs = std::filesystem;

class Opening : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("gw_opening_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    void Library(const std::string& name, int icons) const {
        pefix::ResourceBuilder res;
        for (int i = 0; i < icons; ++i)
            res.AddIconGroup(
                static_cast<std::uint32_t>(i + 1),
                {pefix::MakeDibIcon(32, 32, 32,
                                    pefix::Rgba{static_cast<std::uint8_t>(i * 40), 0, 0, 255})});
        pefix::WriteBytes(Path(name), res.BuildPe());
    }
    void Png(const std::string& name, int w, int h) const {
        pefix::WriteBytes(Path(name),
                          test::BuildPng(w, h, std::vector<std::uint32_t>(w * h, 0xFF336699u)));
    }
    void Text(const std::string& name) const {
        pefix::WriteBytes(Path(name), {'t', 'e', 'x', 't'});
    }

    fs::path dir_;
};

std::vector<int> Numbers(const Catalogue& c) {
    std::vector<int> n;
    for (int i = 0; i < c.Count(); ++i) n.push_back(c.Entry(i).IconNumber);
    return n;
}

TEST_F(Opening, IconSourcesGiveOneEntryPerIcon) {
    Library("one.dll", 1);
    Library("THREE.EXE", 3);
    Catalogue c;
    AddSourceFile(c, Path("one.dll"));
    AddSourceFile(c, Path("THREE.EXE"));
    AddSourceFile(c, Path("THREE.EXE"));  // the same file twice gives its entries twice
    EXPECT_EQ(Numbers(c), (std::vector<int>{0, 1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(c.Entry(1).DisplayName, "THREE.EXE");
    EXPECT_EQ(c.Entry(1).SourcePath, Path("THREE.EXE"));
    EXPECT_EQ(c.PictureWidth(2), 32);
    EXPECT_EQ(c.SelectedCount(), 0);
}

TEST_F(Opening, PicturesKeepTheirOwnSize) {
    Png("wide.png", 300, 120);
    test::DibSpec cursor;
    cursor.width = cursor.height = 32;
    test::IcoEntry entry;
    entry.width = entry.height = 32;
    entry.payload = test::BuildDib(cursor);
    pefix::WriteBytes(Path("arrow.cur"), test::BuildIconContainer({entry}, 2));
    Catalogue c;
    AddSourceFile(c, Path("wide.png"));
    AddSourceFile(c, Path("arrow.cur"));
    ASSERT_EQ(c.Count(), 2);
    EXPECT_EQ(c.PictureWidth(0), 300);
    EXPECT_EQ(c.PictureHeight(0), 120);
    EXPECT_FALSE(c.Entry(0).Image->Failed);
    EXPECT_LE(c.Entry(0).Image->DisplayWidth, 80);
    EXPECT_EQ(c.Entry(1).IconNumber, 0);
}

TEST_F(Opening, WhatAddsNothing) {
    Text("notes.dll");
    Text("notes.txt");
    fs::create_directories(Path("folder.exe"));
    Png("broken.png", 8, 8);
    fs::resize_file(Path("broken.png"), 20);
    Catalogue c;
    c.Append(IconEntry{"/x", "x", 0, nullptr});
    for (const char* name : {"missing.png", "folder.exe"}) AddSourceFile(c, Path(name));
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(c.SelectedCount(), 1);  // a missing file or a folder leaves the selection alone
    for (const char* name : {"notes.dll", "notes.txt"}) AddSourceFile(c, Path(name));
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(c.SelectedCount(), 0);
    // An undecodable picture still gets its entry, shown with the fallback picture.
    AddSourceFile(c, Path("broken.png"));
    ASSERT_EQ(c.Count(), 2);
    EXPECT_TRUE(c.Entry(1).Image->Failed);
}

// Reading ahead on worker threads gives, file by file, exactly what opening them one by one
// gives: the same entries in the same order, the same outcomes, the same pictures.
TEST_F(Opening, OpeningAheadGivesWhatOpeningOneByOneGives) {
    Library("three.dll", 3);
    Library("one.exe", 1);
    Png("wide.png", 300, 120);
    Png("broken.png", 8, 8);
    fs::resize_file(Path("broken.png"), 20);
    Text("notes.dll");
    std::vector<std::string> paths;
    for (int round = 0; round < 3; ++round)
        for (const char* name :
             {"three.dll", "missing.png", "wide.png", "notes.dll", "broken.png", "one.exe"})
            paths.push_back(Path(name));

    Catalogue expected;
    std::vector<OpenError> expectedErrors;
    for (const std::string& p : paths) expectedErrors.push_back(AddSourceFile(expected, p).Error);

    for (int threads : {1, 2, 5}) {
        OpenAhead ahead(paths, threads);
        ASSERT_EQ(ahead.Count(), paths.size());
        Catalogue c;
        c.Append(IconEntry{"/x", "x", 0, nullptr});
        std::vector<OpenError> errors;
        for (std::size_t i = 0; i < ahead.Count(); ++i)
            errors.push_back(AddOpenedFile(c, ahead.Take(i)).Error);
        EXPECT_EQ(errors, expectedErrors) << threads;
        ASSERT_EQ(c.Count(), expected.Count() + 1) << threads;
        for (int i = 0; i < expected.Count(); ++i) {
            const IconEntry &a = c.Entry(i + 1), &b = expected.Entry(i);
            EXPECT_EQ(a.SourcePath, b.SourcePath);
            EXPECT_EQ(a.IconNumber, b.IconNumber);
            EXPECT_EQ(a.Image->Failed, b.Image->Failed);
            EXPECT_EQ(a.Image->Width, b.Image->Width);
            EXPECT_EQ(a.Image->Bgra, b.Image->Bgra);
        }
        EXPECT_EQ(c.SelectedCount(), 0);
    }
}

// A batch that ends early (the window closed) stops its workers without waiting for the rest.
TEST_F(Opening, OpeningAheadCanBeLeftEarly) {
    Png("wide.png", 300, 120);
    const std::vector<std::string> paths(200, Path("wide.png"));
    OpenAhead ahead(paths, 2);
    Catalogue c;
    AddOpenedFile(c, ahead.Take(0));
    EXPECT_EQ(c.Count(), 1);
}

TEST_F(Opening, ListSourceFilesTakesSupportedNamesDirectlyInside) {
    Library("app.exe", 2);
    Png("Photo.PNG", 4, 4);
    Png(".hidden.png", 4, 4);
    Text("readme.txt");
    fs::create_directories(Path("sub"));
    Library("sub/inner.dll", 1);
    fs::create_directories(Path("folder.exe"));
    std::vector<std::string> listed = ListSourceFiles(dir_.string());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{Path(".hidden.png"), Path("Photo.PNG"),
                                                Path("app.exe"), Path("folder.exe")}));
    EXPECT_EQ(ListSourceFiles(dir_.string() + "/"), ListSourceFiles(dir_.string()));
    EXPECT_TRUE(ListSourceFiles("").empty());
    EXPECT_TRUE(ListSourceFiles(Path("nowhere")).empty());
}

TEST(SourceFiles, ByNameOnly) {
    for (const char* yes : {"a.exe", "A.DLL", "b.ocx", "c.Cpl", "d.icl", "e.ico", "f.cur", "g.Jpeg",
                            "h.wmf", "i.psd"})
        EXPECT_TRUE(IsSourceFile(yes)) << yes;
    for (const char* no : {"a.txt", "b.pdf", "c.avi", "noextension", "d.exe.bak"})
        EXPECT_FALSE(IsSourceFile(no)) << no;
    EXPECT_EQ(FolderPart("/a/b/c.dll"), "/a/b/");
    EXPECT_EQ(FolderPart("c.dll"), "");
}

}  // namespace
}  // namespace gw
