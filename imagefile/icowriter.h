#pragma once
// Writing several image holders as one multi-image icon container.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imagefile/raster.h"

namespace gw {

// Appends holders[0..lastIndex] (in that order, each at its own size and declared depth) to out
// as one icon container. Writing changes the holders' parameters: an image that is neither
// ie24RGB nor ie8p is declared 1 bit, and a 4- or 8-bit entry reduced from true colour keeps
// its reduced palette. A lastIndex beyond the holders is clamped; below 0 writes no image.
void EncodeIconFile(std::span<ImageHolder> holders, int lastIndex, std::vector<std::uint8_t>& out);

// Creates (or replaces) the file at path with the icon container of EncodeIconFile.
// Throws FileError "Cannot create file "<path>". <system text>" when it cannot be written.
void WriteIconFile(const std::string& path, std::span<ImageHolder> holders, int lastIndex);

}  // namespace gw
