#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "support/decode_table.h"
#include "support/picture_bytes.h"

namespace gw {
namespace {

using test::Bytes;

constexpr Rgb R{255, 0, 0}, G{0, 255, 0}, B{0, 0, 255};

// A one-row 24-bit PCX page of the given colours, written by the PCX writer.
std::vector<std::uint8_t> Page(const std::vector<Rgb>& row) {
    ImageHolder h;
    h.Image = test::RgbImage(static_cast<int>(row.size()), 1, row);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(kPcxCodec.Write(h, out), ImageError::None);
    return out;
}

// A 256-colour page: its palette sits at the end of the page, not of the file.
std::vector<std::uint8_t> PalettePage(const std::vector<Rgb>& row) {
    ImageHolder h;
    h.Image = test::RgbImage(static_cast<int>(row.size()), 1, row);
    h.Params.ChannelCount = 1;
    h.Params.BitsPerChannel = 8;
    std::vector<std::uint8_t> out;
    EXPECT_EQ(kPcxCodec.Write(h, out), ImageError::None);
    return out;
}

std::vector<std::uint8_t> Dcx(const std::vector<std::vector<std::uint8_t>>& pages) {
    Bytes b;
    b.u32le(987654321);
    std::uint32_t offset = static_cast<std::uint32_t>(4 + 4 * (pages.size() + 1));
    for (const auto& p : pages) {
        b.u32le(offset);
        offset += static_cast<std::uint32_t>(p.size());
    }
    b.u32le(0);
    for (const auto& p : pages) b.raw(p);
    return b.v;
}

TEST(DcxRead, ImageIndexSelectsThePage) {
    const std::vector<std::uint8_t> file = Dcx({PalettePage({R, G}), Page({B, B, G}), Page({G})});
    EXPECT_TRUE(kDcxCodec.Probe(file));
    ImageHolder h;
    ASSERT_EQ(kDcxCodec.Read(h, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(h.Image), (std::vector<Rgb>{R, G}));
    EXPECT_EQ(h.Params.ChannelCount, 1);
    h.Params.DCX_ImageIndex = 1;
    ASSERT_EQ(kDcxCodec.Read(h, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(h.Image), (std::vector<Rgb>{B, B, G}));
    h.Params.DCX_ImageIndex = 2;
    ASSERT_EQ(kDcxCodec.Read(h, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(h.Image), (std::vector<Rgb>{G}));
    h.Params.DCX_ImageIndex = 3;
    EXPECT_NE(kDcxCodec.Read(h, file, ReadOptions{}), ImageError::None);
    h.Params.DCX_ImageIndex = -1;
    EXPECT_NE(kDcxCodec.Read(h, file, ReadOptions{}), ImageError::None);
}

TEST(DcxWrite, OnePageThatReadsBack) {
    ImageHolder h;
    h.Image = test::Gradient(5, 3);
    h.Params.ChannelCount = 4;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(kDcxCodec.Write(h, file), ImageError::None);
    EXPECT_EQ(h.Params.ChannelCount, 3);
    ASSERT_GT(file.size(), 4100u + 128u);
    EXPECT_EQ(file[4] | (file[5] << 8), 4100);
    EXPECT_EQ(file[8], 0);
    EXPECT_EQ(file[4100], 10);
    EXPECT_TRUE(kDcxCodec.Probe(file));
    ImageHolder back;
    ASSERT_EQ(kDcxCodec.Read(back, file, ReadOptions{}), ImageError::None);
    EXPECT_EQ(test::PixelsOf(back.Image), test::PixelsOf(h.Image));
}

using test::MalformedCase;
using test::RejectedFile;

INSTANTIATE_TEST_SUITE_P(
    Dcx, RejectedFile,
    testing::ValuesIn(test::ForCodec(
        kDcxCodec,
        std::vector<MalformedCase>{
            MalformedCase{"Empty", {}},
            MalformedCase{"WrongMagic", Bytes().u32le(12345).u32le(8).u8(10).v},
            MalformedCase{"NoPages", Bytes().u32le(987654321).u32le(0).v},
            MalformedCase{"TableCutShort", Bytes().u32le(987654321).u16le(8).v},
            MalformedCase{"OffsetPastEnd", Bytes().u32le(987654321).u32le(0xfffffff0).v},
            MalformedCase{"OffsetIntoHeader", Bytes().u32le(987654321).u32le(2).u32le(0).v},
            MalformedCase{"PageIsNotPcx",
                          Bytes().u32le(987654321).u32le(12).u32le(0).fill(200, 0).v}})),
    test::CaseName<MalformedCase>);

}  // namespace
}  // namespace gw
