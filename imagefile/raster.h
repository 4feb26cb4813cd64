#pragma once
// The raster image, its file parameters and the image holder every reader, writer and
// image operation works on.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace gw {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class PixelFormat {
    ie1g,    // 1 bit per pixel, first pixel in the most significant bit, 1 = white
    ie8p,    // one palette index per pixel
    ie24RGB  // blue, green, red
};

// Width × height pixels, rows numbered from the top, every row padded to 4 bytes.
// The alpha plane, when present, is one byte per pixel (0 transparent, 255 opaque), unpadded.
class RasterImage {
  public:
    RasterImage() = default;

    // Bytes of one padded row for a format and width.
    static std::size_t StrideFor(PixelFormat format, int width);

    // Replaces the image by a zeroed one; false (and an empty image) when the size is not
    // allowed by Limits. Drops the alpha plane and the palette.
    bool Allocate(int width, int height, PixelFormat format);
    void Clear();

    int Width() const { return width_; }
    int Height() const { return height_; }
    PixelFormat Format() const { return format_; }
    std::size_t Stride() const { return stride_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    std::uint8_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* Row(int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * stride_;
    }
    std::vector<std::uint8_t>& Pixels() { return pixels_; }
    const std::vector<std::uint8_t>& Pixels() const { return pixels_; }

    // Palette of an ie8p image.
    std::vector<Rgb>& Palette() { return palette_; }
    const std::vector<Rgb>& Palette() const { return palette_; }

    bool HasAlpha() const { return !alpha_.empty(); }
    // Adds an alpha plane filled with the value (keeps an existing one).
    void AddAlpha(std::uint8_t fill = 255);
    void RemoveAlpha() {
        alpha_.clear();
        alpha_.shrink_to_fit();
    }
    std::uint8_t* AlphaRow(int y) {
        return alpha_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    }
    const std::uint8_t* AlphaRow(int y) const {
        return alpha_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    }
    std::vector<std::uint8_t>& Alpha() { return alpha_; }
    const std::vector<std::uint8_t>& Alpha() const { return alpha_; }
    // True when every alpha value is 255 (or there is no plane).
    bool AlphaAllOpaque() const;

    // Colour of one pixel in any format.
    Rgb PixelRgb(int x, int y) const;
    // Writes one ie24RGB pixel.
    void SetPixelRgb(int x, int y, Rgb c) {
        std::uint8_t* p = Row(y) + 3 * static_cast<std::size_t>(x);
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }
    // A copy in ie24RGB (palette and bits expanded), alpha plane kept.
    RasterImage ToRgb24() const;

  private:
    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::ie24RGB;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> pixels_;
    std::vector<Rgb> palette_;
    std::vector<std::uint8_t> alpha_;
};

// What a file said about the image read from it, and the settings writers use.
// Readers overwrite the fields describing what they read; the rest stay for later writes.
struct FileParams {
    // Declared depth: (1,1) 1 bit, (1,4) 16 colours, (1,8) 256 colours, (3,8) 24 bits,
    // (4,8) 32 bits with alpha.
    int BitsPerChannel = 8;
    int ChannelCount = 3;
    int ImageWidth = 0;
    int ImageHeight = 0;
    int HorizontalDpi = 300;
    int VerticalDpi = 300;
    std::vector<Rgb> Palette;
    int PaletteCount = 0;

    // One image index per multi-image format; SelectImageIndex sets them all.
    int ICO_ImageIndex = 0;
    int CUR_ImageIndex = 0;
    int TIFF_ImageIndex = 0;
    int GIF_ImageIndex = 0;
    int DCX_ImageIndex = 0;
    int PSD_ImageIndex = 0;
    int RAW_ImageIndex = 0;
    int Generic_ImageIndex = 0;  // formats added later

    // Icon and cursor containers.
    std::array<std::pair<int, int>, 16> IconSizeList{};
    std::array<int, 16> IconDepthList{};
    Rgb IconBackground{255, 255, 255};
    Rgb CursorBackground{255, 255, 255};
    int CursorHotSpotX = 0;
    int CursorHotSpotY = 0;

    // JPEG.
    int JPEG_Quality = 80;
    enum class JpegColorSpace {
        YCbCr,
        Gray,
        RGB,
        CMYK,
        YCbCrK
    } JPEG_ColorSpace = JpegColorSpace::YCbCr;
    int JPEG_ChromaH = 2;  // sampling of the first component; the others are 1 × 1
    int JPEG_ChromaV = 2;
    enum class JpegDct { Integer, FastInteger, Float } JPEG_DCTMethod = JpegDct::Integer;
    bool JPEG_OptimalHuffman = false;
    int JPEG_Smooth = 0;
    bool JPEG_Progressive = false;

    // PNG.
    bool PNG_Interlaced = false;
    int PNG_Filter = 0;  // 0 = none
    int PNG_Compression = 5;
    Rgb PNG_Background{0, 0, 0};

    // TIFF.
    enum class TiffCompression {
        None,
        LZW,
        PackBits,
        Deflate,
        JPEG,
        CCITT3,
        CCITT4
    } TIFF_Compression = TiffCompression::None;
    enum class TiffPhotometric {
        WhiteIsZero,
        BlackIsZero,
        RGB,
        Palette,
        CMYK
    } TIFF_Photometric = TiffPhotometric::RGB;

    // BMP.
    int BMP_HeaderSize = 40;
    int BMP_Compression = 0;  // 0 = none
    bool BMP_StoreAlpha = false;

    // GIF.
    std::string GIF_Version = "GIF89a";
    bool GIF_Interlaced = false;
    int GIF_Disposal = 2;
    int GIF_Delay = 0;

    // Targa.
    bool TGA_Compressed = true;

    // PCX.
    int PCX_Version = 5;
    bool PCX_RLE = true;

    // Descriptive metadata a reader may carry (comments and the like).
    std::vector<std::string> Comments;

    // Registry type of the format last read (0 = none yet) and the file it came from (empty
    // when it was read from a stream).
    int FileType = 0;
    std::string FileName;
};

// Resolution conversions: dpi = round(ppm × 2.54 / 100), ppm = round(dpi / 2.54 × 100);
// 300 dpi is 11811 pixels per metre. A file without resolution (ppm below 1) gives 300 dpi;
// a resolution of 0 dpi or less is written as 0. Results are clamped to their field ranges.
int DpiFromPixelsPerMetre(std::int64_t pixelsPerMetre);
std::uint32_t PixelsPerMetreFromDpi(int dpi);

// Bits needed to number n colours, ⌈log2 n⌉: 2 → 1, 16 → 4, 32 → 5, 255 → 8, 256 → 8; 0 for n ≤ 1.
int BitsForColorCount(std::uint64_t n);

// An off-screen image holder: one image, its file parameters, the selection mask used by the
// transparency sequence, and the display background colour.
struct ImageHolder {
    RasterImage Image;
    FileParams Params;
    std::vector<std::uint8_t> Selection;  // Width × Height, 0 = not selected; empty = none
    Rgb Background{255, 255, 255};
};

}  // namespace gw
