#pragma once
// The PNG file signature, which icon containers and executables' icon resources test for too.

#include <cstdint>
#include <cstring>
#include <span>

namespace gw {

inline constexpr std::uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

inline bool StartsWithPngSignature(std::span<const std::uint8_t> data) {
    return data.size() >= sizeof kPngSignature &&
           std::memcmp(data.data(), kPngSignature, sizeof kPngSignature) == 0;
}

}  // namespace gw
