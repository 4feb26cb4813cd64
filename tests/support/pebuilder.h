#pragma once
// Builds small Windows executables for tests: PE32, PE32+ and 16-bit NE images whose only
// content is a resource directory (icon groups and their images, or any other resources), and
// the icon images and ICO files that go into them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "imagefile/raster.h"

namespace gw::pefix {

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

using PixelFn = std::function<Rgba(int x, int y)>;

// Icon image bytes as an RT_ICON resource or an ICO file holds them.
struct IconImage {
    int Width = 0;
    int Height = 0;
    int BitCount = 32;
    std::vector<std::uint8_t> Bytes;
};

// A bitmap icon image (header, colour table, colour rows, mask). At 32 bits the pixels keep their
// alpha and the mask marks alpha 0; at 24 bits and below the mask marks pixels with alpha below
// 128, and palette images take their table from the pixels' colours in order of appearance
// (1 bit: black and white, a pixel is white when its channels sum to 384 or more).
IconImage MakeDibIcon(int width, int height, int bitCount, const PixelFn& pixel);
IconImage MakeDibIcon(int width, int height, int bitCount, Rgba colour);
// A PNG-compressed icon image, 8-bit RGBA.
IconImage MakePngIcon(int width, int height, const PixelFn& pixel);
IconImage MakePngIcon(int width, int height, Rgba colour);

// An ICO file holding the images in that order.
std::vector<std::uint8_t> BuildIcoFile(const std::vector<IconImage>& images);
// The group-icon directory (RT_GROUP_ICON data) listing the images under the identifiers.
std::vector<std::uint8_t> BuildGroupDirectory(const std::vector<IconImage>& images,
                                              const std::vector<std::uint16_t>& ids);

// Where the builder put things, for tests that damage them afterwards.
struct PeLayout {
    std::size_t Resources = 0;  // file offset of the root resource directory
    // Offsets relative to the root directory, keyed by (type, id); named resources use id 0.
    std::map<std::uint16_t, std::uint32_t> NameDirectory;
    std::map<std::pair<std::uint16_t, std::uint32_t>, std::uint32_t> LanguageDirectory;
    std::map<std::pair<std::uint16_t, std::uint32_t>, std::uint32_t> DataEntry;
    // File offsets of the resources' bytes.
    std::map<std::pair<std::uint16_t, std::uint32_t>, std::size_t> Data;
};

struct NeLayout {
    std::size_t ResourceTable = 0;  // file offset of the resource table (its shift count)
    std::map<std::pair<std::uint16_t, std::uint32_t>, std::size_t> NameInfo;
    std::map<std::pair<std::uint16_t, std::uint32_t>, std::size_t> Data;
};

class ResourceBuilder {
  public:
    void Add(std::uint16_t type, std::uint32_t id, std::vector<std::uint8_t> data,
             std::uint16_t language = 0x409);
    void AddNamed(std::uint16_t type, std::string name, std::vector<std::uint8_t> data);

    // An icon group with its images stored as icons under fresh identifiers; returns them.
    std::vector<std::uint16_t> AddIconGroup(std::uint32_t groupId,
                                            const std::vector<IconImage>& images);
    std::vector<std::uint16_t> AddNamedIconGroup(std::string name,
                                                 const std::vector<IconImage>& images);
    // Stores images as icons under fresh identifiers without a group.
    std::vector<std::uint16_t> AddIcons(const std::vector<IconImage>& images);

    // Linkers list named entries first, then identifiers in ascending order; false keeps the
    // order in which resources were added.
    bool SortEntries = true;

    std::vector<std::uint8_t> BuildPe(bool pe32plus = false, PeLayout* layout = nullptr) const;
    std::vector<std::uint8_t> BuildNe(NeLayout* layout = nullptr) const;

  private:
    struct Item {
        std::uint16_t Type = 0;
        std::uint32_t Id = 0;
        std::string Name;  // non-empty for a named resource
        std::uint16_t Language = 0;
        std::vector<std::uint8_t> Data;
    };
    std::vector<Item> items_;
    std::uint16_t nextIconId_ = 1;
};

// Writes bytes to a file, replacing it.
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace gw::pefix
