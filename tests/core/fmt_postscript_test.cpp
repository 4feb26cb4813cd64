#include "imagefile/formats/postscript.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "imagefile/formats/registry.h"
#include "support/picture_fixtures.h"

namespace gw {
namespace {

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "gw_ps_" + std::to_string(::getpid()) + "_" + name;
}

std::string Text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

ImageHolder Picture(int dpi, bool alpha) {
    ImageHolder holder;
    holder.Image = test::GradientImage(24, 16);
    if (alpha) test::AddAlphaPattern(holder.Image);
    holder.Params.HorizontalDpi = holder.Params.VerticalDpi = dpi;
    return holder;
}

// The picture laid on white, as a page shows it.
RasterImage OnWhite(const RasterImage& image) {
    RasterImage out;
    out.Allocate(image.Width(), image.Height(), PixelFormat::ie24RGB);
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb c = image.PixelRgb(x, y);
            const int a = image.HasAlpha() ? image.AlphaRow(y)[x] : 255;
            auto mix = [a](int v) {
                return static_cast<std::uint8_t>((v * a + 255 * (255 - a) + 127) / 255);
            };
            std::uint8_t* p = out.Row(y) + 3 * x;
            p[0] = mix(c.b), p[1] = mix(c.g), p[2] = mix(c.r);
        }
    return out;
}

TEST(PageWriters, OnePageOfThePictureSizeAtItsResolution) {
    struct Case {
        PageDocument kind;
        int dpi;
        const char* expected;  // in the document's text
    } cases[] = {
        {PageDocument::PostScript, 72, "%%BoundingBox: 0 0 24 16"},
        {PageDocument::PostScript, 144, "%%BoundingBox: 0 0 12 8"},
        {PageDocument::Pdf, 72, "/MediaBox [ 0 0 24 16 ]"},
        {PageDocument::Pdf, 144, "/MediaBox [ 0 0 12 8 ]"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out;
        ASSERT_EQ(WritePicturePage(Picture(c.dpi, false), c.kind, out), ImageError::None);
        const std::string text = Text(out);
        if (c.kind == PageDocument::PostScript) {
            EXPECT_EQ(text.rfind("%!PS-Adobe-3.0 EPSF-3.0", 0), 0u);
            EXPECT_NE(text.find("%%LanguageLevel: 2"), std::string::npos);
            EXPECT_NE(text.find("%%Pages: 1"), std::string::npos);
        } else {
            EXPECT_EQ(text.rfind("%PDF-", 0), 0u);
            EXPECT_NE(text.find("/Count 1"), std::string::npos);
        }
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.expected;
    }
}

TEST(PageWriters, EmptyPictureIsNotWritten) {
    ImageHolder empty;
    std::vector<std::uint8_t> out;
    EXPECT_EQ(WritePicturePage(empty, PageDocument::Pdf, out), ImageError::CannotEncode);
    EXPECT_EQ(WritePicturePage(empty, PageDocument::PostScript, out), ImageError::CannotEncode);
    EXPECT_TRUE(out.empty());
}

TEST(PageWriters, RowsWriteAndStayUnreadable) {
    for (const char* ext : {".ps", ".eps", ".pdf"}) {
        const std::string path = TempPath(std::string("row") + ext);
        std::remove(path.c_str());
        ImageHolder holder = Picture(96, false);
        ASSERT_TRUE(SaveImageFile(holder, path).ok()) << ext;
        EXPECT_FALSE(IsKnownImageFile(path)) << ext;
        EXPECT_EQ(LoadImageFile(holder, path).Code, ImageError::NoReader) << ext;
        std::remove(path.c_str());
    }
    // Vectorial objects and layers: known names, but no codec reads them.
    for (const char* ext : {".iev", ".lyr", ".all"}) {
        const std::string path = TempPath(std::string("objects") + ext);
        EXPECT_TRUE(IsKnownImageFile(path)) << ext;
        ImageHolder holder = Picture(96, false);
        EXPECT_EQ(LoadImageFile(holder, path).Code, ImageError::NoReader) << ext;
        EXPECT_EQ(holder.Image.Width(), 24) << ext;
    }
}

// Ghostscript renders the page back at the picture's resolution: the same pixels, within
// 8 levels (PostScript lays transparency on white; PDF keeps it as a soft mask).
TEST(PageWriters, GhostscriptRendersThePictureBack) {
    if (std::system("gs --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no Ghostscript";
    struct Case {
        const char* ext;
        int dpi;
        bool alpha;
    } cases[] = {{".eps", 72, false}, {".ps", 96, true}, {".pdf", 72, false}, {".pdf", 150, true}};
    for (const Case& c : cases) {
        const std::string doc = TempPath(std::string("gs") + c.ext);
        const std::string png = doc + ".png";
        std::remove(doc.c_str());
        ImageHolder holder = Picture(c.dpi, c.alpha);
        const RasterImage want = OnWhite(holder.Image);
        ASSERT_TRUE(SaveImageFile(holder, doc).ok()) << c.ext;
        const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=png16m -r" +
                                    std::to_string(c.dpi) + " -sOutputFile=" + png + " " + doc;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ImageHolder back;
        ASSERT_TRUE(LoadImageFile(back, png).ok()) << c.ext;
        ASSERT_EQ(back.Image.Width(), want.Width()) << c.ext << " " << c.dpi;
        ASSERT_EQ(back.Image.Height(), want.Height()) << c.ext << " " << c.dpi;
        EXPECT_LE(test::MaxChannelDifference(back.Image, want), 8)
            << c.ext << " " << c.dpi << " " << test::FirstColourDifference(back.Image, want);
        std::remove(doc.c_str());
        std::remove(png.c_str());
    }
}

}  // namespace
}  // namespace gw
