#pragma once
// The tables every hand-written decoder's tests share: reference files with the exact picture
// they decode to, and damaged files that must fail or stop cleanly. Each format's test file
// instantiates them for its codec: INSTANTIATE_TEST_SUITE_P(Bmp, ReferenceDecode,
// testing::ValuesIn(test::ForCodec(kBmpCodec, Cases())), test::CaseName).

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "support/picture_bytes.h"

namespace gw::test {

// A file and the picture its decoder must deliver.
struct DecodeCase {
    std::string name;
    std::vector<std::uint8_t> file;
    int width, height;
    PixelFormat format;
    std::vector<Rgb> pixels;              // rows from the top
    std::vector<std::uint8_t> alpha;      // empty: opaque, no alpha plane
    int channels, bits;                   // the declared depth recorded
    std::optional<bool> compressed = {};  // Targa: the compression setting recorded
};

// One case of a table together with the codec it is run through.
template <typename Case>
struct CodecCase {
    const FormatCodec* codec;
    Case c;
};

template <typename Case>
std::vector<CodecCase<Case>> ForCodec(const FormatCodec& codec, const std::vector<Case>& cases) {
    std::vector<CodecCase<Case>> out;
    for (const Case& c : cases) out.push_back({&codec, c});
    return out;
}

template <typename Case>
std::string CaseName(const testing::TestParamInfo<CodecCase<Case>>& info) {
    return info.param.c.name;
}

class ReferenceDecode : public testing::TestWithParam<CodecCase<DecodeCase>> {};
// Damaged files a decoder must reject or read only as far as they go (MalformedCase::readable).
class DamagedFile : public testing::TestWithParam<CodecCase<MalformedCase>> {};
// Damaged files a decoder must reject, and its probe must not claim.
class RejectedFile : public testing::TestWithParam<CodecCase<MalformedCase>> {};

}  // namespace gw::test
