#include "support/hostile_files.h"

#include "imagefile/formats/codec.h"
#ifdef GW_HAVE_OPENJPEG
#include "imagefile/formats/jp2.h"
#endif
#include "imagefile/raster.h"
#include "support/metafile_builder.h"
#include "support/pebuilder.h"
#include "support/picture_bytes.h"
#include "support/png_builder.h"

namespace gw::test {
namespace {

using ByteVector = std::vector<std::uint8_t>;
using pefix::BuildGroupDirectory;
using pefix::IconImage;

void Le16(ByteVector& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Le32(ByteVector& b, std::uint32_t v) {
    Le16(b, v & 0xffff);
    Le16(b, v >> 16);
}
void Be16(ByteVector& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
void Be32(ByteVector& b, std::uint32_t v) {
    Be16(b, v >> 16);
    Be16(b, v & 0xffff);
}
void PatchBe16(ByteVector& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}
void PatchBe32(ByteVector& b, std::size_t at, std::uint32_t v) {
    PatchBe16(b, at, v >> 16);
    PatchBe16(b, at + 2, v & 0xffff);
}

// The image in a format, or nothing when the writer fails.
ByteVector Encoded(const FormatCodec& codec, RasterImage image) {
    ImageHolder holder;
    holder.Image = std::move(image);
    ByteVector out;
    if (codec.Write(holder, out) != ImageError::None) out.clear();
    return out;
}

// An icon whose only bitmap header claims 8192 × 8192 at 32 bits with no rows behind it.
ByteVector IconClaimingHugeBitmap() {
    ByteVector b;
    Le16(b, 0), Le16(b, 1), Le16(b, 1);
    b.insert(b.end(), {0, 0, 0, 0});
    Le16(b, 1), Le16(b, 32), Le32(b, 40), Le32(b, 22);
    Le32(b, 40), Le32(b, 8192), Le32(b, 16384), Le16(b, 1), Le16(b, 32);
    b.resize(b.size() + 24, 0);
    return b;
}

// A 253-byte run-length bitmap declaring 2554 × 18803 (48 Mpixels).
ByteVector BmpRle8Huge() {
    ByteVector b{'B', 'M'};
    Le32(b, 253), Le32(b, 0), Le32(b, 14 + 40 + 8);
    Le32(b, 40), Le32(b, 2554), Le32(b, 18803), Le16(b, 1), Le16(b, 8), Le32(b, 1);
    Le32(b, 0), Le32(b, 0), Le32(b, 0), Le32(b, 2), Le32(b, 0);
    Le32(b, 0x000000), Le32(b, 0xffffff);
    while (b.size() < 251) b.insert(b.end(), {0xff, 0x01});
    b.insert(b.end(), {0x00, 0x01});
    return b;
}

// Targa run-length data: 65535 × 2048 at 24 bits, about 3.6 KB of 128-pixel runs.
ByteVector TgaRleHuge() {
    ByteVector b{0, 0, 10, 0, 0, 0, 0, 0};
    Le16(b, 0), Le16(b, 0), Le16(b, 65535), Le16(b, 2048);
    b.push_back(24), b.push_back(0x20);
    while (b.size() < 3600) b.insert(b.end(), {0xff, 0x10, 0x20, 0x30});
    return b;
}

// PCX run-length data: 65534 × 2048 at 8 bits.
ByteVector PcxRleHuge() {
    ByteVector b{10, 5, 1, 8};
    Le16(b, 0), Le16(b, 0), Le16(b, 65533), Le16(b, 2047), Le16(b, 72), Le16(b, 72);
    b.resize(65, 0);
    b.push_back(1);
    Le16(b, 65534);
    b.resize(128, 0);
    while (b.size() < 3000) b.insert(b.end(), {0xff, 0x07});
    return b;
}

// Photoshop PackBits data: 30000 × 1800 grey, a row-count table and nothing else.
ByteVector PsdRleHuge() {
    ByteVector b{'8', 'B', 'P', 'S'};
    Be16(b, 1);
    b.resize(b.size() + 6, 0);
    Be16(b, 1), Be32(b, 1800), Be32(b, 30000), Be16(b, 8), Be16(b, 1);
    Be32(b, 0), Be32(b, 0), Be32(b, 0);
    Be16(b, 1);
    for (int i = 0; i < 1800; ++i) Be16(b, 0);
    return b;
}

// A one-pixel GIF on a logical screen of 65535 × 2048.
ByteVector GifScreenHuge() {
    ByteVector b = Encoded(kGifCodec, RgbImage(1, 1, {Rgb{9, 9, 9}}));
    b[6] = 0xff, b[7] = 0xff, b[8] = 0x00, b[9] = 0x08;
    return b;
}

// A baseline JPEG whose frame header says 65500 × 2048.
ByteVector JpegHuge() {
    ByteVector b = Encoded(kJpegCodec, Gradient(16, 16));
    for (std::size_t i = 2; i + 9 < b.size(); ++i)
        if (b[i] == 0xff && b[i + 1] == 0xc0) {
            PatchBe16(b, i + 5, 2048);
            PatchBe16(b, i + 7, 65500);
            break;
        }
    return b;
}

// A PNG with alpha whose header says 11585 × 11585, and a few bytes of compressed data.
ByteVector PngHuge() {
    ByteVector ihdr;
    Be32(ihdr, 11585), Be32(ihdr, 11585);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    ByteVector b{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    for (const ByteVector& chunk :
         {PngChunkBytes("IHDR", ihdr), PngChunkBytes("IDAT", ByteVector(64, 0x55)),
          PngChunkBytes("IEND", {})})
        b.insert(b.end(), chunk.begin(), chunk.end());
    return b;
}

#ifdef GW_HAVE_OPENJPEG
// A JPEG 2000 code stream whose size marker says 8192 × 8192 in one tile.
ByteVector J2kHuge() {
    ByteVector b = Encoded(kJ2kCodec, Gradient(16, 16));
    for (std::size_t i = 2; i + 24 < b.size(); ++i)
        if (b[i] == 0xff && b[i + 1] == 0x51) {
            PatchBe32(b, i + 6, 8192), PatchBe32(b, i + 10, 8192);
            PatchBe32(b, i + 14, 0), PatchBe32(b, i + 18, 0);
            PatchBe32(b, i + 22, 8192), PatchBe32(b, i + 26, 8192);
            break;
        }
    return b;
}
#endif

// 4096 ellipses over the whole picture: the work budget stops drawing, not the file's end.
ByteVector WmfManyEllipses() {
    WmfBuilder w;
    w.SetMapMode(8).SetWindowExt(4000, 4000).SetViewportExt(4000, 4000);
    w.Brush(0, Rgb{200, 10, 10}).Select(0);
    for (int i = 0; i < 4096; ++i) w.Ellipse(-i, -i, 4000 + i, 4000 + i);
    return w.BuildPlaceable(0, 0, 4000, 4000, 96);
}

}  // namespace

std::vector<HostileFile> HostileFiles() {
    return {
        {"IcoBitmapHeaderClaims8192Squared", IconClaimingHugeBitmap(), ImageError::Truncated},
        {"BmpRle8Of253BytesClaims48Mpixels", BmpRle8Huge(), ImageError::Damaged},
        {"TargaRunsClaim65535x2048", TgaRleHuge(), ImageError::Damaged},
        {"PcxRunsClaim65534x2048", PcxRleHuge(), ImageError::Damaged},
        {"PsdPackBitsClaims30000x1800", PsdRleHuge(), ImageError::Damaged},
        {"GifScreenOf65535x2048", GifScreenHuge(), ImageError::Damaged},
        {"JpegFrameOf65500x2048", JpegHuge(), ImageError::Damaged},
        {"PngWithAlphaOf11585Squared", PngHuge(), ImageError::Damaged},
#ifdef GW_HAVE_OPENJPEG
        {"J2kSizeOf8192Squared", J2kHuge(), ImageError::Damaged},
#endif
        {"WmfOf4096Ellipses", WmfManyEllipses(), ImageError::None},
    };
}

std::vector<std::uint8_t> LibraryOfOneDamagedPng() {
    // A whole picture of zeros compresses to about 4 KB; the cut end makes it fail only after
    // every row has been inflated.
    IconImage png;
    png.Width = png.Height = 1024;
    png.Bytes = BuildPng(1024, 1024, 8, 6, ByteVector(std::size_t{1024} * 1024 * 4, 0));
    png.Bytes.resize(png.Bytes.size() - 20);
    pefix::ResourceBuilder b;
    const std::vector<std::uint16_t> ids = b.AddIcons({png});
    for (std::uint32_t group = 1; group <= 281; ++group)
        b.Add(14, group, BuildGroupDirectory({png}, ids));
    return b.BuildPe();
}

}  // namespace gw::test
