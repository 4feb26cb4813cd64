// Reads every file of tests/data/read and compares it with the PNG another program's decoder
// made of it (MANIFEST.tsv lists the files, their tolerance and where they came from).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imagefile/formats/registry.h"

namespace gw {
namespace {

struct Pair {
    std::string file;
    int tolerance = 0;  // largest difference of a channel
    double spread = 0;  // share of pixels allowed beyond it (edges of drawn shapes)
};

std::string DataDir() {
    return GW_TEST_DATA_DIR "/read/";
}

std::vector<Pair> ReadManifest() {
    std::vector<Pair> pairs;
    std::ifstream in(DataDir() + "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Pair p;
        std::string tolerance, spread;
        if (std::getline(fields, p.file, '\t') && std::getline(fields, tolerance, '\t') &&
            std::getline(fields, spread, '\t')) {
            p.tolerance = std::atoi(tolerance.c_str());
            p.spread = std::atof(spread.c_str());
            pairs.push_back(p);
        }
    }
    return pairs;
}

class ReadPairs : public ::testing::TestWithParam<Pair> {};

TEST_P(ReadPairs, ReadsAsTheReferenceDecoderDoes) {
    const Pair& pair = GetParam();
    ImageHolder got, want;
    ASSERT_EQ(LoadImageFile(got, DataDir() + pair.file).Code, ImageError::None);
    ASSERT_EQ(LoadImageFile(want, DataDir() + pair.file + ".png").Code, ImageError::None);
    const RasterImage& a = got.Image;
    const RasterImage& b = want.Image;
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    int worst = 0, beyond = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const int alphaA = a.HasAlpha() ? a.AlphaRow(y)[x] : 255;
            const int alphaB = b.HasAlpha() ? b.AlphaRow(y)[x] : 255;
            int diff = std::abs(alphaA - alphaB);
            if (alphaA > 0 || alphaB > 0) {  // the colour of a clear pixel does not matter
                const Rgb ca = a.PixelRgb(x, y), cb = b.PixelRgb(x, y);
                diff = std::max(
                    {diff, std::abs(ca.r - cb.r), std::abs(ca.g - cb.g), std::abs(ca.b - cb.b)});
            }
            worst = std::max(worst, diff);
            if (diff > pair.tolerance && beyond++ == 0) firstX = x, firstY = y;
        }
    const int allowed = static_cast<int>(pair.spread * b.Width() * b.Height());
    EXPECT_LE(beyond, allowed) << "largest difference " << worst << ", first at (" << firstX << ", "
                               << firstY << ")";
}

std::string PairName(const ::testing::TestParamInfo<Pair>& info) {
    std::string name = info.param.file;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, ReadPairs, ::testing::ValuesIn(ReadManifest()), PairName);

}  // namespace
}  // namespace gw
