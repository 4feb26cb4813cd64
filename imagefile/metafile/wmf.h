#pragma once
// Windows metafiles, with or without the placeable header, played into a picture.

#include <cstdint>
#include <span>

namespace gw {

// The key that starts a placeable metafile.
inline constexpr std::uint32_t kPlaceableWmfKey = 0x9AC6CDD7;

// True when the data starts with a placeable header or a metafile header.
bool IsWindowsMetafile(std::span<const std::uint8_t> data);

}  // namespace gw
