#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "imagefile/ico/reader.h"
#include "support/icobuilder.h"

namespace gw {
namespace {

using test::BuildDib;
using test::BuildIconContainer;
using test::DibSpec;
using test::IcoEntry;

DibSpec Small(int bits) {
    DibSpec s;
    s.width = 5;
    s.height = 3;
    s.bitCount = bits;
    if (bits <= 8)
        for (int i = 0; i < (1 << bits); ++i)
            s.colorTable.push_back({static_cast<std::uint8_t>(i), 0, 0});
    for (int i = 0; i < 15; ++i) s.pixels.push_back(0x80000000u | static_cast<std::uint32_t>(i));
    s.mask = {1, 0, 1, 0, 1};
    return s;
}

IcoEntry EntryFor(const DibSpec& s) {
    IcoEntry e;
    e.width = static_cast<std::uint8_t>(s.width);
    e.height = static_cast<std::uint8_t>(s.height);
    e.bitCount = static_cast<std::uint16_t>(s.bitCount);
    e.payload = BuildDib(s);
    return e;
}

struct Outcome {
    bool failed;
    int width;  // of the image read, -1 when the image was left alone
};

Outcome ReadOnce(const std::vector<std::uint8_t>& bytes, bool cursor) {
    RasterImage image;
    image.Allocate(1, 1, PixelFormat::ie24RGB);
    FileParams params;
    bool failed = false;
    ByteReader stream(bytes);
    if (cursor)
        failed = ReadCursorImage(stream, image, params) != ImageError::None;
    else
        failed = ReadIconImage(stream, image, params) != ImageError::None;
    return {failed, image.Width() == 1 && image.Height() == 1 ? -1 : image.Width()};
}

TEST(MalformedIcons, FailOrReadWithinTheData) {
    struct Case {
        const char* name;
        std::function<std::vector<std::uint8_t>()> build;
        bool failed;
        int width;
    };
    auto entry = [](std::function<void(IcoEntry&)> change, int bits = 32) {
        return [change, bits] {
            IcoEntry e = EntryFor(Small(bits));
            change(e);
            return BuildIconContainer({e});
        };
    };
    auto header = [](std::function<void(DibSpec&)> change, int bits = 32) {
        return [change, bits] {
            DibSpec s = Small(bits);
            change(s);
            IcoEntry e = EntryFor(s);
            e.payload = BuildDib(s);
            return BuildIconContainer({e});
        };
    };
    auto truncated = [](int bits, std::size_t keep) {
        return [bits, keep] {
            auto b = BuildIconContainer({EntryFor(Small(bits))});
            b.resize(22 + keep);
            return b;
        };
    };
    const Case cases[] = {
        {"empty stream", [] { return std::vector<std::uint8_t>{}; }, true, -1},
        {"header cut short",
         [] {
             return std::vector<std::uint8_t>{0, 0, 1};
         },
         true, -1},
        {"count without directory", [] { return std::vector<std::uint8_t>{0, 0, 1, 0, 1, 0}; },
         true, -1},
        {"zero count", [] { return std::vector<std::uint8_t>{0, 0, 1, 0, 0, 0}; }, true, -1},
        {"offset past the end", entry([](IcoEntry& e) { e.offset = 100000; }), true, -1},
        {"offset at 4 GiB", entry([](IcoEntry& e) { e.offset = 0xffffffffu; }), true, -1},
        {"offset leaves under 40 bytes", entry([](IcoEntry& e) { e.offset = 22 + 100; }), true, -1},
        {"huge size field", entry([](IcoEntry& e) { e.size = 0xffffffffu; }), false, 5},
        {"depth only in the entry", header([](DibSpec& s) { s.headerBitCount = 0; }), false, 5},
        {"no depth anywhere",
         [] {
             DibSpec s = Small(32);
             s.headerBitCount = 0;
             IcoEntry e = EntryFor(s);
             e.bitCount = 0;
             return BuildIconContainer({e});
         },
         true, -1},
        {"header width beyond the limits",
         [] {
             DibSpec s = Small(32);
             s.headerWidth = 0x7fffffff;
             s.headerHeight = 0x7ffffffe;
             IcoEntry e = EntryFor(s);
             e.width = e.height = 0;
             return BuildIconContainer({e});
         },
         true, -1},
        {"header height zero",
         [] {
             DibSpec s = Small(32);
             s.headerHeight = 1;
             IcoEntry e = EntryFor(s);
             e.height = 0;
             return BuildIconContainer({e});
         },
         true, -1},
        {"negative header width", header([](DibSpec& s) { s.headerWidth = -16; }), false, 5},
        {"depth 65535", header([](DibSpec& s) { s.headerBitCount = 0xffff; }), false, 5},
        {"colour rows cut short", truncated(32, 40 + 30), false, 5},
        {"colour table cut short", truncated(8, 40 + 100), false, 5},
        {"bitmap header only", truncated(4, 40), false, 5},
        {"depth only in the bitmap header", entry([](IcoEntry& e) { e.bitCount = 0; }), false, 5},
    };
    for (const Case& c : cases) {
        const auto bytes = c.build();
        Outcome icon = ReadOnce(bytes, false);
        EXPECT_EQ(icon.failed, c.failed) << c.name;
        EXPECT_EQ(icon.width, c.width) << c.name;
        ReadOnce(bytes, true);  // the cursor reader survives the same data
        ByteReader r(bytes);
        IsIconStream(r);
        IsCursorStream(r);
    }
}

TEST(MalformedIcons, EveryTruncationOfEveryDepthIsSafe) {
    for (int bits : {1, 4, 8, 24, 32}) {
        std::vector<IcoEntry> entries{EntryFor(Small(bits)), EntryFor(Small(bits))};
        const auto full = BuildIconContainer(entries);
        for (std::size_t n = 0; n <= full.size(); ++n) {
            std::vector<std::uint8_t> bytes(full.begin(),
                                            full.begin() + static_cast<std::ptrdiff_t>(n));
            for (int index : {0, 1}) {
                for (bool cursor : {false, true}) {
                    RasterImage image;
                    FileParams params;
                    params.ICO_ImageIndex = params.CUR_ImageIndex = index;
                    bool failed = false;
                    ByteReader stream(bytes);
                    if (cursor)
                        failed = ReadCursorImage(stream, image, params) != ImageError::None;
                    else
                        failed = ReadIconImage(stream, image, params) != ImageError::None;
                    if (!failed && !image.Empty()) {
                        ASSERT_EQ(image.Width(), 5) << bits << " " << n;
                        ASSERT_EQ(image.Height(), 3) << bits << " " << n;
                    }
                }
            }
        }
    }
}

TEST(MalformedIcons, RegressionDirectoryCheckIsRelativeToTheContainer) {
    // A container that starts inside a larger stream: offsets count from its own start.
    auto icon = BuildIconContainer({EntryFor(Small(32))});
    std::vector<std::uint8_t> bytes(100 + icon.size(), 0);
    std::copy(icon.begin(), icon.end(), bytes.begin() + 100);
    ByteReader r(bytes);
    r.skip(100);
    EXPECT_TRUE(IsIconStream(r));
    RasterImage image;
    FileParams params;
    bool failed = false;
    failed = ReadIconImage(r, image, params) != ImageError::None;
    EXPECT_FALSE(failed);
    EXPECT_EQ(image.Width(), 5);
}

}  // namespace
}  // namespace gw
