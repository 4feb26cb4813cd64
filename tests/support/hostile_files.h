#pragma once
// Small hostile files: headers that claim huge pictures, counts or loops, each with the error
// reading it must end with. The hostile-file test and benchmark share them.

#include <cstdint>
#include <string>
#include <vector>

#include "imagefile/error.h"

namespace gw::test {

struct HostileFile {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
    ImageError Expected = ImageError::None;
};

// One or more per format, each under 4 KB but the metafile of 4096 shapes.
std::vector<HostileFile> HostileFiles();

// A library whose 281 icon groups all name one damaged 1024 × 1024 PNG image: listing it must
// not decode that image once per group.
std::vector<std::uint8_t> LibraryOfOneDamagedPng();

}  // namespace gw::test
