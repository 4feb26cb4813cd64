#pragma once
// Icons of executables, libraries, icon libraries and icon files: how many a file holds, and one
// of them rendered at an exact size as a one-image ICO stream. The file is mapped, its resource
// directory read once, and every icon image decoded only when it is asked for, and only once:
// decoded images are kept for the other sizes, and an image that failed is not tried again.

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/mappedfile.h"
#include "catalogue/peresources.h"
#include "imagefile/limits.h"
#include "imagefile/raster.h"

namespace gw {

inline constexpr std::array<std::string_view, 6> IconFileExtensions{".exe", ".dll", ".ocx",
                                                                    ".icl", ".ico", ".cpl"};

// True when the path's extension is one of IconFileExtensions.
bool IsIconSourceFile(std::string_view path);

enum class IconSourceError {
    None,
    CannotOpenFile,    // missing, a folder, or unreadable
    NotIconSource,     // neither an executable with a sound header nor an icon file
    IndexOutOfRange,   // no icon with that number
    SizeNotSupported,  // requested width or height outside 1 .. kMaxRenderSize
    IconUnreadable,    // the icon's images are missing or none of them decodes
};

const char* IconSourceErrorText(IconSourceError error);

// Sides an icon can be rendered at; 256 is written as 0 in the stream's size bytes.
inline constexpr int kMaxRenderSize = 256;
// Sides ExtractImage renders at (a picture export may ask for more than an icon stream holds).
inline constexpr int kMaxImageRenderSize = 10000;
// Images of one icon looked at; real icons hold a few dozen at most.
inline constexpr int kMaxImagesPerIcon = 256;

// What the header of one icon image (a bitmap or a PNG stream) says about it.
struct IconImageInfo {
    int Width = 0;
    int Height = 0;
    int BitCount = 0;  // bits per pixel; for PNG the sample depth times the channel count
    bool Png = false;
};

// False when the bytes are not a complete bitmap icon image of a depth that can be decoded,
// or do not start like a PNG stream, or the image is larger than Limits::kMaxIconImageSide.
bool ProbeIconImage(std::span<const std::uint8_t> data, IconImageInfo& info);

// One image of an icon, as the icon's directory lists it.
struct IconCandidate {
    IconImageInfo Info;
    std::span<const std::uint8_t> Data;
    std::uint8_t ColourCount = 0;  // the directory's colour count byte
};

// Orders the images from the best fit for width × height to the worst: the exact size first;
// then larger images, nearest first; then smaller ones, largest first. Equal sizes put the
// higher colour depth first; images that tie keep their directory order.
void RankIconCandidates(std::vector<IconCandidate>& candidates, int width, int height);

// Writes an image (any pixel format, optional alpha plane, 1 .. kMaxRenderSize on each side) at
// the start of the stream as a one-image ICO: 32-bit colour with alpha and a mask that marks
// alpha 0. The stream grows when it is too short but never shrinks, so bytes after the icon
// stay. Returns the icon's length in bytes, or 0 (stream untouched) for an unsupported size.
std::size_t WriteIconStream(const RasterImage& image, std::vector<std::uint8_t>& stream);

// One file opened for counting and extracting many icons.
class IconSource {
  public:
    // Maps the file and reads its resource directory or icon directory.
    IconSourceError Open(const std::string& path);
    void Close();

    // Icon groups of an executable in directory order (broken ones included); 1 for an icon
    // file with a sound directory; 0 when nothing is open.
    int Count() const { return count_; }

    // Icon index rendered at exactly width × height: ie24RGB with an alpha plane, or without one
    // when every pixel is opaque.
    bool ExtractImage(int index, int width, int height, RasterImage& image,
                      IconSourceError* error = nullptr);
    // Icon group `index` as it is stored: an icon file holding every image of the group byte for
    // byte, in the group's order, with the group's directory fields. Nothing is rendered.
    IconSourceError OriginalGroup(int index, std::vector<std::uint8_t>& ico) const;

    // The same icon written into the stream by WriteIconStream.
    bool Extract(int index, int width, int height, std::vector<std::uint8_t>& stream,
                 IconSourceError* error = nullptr);

    // Icon images decoded since the file was opened, failed ones included.
    int Decodes() const { return decodes_; }

  private:
    enum class Kind { None, Executable, IconFile };

    std::vector<IconCandidate> Candidates(int index) const;
    bool Render(const IconCandidate& candidate, int width, int height, RasterImage& image);
    // The candidate's image as decoded, or null when it cannot be decoded.
    const RasterImage* Decoded(const IconCandidate& candidate);

    MappedFile file_;
    ResourceTable resources_;
    Kind kind_ = Kind::None;
    int count_ = 0;

    // The last rendering, so that groups sharing their image data are decoded once.
    struct Rendered {
        const std::uint8_t* Data = nullptr;
        std::size_t Size = 0;
        int Width = 0;
        int Height = 0;
        RasterImage Image;
    } last_;

    // Decoded images by their data, most recently used first, within a byte budget (a few
    // 256 × 256 images; an export asks for one icon's sizes together).
    static constexpr std::size_t kDecodedCacheBytes = std::size_t{8} << 20;
    // An image as the directory names it: its bytes and the directory's colour count.
    struct ImageKey {
        const std::uint8_t* Data = nullptr;
        std::size_t Size = 0;
        std::uint8_t ColourCount = 0;
        auto operator<=>(const ImageKey&) const = default;
    };
    struct DecodedImage {
        ImageKey Key;
        std::size_t Bytes = 0;
        RasterImage Image;
    };
    std::list<DecodedImage> decoded_;
    std::size_t decodedBytes_ = 0;
    // Images that failed to decode; groups often share images.
    std::set<ImageKey> failed_;
    int decodes_ = 0;
};

// The number of icons of the file; 0 when it holds none or cannot be read.
int CountIcons(const std::string& path);
// Icon iconIndex (from 0, in CountIcons order) of the file at exactly width × height as a
// one-image ICO at the start of the stream; false, with the stream untouched, when it cannot.
bool ExtractIconImage(const std::string& path, int iconIndex, int width, int height,
                      std::vector<std::uint8_t>& stream);

}  // namespace gw
