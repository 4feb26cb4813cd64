#pragma once
// Bounds every decoder checks before it allocates, and overflow-checked size arithmetic.

#include <cstddef>
#include <cstdint>
#include <limits>

namespace gw {

struct Limits {
    // Largest image any reader will allocate: 2^27 pixels (about 400 MB at 24 bits); builds
    // for fuzzing take 2^22 so that every input stays fast.
#ifdef GW_FUZZING
    static constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 22;
#else
    static constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 27;
#endif
    // Largest width or height on its own.
    static constexpr std::uint64_t kMaxImageDimension = 1u << 17;
    // Largest single buffer a decoder may allocate for compressed data or tables.
    static constexpr std::uint64_t kMaxBufferBytes = std::uint64_t{1} << 30;
    // Most directory entries, resources or frames walked in one file.
    static constexpr std::uint64_t kMaxEntries = 1u << 16;
    // Directory entries a resource walk may visit in all, however the directories nest or loop.
    static constexpr std::uint32_t kEntryBudget = 1u << 16;
    // Pages of a multi-page PCX (DCX) file: the size of its fixed offset table.
    static constexpr std::size_t kMaxPages = 1023;
    // Tiles of one JPEG 2000 code stream.
    static constexpr std::uint64_t kMaxTiles = 65535;
    // Scans of a progressive JPEG; more is a damaged or hostile file.
    static constexpr int kMaxScans = 1000;
    // Scans times pixels of a progressive JPEG: every scan visits the whole picture, so a few
    // bytes a scan could otherwise keep a large picture decoding for many seconds.
    static constexpr std::uint64_t kMaxScanPixels = std::uint64_t{1} << 31;
    // Objects a metafile may keep in its object table at once.
    static constexpr std::size_t kMaxObjects = 65535;
    // Longest side of one image inside an icon resource or icon file.
    static constexpr int kMaxIconImageSide = 1024;
};

// a * b, or false when the product does not fit in 64 bits.
constexpr bool CheckedMul(std::uint64_t a, std::uint64_t b, std::uint64_t* out) {
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) return false;
    *out = a * b;
    return true;
}

constexpr bool CheckedAdd(std::uint64_t a, std::uint64_t b, std::uint64_t* out) {
    if (b > std::numeric_limits<std::uint64_t>::max() - a) return false;
    *out = a + b;
    return true;
}

// True when a width × height image is within the pixel and dimension limits.
constexpr bool ImageSizeAllowed(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return false;
    if (static_cast<std::uint64_t>(width) > Limits::kMaxImageDimension ||
        static_cast<std::uint64_t>(height) > Limits::kMaxImageDimension)
        return false;
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <=
           Limits::kMaxImagePixels;
}

// The largest number of decoded bytes one byte of a format's data can give: the format's
// largest possible compression ratio, so that a header cannot claim a picture its data could
// never fill. Decoded bytes are what the format's decoder produces (rows of samples or indices,
// one byte a pixel for the run-length, LZW and JPEG ratios).
namespace MaxRatio {
// Uncompressed data.
inline constexpr std::uint64_t kNone = 1;
// Deflate: about 1032 bytes out of one byte in.
inline constexpr std::uint64_t kDeflate = 1032;
// Two-byte codes repeating at most 255, 128 or 63 bytes (BMP, PackBits, PCX).
inline constexpr std::uint64_t kRun255 = 128;
inline constexpr std::uint64_t kRun128 = 64;
inline constexpr std::uint64_t kRun63 = 32;
// LZW with 12-bit codes, each at most 4096 bytes long.
inline constexpr std::uint64_t kLzw = 2731;
// Huffman-coded JPEG: at least a bit for every 8 × 8 block.
inline constexpr std::uint64_t kJpeg = 512;
// JPEG 2000 can leave whole precincts out with one bit, so the format sets no bound; real code
// streams take far more than a byte for 4096 samples, and the decoder keeps 4 bytes a sample.
inline constexpr std::uint64_t kJpeg2000 = 4096;
}  // namespace MaxRatio

// Pictures up to this many pixels are decoded even when their data ends early (the rest stays
// blank); a larger one is allocated only when its data can fill it.
#ifdef GW_FUZZING
inline constexpr std::uint64_t kUncheckedPixels = std::uint64_t{1} << 18;
#else
inline constexpr std::uint64_t kUncheckedPixels = std::uint64_t{1} << 24;
#endif

// True when dataBytes of data, each giving at most maxRatio decoded bytes, can give the
// decodedBytes a width × height picture needs, or when the picture is small enough to take
// without checking.
constexpr bool DataCanFill(std::int64_t width, std::int64_t height, std::uint64_t decodedBytes,
                           std::uint64_t dataBytes, std::uint64_t maxRatio) {
    if (width <= 0 || height <= 0) return true;
    std::uint64_t pixels = 0, reach = 0;
    if (!CheckedMul(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), &pixels))
        return false;
    if (pixels <= kUncheckedPixels) return true;
    if (!CheckedMul(dataBytes, maxRatio, &reach)) return true;
    return reach >= decodedBytes;
}

// The same for a format that decodes to one byte a pixel.
constexpr bool DataCanFill(std::int64_t width, std::int64_t height, std::uint64_t dataBytes,
                           std::uint64_t maxRatio) {
    if (width <= 0 || height <= 0) return true;
    return DataCanFill(width, height,
                       static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height),
                       dataBytes, maxRatio);
}

// True when count table entries of entrySize bytes each can be present in dataBytes.
constexpr bool TableFits(std::uint64_t count, std::uint64_t entrySize, std::uint64_t dataBytes) {
    std::uint64_t bytes = 0;
    return CheckedMul(count, entrySize, &bytes) && bytes <= dataBytes;
}

}  // namespace gw
