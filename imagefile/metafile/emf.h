#pragma once
// Enhanced metafiles played into a picture.

#include <cstdint>
#include <span>

namespace gw {

// The " EMF" signature of the header record, as a little-endian number.
inline constexpr std::uint32_t kEmfSignature = 0x464D4520;

// True when the data starts with an enhanced-metafile header record.
bool IsEnhancedMetafile(std::span<const std::uint8_t> data);

}  // namespace gw
