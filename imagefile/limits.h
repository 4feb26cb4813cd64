#pragma once
// Bounds every decoder checks before it allocates, and overflow-checked size arithmetic.

#include <cstddef>
#include <cstdint>
#include <limits>

namespace gw {

struct Limits {
    // Largest image any reader will allocate: 2^27 pixels (about 400 MB at 24 bits).
    static constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 27;
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

}  // namespace gw
