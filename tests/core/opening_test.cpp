#include "catalogue/opening.h"
#include "base/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
