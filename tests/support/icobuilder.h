#pragma once
// Builds icon and cursor containers with bitmap or PNG payloads for test fixtures.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "imagefile/raster.h"

namespace gw::test {

// One directory entry and its payload.
struct IcoEntry {
    std::uint8_t width = 0;  // 0 means 256
    std::uint8_t height = 0;
    std::uint8_t colorCount = 0;
    std::uint8_t reserved = 0;
    std::uint16_t planes = 1;    // cursor: hot spot x
    std::uint16_t bitCount = 0;  // cursor: hot spot y
    std::vector<std::uint8_t> payload;
    std::optional<std::uint32_t> size;    // directory size field; default the payload's size
    std::optional<std::uint32_t> offset;  // directory offset field; default where it is placed
};

// Header, directory and the payloads one after another in entry order.
// type 1 = icon, 2 = cursor; count overrides the header's image count.
std::vector<std::uint8_t> BuildIconContainer(const std::vector<IcoEntry>& entries,
                                             std::uint16_t type = 1,
                                             std::optional<std::uint16_t> count = {});

// A device-independent bitmap payload: 40-byte header, colour table, colour rows, mask.
struct DibSpec {
    int width = 0;
    int height = 0;
    int bitCount = 32;
    std::optional<std::int32_t> headerWidth;      // default width
    std::optional<std::int32_t> headerHeight;     // default 2 × height (1 × for BMP files)
    std::optional<std::uint16_t> headerBitCount;  // default bitCount
    std::vector<Rgb> colorTable;                  // written as given: blue, green, red, 0
    // Row-major from the top: palette index (≤ 8 bits, for 1 bit the stored bit) or 0xAARRGGBB
    // (24 and 32 bits; alpha unused at 24). Missing pixels are 0.
    std::vector<std::uint32_t> pixels;
    // Row-major from the top, non-zero = transparent; empty = all clear.
    std::vector<std::uint8_t> mask;
    bool withMask = true;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::optional<std::uint32_t> imageSizeField;  // default the colour rows' byte count
};

std::vector<std::uint8_t> BuildDib(const DibSpec& layout);

// A BMP file: 14-byte file header, then the bitmap without mask, height not doubled.
std::vector<std::uint8_t> BuildBmpFile(const DibSpec& layout);

// An 8-bit RGBA PNG stream of 0xAARRGGBB pixels, row-major from the top.
std::vector<std::uint8_t> BuildPng(int width, int height, const std::vector<std::uint32_t>& argb);

// The one-image stream of an extracted icon: entry with width and height bytes (0 for 256),
// the bit depth in the colour-count field, planes 0, bit count 0, payload at offset 22.
std::vector<std::uint8_t> BuildExtractedIconStream(const DibSpec& layout);

// An icon directory entry as read back from container bytes.
struct ParsedEntry {
    std::uint8_t width, height, colorCount, reserved;
    std::uint16_t planes, bitCount;
    std::uint32_t size, offset;
};
// The directory of a container (empty when the bytes are too short).
std::vector<ParsedEntry> ParseIconDirectory(std::span<const std::uint8_t> bytes);

// Little-endian fields at a byte offset, for checking written data.
std::uint16_t U16At(std::span<const std::uint8_t> bytes, std::size_t pos);
std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t pos);

}  // namespace gw::test
