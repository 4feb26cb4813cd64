// The exact bytes every export writes, pinned by checksums recorded from the engine as it was
// before its speed-ups: changes to how the engine gets there must not change a single byte.
// Writer settings carry over from entry to entry, so the entries' order is part of the case:
// the photo's Targa follows an icon with alpha, whose write leaves Targa compression off.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "export/engine.h"
#include "imagefile/formats/registry.h"
#include "support/pebuilder.h"

namespace gw {
namespace {

namespace fs = std::filesystem;
using pefix::IconImage;
using pefix::MakeDibIcon;
using pefix::MakePngIcon;
using pefix::Rgba;

class SilentProgress : public ExportProgress {
  public:
    void Begin(int) override {}
    void Step() override {}
    void Pump() override {}
    void Wait(int) override {}
    void End() override {}
};

// FNV-1a, 64 bits.
std::uint64_t Fnv1a(const std::vector<unsigned char>& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

// A round, soft-edged icon picture with bands of colour, as icons tend to be.
pefix::PixelFn IconPixels(int size, int seed) {
    return [size, seed](int x, int y) {
        const int u = x * 256 / size, v = y * 256 / size;
        const int d2 = (u - 128) * (u - 128) + (v - 128) * (v - 128);
        const int a = d2 < 100 * 100 ? 255 : d2 < 124 * 124 ? (124 * 124 - d2) * 255 / 5776 : 0;
        return Rgba{static_cast<std::uint8_t>(seed * 40 + u / 2),
                    static_cast<std::uint8_t>(v / 16 * 16),
                    static_cast<std::uint8_t>((u ^ v) & 0xFF), static_cast<std::uint8_t>(a)};
    };
}

// Sources of every kind the engine reads, made once for all cases.
class Sources {
  public:
    Sources() {
        std::string pattern = fs::temp_directory_path() / "gw-exportbytes-XXXXXX";
        root_ = mkdtemp(pattern.data());
        fs::create_directories(root_ + "/src");

        // Group 1: bitmaps at 16, 32 and 48 and a 256 PNG, so sizes both come as they are and
        // are scaled from larger and smaller images. Group 2: a 24-bit 32 and an 8-bit 16
        // image with masks, enlarged for every larger size. Group 3: only a 256 PNG.
        pefix::ResourceBuilder b;
        b.AddIconGroup(1, {MakeDibIcon(16, 16, 32, IconPixels(16, 1)),
                           MakeDibIcon(32, 32, 32, IconPixels(32, 1)),
                           MakeDibIcon(48, 48, 32, IconPixels(48, 1)),
                           MakePngIcon(256, 256, IconPixels(256, 1))});
        b.AddIconGroup(2, {MakeDibIcon(32, 32, 24, IconPixels(32, 2)),
                           MakeDibIcon(16, 16, 8, IconPixels(16, 2))});
        b.AddIconGroup(3, {MakePngIcon(256, 256, IconPixels(256, 3))});
        const std::string dll = root_ + "/src/library.dll";
        pefix::WriteBytes(dll, b.BuildPe());

        const std::string ico = root_ + "/src/single.ico";
        pefix::WriteBytes(ico, pefix::BuildIcoFile({MakeDibIcon(48, 48, 32, IconPixels(48, 4)),
                                                    MakePngIcon(256, 256, IconPixels(256, 4))}));

        // A photo on a plain white background (the transparency sequence takes the
        // bottom-left colour).
        ImageHolder photo;
        photo.Image.Allocate(640, 480, PixelFormat::ie24RGB);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const bool shape = (x - 320) * (x - 320) + (y - 240) * (y - 240) < 200 * 200;
                const auto n = static_cast<std::uint8_t>((x * 131 + y * 71 + x * y) % 37);
                photo.Image.SetPixelRgb(x, y,
                                        shape ? Rgb{static_cast<std::uint8_t>(x / 3 + n),
                                                    static_cast<std::uint8_t>(y / 2),
                                                    static_cast<std::uint8_t>(200 - n)}
                                              : Rgb{255, 255, 255});
            }
        const std::string jpg = root_ + "/src/photo.jpg";
        if (!SaveImageFile(photo, jpg).ok()) ADD_FAILURE() << jpg;

        // A picture with graded alpha and an odd size.
        ImageHolder alpha;
        alpha.Image.Allocate(301, 197, PixelFormat::ie24RGB);
        alpha.Image.AddAlpha();
        for (int y = 0; y < 197; ++y)
            for (int x = 0; x < 301; ++x) {
                alpha.Image.SetPixelRgb(
                    x, y, Rgb{static_cast<std::uint8_t>(x), 90, static_cast<std::uint8_t>(y + 40)});
                alpha.Image.AlphaRow(y)[x] = static_cast<std::uint8_t>((x + 2 * y) % 256);
            }
        alpha.Params.BitsPerChannel = 8;
        alpha.Params.ChannelCount = 4;
        const std::string png = root_ + "/src/alpha.png";
        if (!SaveImageFile(alpha, png).ok()) ADD_FAILURE() << png;

        request_.Files = {dll, dll, dll, ico, jpg, png};
        request_.Indexes = {"0", "1", "2", "0", "0", "0"};
    }
    ~Sources() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    const ExportRequest& Request() const { return request_; }
    std::string Fresh(const std::string& name) const {
        const std::string out = root_ + "/out-" + name;
        fs::remove_all(out);
        fs::create_directories(out);
        return out;
    }

  private:
    std::string root_;
    ExportRequest request_;
};

const Sources& Fixture() {
    static const Sources sources;
    return sources;
}

struct BytesCase {
    const char* Name;
    int Format;
    bool Transparent;
    int Width, Height;
    // Output file name → checksum, in name order.
    std::map<std::string, std::uint64_t> Expected;
};

void PrintTo(const BytesCase& c, std::ostream* os) {
    *os << c.Name;
}

class ExportBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(ExportBytes, EveryFileKeepsItsRecordedChecksum) {
    const BytesCase& c = GetParam();
    ExportOptions options;
    options.Format = c.Format;
    options.Size = "111111111";
    options.Transparent = c.Transparent;
    options.GradualColor = 0x3C7A10;
    options.Width = c.Width;
    options.Height = c.Height;
    options.SavePath = Fixture().Fresh(c.Name);
    SilentProgress progress;
    ExportEntries(Fixture().Request(), options, progress);

    std::map<std::string, std::uint64_t> actual;
    for (const auto& item : fs::directory_iterator(options.SavePath))
        actual[item.path().filename().string()] = Fnv1a(ReadWholeFile(item.path().string()));
    std::ostringstream table;
    for (const auto& [name, hash] : actual) {
        char text[40];
        std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(hash));
        table << "{\"" << name << "\", " << text << "ull},\n";
    }
    EXPECT_EQ(actual, c.Expected) << "written:\n" << table.str();
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, ExportBytes,
    ::testing::Values(BytesCase{"IcoAllSizes",
                                kExportIco,
                                false,
                                0,
                                0,
                                {{"alpha_00001.ico", 0x18f7ce4623975ef7ull},
                                 {"library_00001.ico", 0x526acc82f937fcddull},
                                 {"library_00002.ico", 0x6d1b1c5cc2547237ull},
                                 {"library_00003.ico", 0xd2b545ccb0c86cfaull},
                                 {"photo_00001.ico", 0x3039dd674e1733a2ull},
                                 {"single_00001.ico", 0xcbed20d3e450812dull}}},
                      BytesCase{"IcoTransparent",
                                kExportIco,
                                true,
                                0,
                                0,
                                {{"alpha_00001.ico", 0xed9a114c619e624eull},
                                 {"library_00001.ico", 0x526acc82f937fcddull},
                                 {"library_00002.ico", 0x6d1b1c5cc2547237ull},
                                 {"library_00003.ico", 0xd2b545ccb0c86cfaull},
                                 {"photo_00001.ico", 0xe575c53e25c9af6dull},
                                 {"single_00001.ico", 0xcbed20d3e450812dull}}},
                      BytesCase{"Bmp",
                                kExportBmp,
                                false,
                                100,
                                60,
                                {{"alpha_00001.bmp", 0xb76f5333080904f5ull},
                                 {"library_00001.bmp", 0xc04bf47211680deeull},
                                 {"library_00002.bmp", 0x5f257bc8b2be7414ull},
                                 {"library_00003.bmp", 0x934f9c94d8043de7ull},
                                 {"photo_00001.bmp", 0x0351872a94b87fabull},
                                 {"single_00001.bmp", 0x8398c6d8b273aa9aull}}},
                      BytesCase{"Png",
                                kExportPng,
                                false,
                                100,
                                60,
                                {{"alpha_00001.png", 0x2874fb49011b9c3dull},
                                 {"library_00001.png", 0xfdbd82ce27582b88ull},
                                 {"library_00002.png", 0x3995f56045e6466dull},
                                 {"library_00003.png", 0x625a6878062364c1ull},
                                 {"photo_00001.png", 0x9ba75f7826749934ull},
                                 {"single_00001.png", 0xeb10622565ec79e5ull}}},
                      BytesCase{"Gif",
                                kExportGif,
                                false,
                                100,
                                60,
                                {{"alpha_00001.gif", 0x1f02381dc2a0e481ull},
                                 {"library_00001.gif", 0x9b43e8296a94aa9eull},
                                 {"library_00002.gif", 0xd2ab5e84d7f7cb5bull},
                                 {"library_00003.gif", 0xd40050cb3e8b6412ull},
                                 {"photo_00001.gif", 0x225fcf7641146f7dull},
                                 {"single_00001.gif", 0xce55e9dd2b02152bull}}},
                      BytesCase{"Jpeg",
                                kExportJpeg,
                                false,
                                100,
                                60,
                                {{"alpha_00001.jpg", 0x242d1d0c65b734f2ull},
                                 {"library_00001.jpg", 0x5eff36ece86cd724ull},
                                 {"library_00002.jpg", 0x7c26da7acc962fa3ull},
                                 {"library_00003.jpg", 0x96d72e9d6080f4ccull},
                                 {"photo_00001.jpg", 0xfaec5f909a08c4ccull},
                                 {"single_00001.jpg", 0xbdf00b29b208e3f8ull}}},
                      BytesCase{"Tif",
                                kExportTif,
                                false,
                                100,
                                60,
                                {{"alpha_00001.tif", 0x5c865f1ac7f91b89ull},
                                 {"library_00001.tif", 0x5e4ff4ac359a2124ull},
                                 {"library_00002.tif", 0x5196f11e5ee83d3aull},
                                 {"library_00003.tif", 0x079eeee85ecaa2e1ull},
                                 {"photo_00001.tif", 0x633cbd25ff67a3c3ull},
                                 {"single_00001.tif", 0x07b3e39a8ba17ba6ull}}},
                      BytesCase{"Psd",
                                kExportPsd,
                                false,
                                100,
                                60,
                                {{"alpha_00001.psd", 0xec6f434d50ae4e75ull},
                                 {"library_00001.psd", 0xff22ce478e1125ddull},
                                 {"library_00002.psd", 0xba7eeb1c276a47adull},
                                 {"library_00003.psd", 0x907d77e37d3808e1ull},
                                 {"photo_00001.psd", 0x8058d6a3920ce03full},
                                 {"single_00001.psd", 0xea6f29ed5daf7131ull}}},
                      BytesCase{"Tga",
                                kExportTga,
                                false,
                                100,
                                60,
                                {{"alpha_00001.tga", 0x3f242815b9b66df1ull},
                                 {"library_00001.tga", 0x2ad14c0f4c22d046ull},
                                 {"library_00002.tga", 0x317565e4a442f1abull},
                                 {"library_00003.tga", 0xf3471b54994bcea3ull},
                                 {"photo_00001.tga", 0x1936cfa116b7ca6cull},
                                 {"single_00001.tga", 0x7274d1b8743e7dc6ull}}},
                      BytesCase{"Pcx",
                                kExportPcx,
                                false,
                                100,
                                60,
                                {{"alpha_00001.pcx", 0x4cfae5930b2f0945ull},
                                 {"library_00001.pcx", 0x67c445ab730a6aa5ull},
                                 {"library_00002.pcx", 0xe1c628823f106165ull},
                                 {"library_00003.pcx", 0xc519fa427af1250cull},
                                 {"photo_00001.pcx", 0x5b38db5582166ec6ull},
                                 {"single_00001.pcx", 0xdf456864ffdb431aull}}},
                      BytesCase{"PngLarger",
                                kExportPng,
                                false,
                                700,
                                300,
                                {{"alpha_00001.png", 0x058a30014d5deaa2ull},
                                 {"library_00001.png", 0x86251c42c104ea51ull},
                                 {"library_00002.png", 0xcd1e85d40b38f9e2ull},
                                 {"library_00003.png", 0x7d2930579feed044ull},
                                 {"photo_00001.png", 0x574b2fae2ed212bfull},
                                 {"single_00001.png", 0x9af741e8d6ecf0eaull}}}),
    [](const ::testing::TestParamInfo<BytesCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace gw
