// Makes the inputs bench/peers.sh runs our command line and the other tools on:
//   peer_inputs library FILE GROUPS    a library of GROUPS icons, each 16, 32 and 48 pixel
//                                      bitmaps and a 256 pixel PNG (as system libraries hold)
//   peer_inputs photo FILE WIDTH HEIGHT [SEED]   a photo-like picture; the extension picks
//                                      the format (.jpg, .bmp, ...)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagefile/formats/registry.h"
#include "support/pebuilder.h"

namespace {

using gw::pefix::IconImage;
using gw::pefix::Rgba;

int Library(const std::string& path, int groups) {
    gw::pefix::ResourceBuilder b;
    for (int g = 0; g < groups; ++g) {
        // A round shape with a soft, transparent outside and bands of colour.
        auto pixel = [g](int size) {
            return [g, size](int x, int y) {
                const int u = x * 256 / size, v = y * 256 / size;
                const int d2 = (u - 128) * (u - 128) + (v - 128) * (v - 128);
                const int a = d2 < 100 * 100   ? 255
                              : d2 < 124 * 124 ? (124 * 124 - d2) * 255 / 5776
                                               : 0;
                return Rgba{static_cast<std::uint8_t>(g * 7 + u / 2),
                            static_cast<std::uint8_t>(v / 16 * 16 + ((u * v) & 7)),
                            static_cast<std::uint8_t>(g * 3 + (u ^ v) / 4),
                            static_cast<std::uint8_t>(a)};
            };
        };
        std::vector<IconImage> images;
        for (int size : {16, 32, 48})
            images.push_back(gw::pefix::MakeDibIcon(size, size, 32, pixel(size)));
        images.push_back(gw::pefix::MakePngIcon(256, 256, pixel(256)));
        b.AddIconGroup(static_cast<std::uint32_t>(g + 1), images);
    }
    gw::pefix::WriteBytes(path, b.BuildPe());
    return 0;
}

int Photo(const std::string& path, int width, int height, int seed) {
    gw::ImageHolder h;
    if (!h.Image.Allocate(width, height, gw::PixelFormat::ie24RGB)) return 1;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = h.Image.Row(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>((x / 16 + seed * 7) ^ (y / 16));
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);
            row[3 * x + 2] = static_cast<std::uint8_t>(x * 255 / width + ((x * y + seed) & 15));
        }
    }
    return gw::SaveImageFile(h, path, gw::WriteMode::Replace).ok() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 3 && a[0] == "library") return Library(a[1], std::atoi(a[2].c_str()));
    if ((a.size() == 4 || a.size() == 5) && a[0] == "photo")
        return Photo(a[1], std::atoi(a[2].c_str()), std::atoi(a[3].c_str()),
                     a.size() == 5 ? std::atoi(a[4].c_str()) : 0);
    std::fprintf(stderr,
                 "usage: peer_inputs library FILE GROUPS | photo FILE WIDTH HEIGHT [SEED]\n");
    return 2;
}
