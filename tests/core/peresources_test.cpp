#include "catalogue/peresources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/pebuilder.h"

namespace gw {
namespace {

using pefix::IconImage;
using pefix::MakeDibIcon;
using pefix::ResourceBuilder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kTypes[] = {kRtGroupIcon, kRtIcon};

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

IconImage Image(int size) {
    return MakeDibIcon(size, size, 32, pefix::Rgba{10, 20, 30, 255});
}

// Three groups of one image each, ids 1, 2 and 3, and their icons 1, 2 and 3.
ResourceBuilder ThreeGroups() {
    ResourceBuilder b;
    b.AddIconGroup(1, {Image(16)});
    b.AddIconGroup(2, {Image(32)});
    b.AddIconGroup(3, {Image(48)});
    return b;
}

std::vector<std::uint32_t> GroupIds(const ResourceTable& t) {
    std::vector<std::uint32_t> ids;
    for (const Resource& r : t.OfType(kRtGroupIcon)) ids.push_back(r.Id);
    return ids;
}

struct FormatCase {
    const char* name;
    ExecutableFormat format;
    friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }
};

class ResourceFormats : public ::testing::TestWithParam<FormatCase> {
  protected:
    Bytes Build(const ResourceBuilder& b) const {
        switch (GetParam().format) {
            case ExecutableFormat::PE32Plus:
                return b.BuildPe(true);
            case ExecutableFormat::NE:
                return b.BuildNe();
            default:
                return b.BuildPe(false);
        }
    }
};

TEST_P(ResourceFormats, ListsGroupsInDirectoryOrderAndFindsTheirIcons) {
    ResourceBuilder b = ThreeGroups();
    const Bytes file = Build(b);
    ResourceTable t;
    ASSERT_EQ(t.Read(file, kTypes), ResourceError::None);
    EXPECT_EQ(t.Format(), GetParam().format);
    EXPECT_EQ(GroupIds(t), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_FALSE(t.Truncated());
    for (std::uint32_t id = 1; id <= 3; ++id) {
        const Resource* icon = t.Find(kRtIcon, id);
        ASSERT_NE(icon, nullptr) << id;
        const IconImage expected = Image(id == 1 ? 16 : id == 2 ? 32 : 48);
        ASSERT_GE(icon->Data.size(), expected.Bytes.size());
        EXPECT_EQ(0, std::memcmp(icon->Data.data(), expected.Bytes.data(), expected.Bytes.size()));
    }
    EXPECT_EQ(t.Find(kRtIcon, 4), nullptr);
    EXPECT_EQ(t.Find(kRtGroupIcon + 1, 1), nullptr);
    EXPECT_TRUE(t.OfType(5).empty());
}

TEST_P(ResourceFormats, NamedGroupsCountAndComeFirst) {
    ResourceBuilder b;
    b.AddIconGroup(7, {Image(16)});
    b.AddNamedIconGroup("MAINICON", {Image(32)});
    const Bytes file = Build(b);
    ResourceTable t;
    ASSERT_EQ(t.Read(file, kTypes), ResourceError::None);
    const auto& groups = t.OfType(kRtGroupIcon);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_TRUE(groups[0].Named);
    EXPECT_FALSE(groups[1].Named);
    EXPECT_EQ(groups[1].Id, 7u);
    EXPECT_FALSE(groups[0].Data.empty());
}

TEST_P(ResourceFormats, KeepsTheOrderTheDirectoryHasEvenWhenUnsorted) {
    ResourceBuilder b;
    b.SortEntries = false;
    b.AddIconGroup(30, {Image(16)});
    b.AddIconGroup(10, {Image(16)});
    b.AddIconGroup(20, {Image(16)});
    const Bytes file = Build(b);
    ResourceTable t;
    ASSERT_EQ(t.Read(file, kTypes), ResourceError::None);
    EXPECT_EQ(GroupIds(t), (std::vector<std::uint32_t>{30, 10, 20}));
}

TEST_P(ResourceFormats, FileWithoutIconsHasNoGroups) {
    ResourceBuilder b;
    b.Add(6, 1, Bytes(40, 'x'));  // a string table only
    const Bytes file = Build(b);
    ResourceTable t;
    EXPECT_EQ(t.Read(file, kTypes), ResourceError::None);
    EXPECT_TRUE(t.OfType(kRtGroupIcon).empty());
}

INSTANTIATE_TEST_SUITE_P(All, ResourceFormats,
                         ::testing::Values(FormatCase{"PE32", ExecutableFormat::PE32},
                                           FormatCase{"PE32Plus", ExecutableFormat::PE32Plus},
                                           FormatCase{"NE", ExecutableFormat::NE}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ResourceTable, GroupWithSeveralLanguagesCountsOnceWithItsFirstLanguage) {
    ResourceBuilder b;
    b.Add(kRtGroupIcon, 1, Bytes(20, 0xBB), 0x409);
    b.Add(kRtGroupIcon, 1, Bytes(20, 0xAA), 0x407);
    const Bytes file = b.BuildPe();
    ResourceTable t;
    ASSERT_EQ(t.Read(file, kTypes), ResourceError::None);
    ASSERT_EQ(t.OfType(kRtGroupIcon).size(), 1u);
    EXPECT_EQ(t.OfType(kRtGroupIcon)[0].Data[0], 0xAA);  // 0x407 sorts first
}

TEST(ResourceTable, RejectsWhatIsNoExecutable) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes mzOnly(64, 0);
    mzOnly[0] = 'M', mzOnly[1] = 'Z';
    Bytes farHeader = mzOnly;
    Put32(farHeader, 0x3C, 0xFFFFFFF0u);
    Bytes otherHeader = mzOnly;
    Put32(otherHeader, 0x3C, 0x20);
    otherHeader[0x20] = 'L', otherHeader[0x21] = 'E';
    const std::string text = "This is a text file, not a library.\n";
    const Case cases[] = {
        {"Empty", {}},
        {"Text", Bytes(text.begin(), text.end())},
        {"MzWithoutNewHeader", mzOnly},
        {"NewHeaderOutsideFile", farHeader},
        {"LinearExecutable", otherHeader},
    };
    for (const Case& c : cases) {
        ResourceTable t;
        EXPECT_EQ(t.Read(c.bytes, kTypes), ResourceError::NotExecutable) << c.name;
        EXPECT_TRUE(t.OfType(kRtGroupIcon).empty()) << c.name;
    }
}

TEST(ResourceTable, HeadersCutShortOrWithoutResourceDirectory) {
    ResourceBuilder b = ThreeGroups();
    const Bytes good = b.BuildPe();
    const std::size_t opt = 0x40 + 24;
    const std::size_t rsrcDirectory = opt + 96 + 2 * 8;
    const std::size_t sectionRawOffset = opt + 224 + 20;
    struct Case {
        const char* name;
        std::size_t cutAt;    // 0 = keep the whole file
        std::size_t patchAt;  // 0 = no patch
        std::uint32_t value;
        int width;  // bytes patched
        ResourceError expected;
    };
    const Case cases[] = {
        {"CutInsideCoffHeader", 0x50, 0, 0, 0, ResourceError::Malformed},
        {"CutInsideOptionalHeader", opt + 100, 0, 0, 0, ResourceError::Malformed},
        {"UnknownOptionalMagic", 0, opt, 0x0777, 2, ResourceError::NotExecutable},
        {"NoResourceDirectory", 0, rsrcDirectory, 0, 4, ResourceError::NoResources},
        {"TwoDataDirectoriesOnly", 0, opt + 92, 2, 4, ResourceError::NoResources},
        {"ResourcesOutsideEverySection", 0, rsrcDirectory, 0x00F00000, 4, ResourceError::Malformed},
        {"ResourcesPastTheFileEnd", 0, sectionRawOffset, 0x10000, 4, ResourceError::Malformed},
    };
    for (const Case& c : cases) {
        Bytes f = good;
        if (c.width == 2) Put16(f, c.patchAt, static_cast<std::uint16_t>(c.value));
        if (c.width == 4) Put32(f, c.patchAt, c.value);
        if (c.cutAt) f.resize(c.cutAt);
        ResourceTable t;
        EXPECT_EQ(t.Read(f, kTypes), c.expected) << c.name;
        EXPECT_TRUE(t.OfType(kRtGroupIcon).empty()) << c.name;
    }
}

// A damaged directory yields what can still be found, within the entry budget, and never
// reads outside the file.
TEST(ResourceTable, DamagedDirectories) {
    ResourceBuilder b = ThreeGroups();
    pefix::PeLayout layout;
    const Bytes good = b.BuildPe(false, &layout);
    const std::size_t root = layout.Resources;
    const std::uint32_t groupDir = layout.NameDirectory.at(kRtGroupIcon);
    const std::uint32_t lang2 = layout.LanguageDirectory.at({kRtGroupIcon, 2});
    const std::uint32_t entry2 = layout.DataEntry.at({kRtGroupIcon, 2});
    // Root entries: type 3 first, then type 14.
    const std::size_t groupTypeEntry = root + 16 + 8;

    struct Case {
        const char* name;
        void (*damage)(Bytes&, std::size_t root, std::uint32_t groupDir, std::uint32_t lang2,
                       std::uint32_t entry2, std::size_t groupTypeEntry);
        std::size_t groups;  // groups listed
        int groupsWithData;  // of them with bytes
    };
    const Case cases[] = {
        {"RootClaimsHugeEntryCounts",
         [](Bytes& f, std::size_t root, std::uint32_t, std::uint32_t, std::uint32_t, std::size_t) {
             Put16(f, root + 12, 0xFFFF);
             Put16(f, root + 14, 0xFFFF);
         },
         3, 3},
        {"GroupDirectoryOutsideFile",
         [](Bytes& f, std::size_t, std::uint32_t, std::uint32_t, std::uint32_t, std::size_t te) {
             Put32(f, te + 4, 0x80000000u | 0x7FFFFFF0u);
         },
         0, 0},
        {"GroupDirectoryLoopsToRoot",
         [](Bytes& f, std::size_t, std::uint32_t, std::uint32_t, std::uint32_t, std::size_t te) {
             Put32(f, te + 4, 0x80000000u);
         },
         2, 0},
        {"LanguageDirectoryLoopsToItself",
         [](Bytes& f, std::size_t root, std::uint32_t, std::uint32_t lang2, std::uint32_t,
            std::size_t) { Put32(f, root + lang2 + 16 + 4, 0x80000000u | lang2); },
         3, 2},
        {"NameDirectoryLoopsToItself",
         [](Bytes& f, std::size_t root, std::uint32_t dir, std::uint32_t, std::uint32_t,
            std::size_t) { Put32(f, root + dir + 16 + 8 + 4, 0x80000000u | dir); },
         3, 2},
        {"DataEntryOutsideFile",
         [](Bytes& f, std::size_t root, std::uint32_t, std::uint32_t lang2, std::uint32_t,
            std::size_t) { Put32(f, root + lang2 + 16 + 4, 0x7FFFFFF0u); },
         3, 2},
        {"DataAddressOutsideEverySection",
         [](Bytes& f, std::size_t root, std::uint32_t, std::uint32_t, std::uint32_t entry2,
            std::size_t) { Put32(f, root + entry2, 0x7FFF0000u); },
         3, 2},
        {"GroupDirectoryCountsTooMany",
         [](Bytes& f, std::size_t root, std::uint32_t dir, std::uint32_t, std::uint32_t,
            std::size_t) { Put16(f, root + dir + 14, 0xFFFF); },
         3, 3},
    };
    for (const Case& c : cases) {
        Bytes f = good;
        c.damage(f, root, groupDir, lang2, entry2, groupTypeEntry);
        ResourceTable t;
        EXPECT_EQ(t.Read(f, kTypes), ResourceError::None) << c.name;
        const auto& groups = t.OfType(kRtGroupIcon);
        EXPECT_GE(groups.size(), c.groups) << c.name;
        int withData = 0;
        for (const Resource& r : groups) {
            if (!r.Data.empty()) ++withData;
            if (!r.Data.empty()) {
                EXPECT_GE(r.Data.data(), f.data()) << c.name;
                EXPECT_LE(r.Data.data() + r.Data.size(), f.data() + f.size()) << c.name;
            }
        }
        EXPECT_GE(withData, c.groupsWithData) << c.name;
        if (std::string(c.name) == "GroupDirectoryOutsideFile" ||
            std::string(c.name) == "LanguageDirectoryLoopsToItself" ||
            std::string(c.name) == "DataEntryOutsideFile") {
            EXPECT_EQ(groups.size(), c.groups) << c.name;
            EXPECT_EQ(withData, c.groupsWithData) << c.name;
        }
    }
}

TEST(ResourceTable, DataLongerThanTheFileIsCutAtItsEnd) {
    ResourceBuilder b = ThreeGroups();
    pefix::PeLayout layout;
    Bytes f = b.BuildPe(false, &layout);
    Put32(f, layout.Resources + layout.DataEntry.at({kRtIcon, 3}) + 4, 0x7FFFFFFFu);
    ResourceTable t;
    ASSERT_EQ(t.Read(f, kTypes), ResourceError::None);
    const Resource* icon = t.Find(kRtIcon, 3);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->Data.data() + icon->Data.size(), f.data() + f.size());
}

// Every name of a huge directory leads to one shared language directory whose entries are all
// subdirectories: the walk gives up at its entry budget instead of visiting billions of entries.
TEST(ResourceTable, StopsAtTheEntryBudget) {
    constexpr std::uint32_t kEntries = 60000;
    ResourceBuilder b;
    b.Add(99, 1, Bytes(2 * (16 + 8 * kEntries), 0));
    pefix::PeLayout layout;
    Bytes f = b.BuildPe(false, &layout);
    const std::size_t root = layout.Resources;
    const std::uint32_t names = static_cast<std::uint32_t>(layout.Data.at({99, 1}) - root);
    const std::uint32_t languages = names + 16 + 8 * kEntries;
    Put32(f, root + 16, kRtGroupIcon);
    Put32(f, root + 16 + 4, 0x80000000u | names);
    Put16(f, root + names + 14, kEntries);
    Put16(f, root + languages + 14, kEntries);
    for (std::uint32_t i = 0; i < kEntries; ++i) {
        Put32(f, root + names + 16 + 8 * i, i + 1);
        Put32(f, root + names + 16 + 8 * i + 4, 0x80000000u | languages);
        Put32(f, root + languages + 16 + 8 * i, 0x409);
        Put32(f, root + languages + 16 + 8 * i + 4, 0x80000000u | languages);
    }
    ResourceTable t;
    EXPECT_EQ(t.Read(f, kTypes), ResourceError::None);
    EXPECT_TRUE(t.Truncated());
    EXPECT_LE(t.OfType(kRtGroupIcon).size(), 2u);
}

TEST(ResourceTable, DamagedNeTables) {
    ResourceBuilder b = ThreeGroups();
    pefix::NeLayout layout;
    const Bytes good = b.BuildNe(&layout);
    const std::size_t table = layout.ResourceTable;
    // Types are listed in ascending order: icons, then groups.
    const std::size_t groupType = layout.NameInfo.at({kRtGroupIcon, 1}) - 8;
    const std::size_t tableEnd = layout.NameInfo.at({kRtGroupIcon, 3}) + 12;
    struct Case {
        const char* name;
        void (*damage)(Bytes&, std::size_t table, std::size_t groupType, std::size_t tableEnd,
                       std::size_t icon2);
        ResourceError expected;
        std::size_t minGroups;
        bool exact;
        bool icon2Present;
    };
    const Case cases[] = {
        {"HugeAlignmentShift",
         [](Bytes& f, std::size_t t, std::size_t, std::size_t, std::size_t) { Put16(f, t, 40); },
         ResourceError::Malformed, 0, true, false},
        {"IconOutsideFile",
         [](Bytes& f, std::size_t, std::size_t, std::size_t, std::size_t i) {
             Put16(f, i, 0xFFFF);
         },
         ResourceError::None, 3, true, false},
        {"GroupTypeClaimsHugeCount",
         [](Bytes& f, std::size_t, std::size_t g, std::size_t, std::size_t) {
             Put16(f, g + 2, 0xFFFF);
         },
         ResourceError::None, 3, false, true},
        {"TableWithoutTerminator",
         [](Bytes& f, std::size_t, std::size_t, std::size_t end, std::size_t) {
             for (std::size_t i = end; i < end + 16; ++i) f[i] = 0x77;
         },
         ResourceError::None, 3, true, true},
        {"Os2Module",
         [](Bytes& f, std::size_t, std::size_t, std::size_t, std::size_t) { f[0x40 + 0x36] = 1; },
         ResourceError::NoResources, 0, true, false},
        {"ResourceTableOutsideFile",
         [](Bytes& f, std::size_t, std::size_t, std::size_t, std::size_t) {
             Put16(f, 0x40 + 0x24, 0xFFF0);
             f.resize(0x200);
         },
         ResourceError::Malformed, 0, true, false},
    };
    for (const Case& c : cases) {
        Bytes f = good;
        c.damage(f, table, groupType, tableEnd, layout.NameInfo.at({kRtIcon, 2}));
        ResourceTable t;
        EXPECT_EQ(t.Read(f, kTypes), c.expected) << c.name;
        const auto& groups = t.OfType(kRtGroupIcon);
        if (c.exact)
            EXPECT_EQ(groups.size(), c.minGroups) << c.name;
        else
            EXPECT_GE(groups.size(), c.minGroups) << c.name;
        for (const Resource& r : groups) {
            if (!r.Data.empty()) {
                EXPECT_LE(r.Data.data() + r.Data.size(), f.data() + f.size()) << c.name;
            }
        }
        const Resource* icon = t.Find(kRtIcon, 2);
        EXPECT_EQ(icon != nullptr && !icon->Data.empty(), c.icon2Present) << c.name;
    }
}

}  // namespace
}  // namespace gw
