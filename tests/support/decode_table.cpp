#include "support/decode_table.h"

namespace gw::test {
namespace {

TEST_P(ReferenceDecode, MatchesReferencePixels) {
    const FormatCodec& codec = *GetParam().codec;
    const DecodeCase& c = GetParam().c;
    ImageHolder h;
    ASSERT_EQ(codec.Read(h, c.file, ReadOptions{}), ImageError::None);
    EXPECT_TRUE(codec.Probe(c.file));
    EXPECT_EQ(h.Image.Width(), c.width);
    EXPECT_EQ(h.Image.Height(), c.height);
    EXPECT_EQ(h.Image.Format(), c.format);
    EXPECT_EQ(PixelsOf(h.Image), c.pixels);
    EXPECT_EQ(h.Image.Alpha(), c.alpha);
    EXPECT_EQ(h.Params.ChannelCount, c.channels);
    EXPECT_EQ(h.Params.BitsPerChannel, c.bits);
    EXPECT_EQ(h.Params.ImageWidth, c.width);
    EXPECT_EQ(h.Params.ImageHeight, c.height);
    if (c.compressed) {
        EXPECT_EQ(h.Params.TGA_Compressed, *c.compressed);
    }
}

TEST_P(DamagedFile, FailsOrStopsCleanly) {
    ExpectMalformedHandled(*GetParam().codec, GetParam().c);
}

TEST_P(RejectedFile, FailsCleanly) {
    const FormatCodec& codec = *GetParam().codec;
    ImageHolder h;
    EXPECT_NE(codec.Read(h, GetParam().c.file, ReadOptions{}), ImageError::None);
    EXPECT_FALSE(codec.Probe(GetParam().c.file));
}

}  // namespace
}  // namespace gw::test
