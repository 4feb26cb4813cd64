#pragma once
// Byte-by-byte builders and image helpers for the picture codec tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "imagefile/formats/codec.h"
#include "imagefile/raster.h"

namespace gw::test {

// Appends little- and big-endian fields, text and raw bytes to a growing file image.
struct Bytes {
    std::vector<std::uint8_t> v;

    Bytes& u8(unsigned x) {
        v.push_back(static_cast<std::uint8_t>(x));
        return *this;
    }
    Bytes& u8s(std::initializer_list<unsigned> xs) {
        for (unsigned x : xs) u8(x);
        return *this;
    }
    Bytes& u16le(unsigned x) { return u8(x & 0xff).u8((x >> 8) & 0xff); }
    Bytes& u32le(std::uint32_t x) { return u16le(x & 0xffff).u16le(x >> 16); }
    Bytes& u16be(unsigned x) { return u8((x >> 8) & 0xff).u8(x & 0xff); }
    Bytes& u32be(std::uint32_t x) { return u16be(x >> 16).u16be(x & 0xffff); }
    Bytes& str(const std::string& s) {
        v.insert(v.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& fill(std::size_t n, unsigned x) {
        v.insert(v.end(), n, static_cast<std::uint8_t>(x));
        return *this;
    }
    Bytes& raw(const std::vector<std::uint8_t>& b) {
        v.insert(v.end(), b.begin(), b.end());
        return *this;
    }
    std::size_t size() const { return v.size(); }
    // Overwrites a little-endian 32-bit field already written.
    void patch32le(std::size_t at, std::uint32_t x) {
        for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
    }
};

// Every pixel of an image as RGB triples, rows from the top.
inline std::vector<Rgb> PixelsOf(const RasterImage& image) {
    std::vector<Rgb> out;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) out.push_back(image.PixelRgb(x, y));
    return out;
}

// An ie24RGB image whose pixels are given row by row from the top.
inline RasterImage RgbImage(int width, int height, const std::vector<Rgb>& pixels) {
    RasterImage image;
    image.Allocate(width, height, PixelFormat::ie24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixelRgb(x, y, pixels[static_cast<std::size_t>(y) * width + x]);
    return image;
}

// A width × height ie24RGB image of many different colours.
inline RasterImage Gradient(int width, int height) {
    RasterImage image;
    image.Allocate(width, height, PixelFormat::ie24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixelRgb(
                x, y,
                Rgb{static_cast<std::uint8_t>(x * 37 + y), static_cast<std::uint8_t>(y * 53 + 7),
                    static_cast<std::uint8_t>((x ^ y) * 29)});
    return image;
}

// An ie1g image from rows of '#' (black) and '.' (white).
inline RasterImage BlackWhite(const std::vector<std::string>& rows) {
    RasterImage image;
    image.Allocate(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()),
                   PixelFormat::ie1g);
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            if (rows[y][x] == '.')
                image.Row(y)[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    return image;
}

// A w × h picture of n (at most 12) distinct colours spread over the pixels, for the palette
// cases of the writers.
inline RasterImage FewColours(int w, int h, int n) {
    const Rgb colours[] = {{255, 0, 0}, {0, 255, 0},  {0, 0, 255},    {255, 255, 255},
                           {0, 0, 0},   {10, 20, 30}, {200, 100, 50}, {192, 193, 194},
                           {9, 8, 7},   {60, 70, 80}, {90, 91, 92},   {5, 250, 5}};
    RasterImage img;
    img.Allocate(w, h, PixelFormat::ie24RGB);
    for (int i = 0; i < w * h; ++i) img.SetPixelRgb(i % w, i / w, colours[(i * 7 + i / w) % n]);
    return img;
}

// The bytes a codec's writer makes of an image with the given declared depth.
inline std::vector<std::uint8_t> EncodeWith(const FormatCodec& codec, RasterImage image,
                                            int channels = 3, int bits = 8) {
    ImageHolder holder;
    holder.Image = std::move(image);
    holder.Params.ChannelCount = channels;
    holder.Params.BitsPerChannel = bits;
    std::vector<std::uint8_t> out;
    EXPECT_TRUE(codec.Write && codec.Write(holder, out) == ImageError::None);
    return out;
}

// One entry of a decoder's table of damaged files: it must fail cleanly, or (readable) stop
// cleanly with the picture decoded so far.
struct MalformedCase {
    std::string name;
    std::vector<std::uint8_t> file;
    bool readable = false;
};

// Reads a damaged file and checks that the decoder answered as the case expects.
inline void ExpectMalformedHandled(const FormatCodec& codec, const MalformedCase& c) {
    ImageHolder h;
    const bool read = codec.Read(h, c.file, ReadOptions{}) == ImageError::None;
    if (read != c.readable) ADD_FAILURE() << c.name << ": read " << (read ? "succeeded" : "failed");
    if (read && h.Image.Empty()) ADD_FAILURE() << c.name << ": read succeeded without a picture";
}

}  // namespace gw::test

namespace gw {
inline void PrintTo(const Rgb& c, std::ostream* os) {
    *os << "(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << ")";
}
}  // namespace gw
