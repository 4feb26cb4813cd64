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

// What icon makers ask of a file beyond the images as declared. The defaults write every image
// once, at its declared depth, as a bitmap.
struct IconWriteOptions {
    // Images of this side or more (either side) at 24 or 32 bits are stored as PNG streams, with
    // their alpha; 0 stores every image as a bitmap.
    int PngFrom = 0;
    // Depths (4, 8, 24 or 32) each image is written at besides its declared one, through the
    // colour reduction. With any listed, images are ordered the way Windows' own icon files are:
    // by depth, highest first, then by size, largest first.
    std::vector<int> ExtraDepths;
};

// Appends holders[0..lastIndex] (in that order, each at its own size and declared depth) to out
// as one icon container. Writing changes the holders' parameters: an image that is neither
// ie24RGB nor ie8p is declared 1 bit, and a 4- or 8-bit entry reduced from true colour keeps
// its reduced palette. A lastIndex beyond the holders is clamped; below 0 writes no image.
// PngEncoderFailed when a PNG image cannot be encoded (out is then incomplete).
ImageError EncodeIconFile(std::span<ImageHolder> holders, int lastIndex,
                          std::vector<std::uint8_t>& out, const IconWriteOptions& options = {});

// Writes the icon container of EncodeIconFile as the file at path, complete or not at all; an
// existing file is kept unless mode is Replace. CannotCreateFile (with errno) on failure.
ImageStatus WriteIconFile(const std::string& path, std::span<ImageHolder> holders, int lastIndex,
                          WriteMode mode = WriteMode::NoReplace,
                          const IconWriteOptions& options = {});

}  // namespace gw
