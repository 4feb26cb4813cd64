#pragma once
// Writing several image holders as one multi-image icon container.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "imagefile/error.h"
#include "imagefile/raster.h"

namespace gw {

// Appends holders[0..lastIndex] (in that order, each at its own size and declared depth) to out
// as one icon container. Writing changes the holders' parameters: an image that is neither
// ie24RGB nor ie8p is declared 1 bit, and a 4- or 8-bit entry reduced from true colour keeps
// its reduced palette. A lastIndex beyond the holders is clamped; below 0 writes no image.
void EncodeIconFile(std::span<ImageHolder> holders, int lastIndex, std::vector<std::uint8_t>& out);

// Writes the icon container of EncodeIconFile as the file at path, complete or not at all; an
// existing file is kept unless mode is Replace. CannotCreateFile (with errno) on failure.
ImageStatus WriteIconFile(const std::string& path, std::span<ImageHolder> holders, int lastIndex,
                          WriteMode mode = WriteMode::NoReplace);

}  // namespace gw
