#pragma once
// What the export dialog hands the export engine, and the icon sizes it offers.

#include <array>
#include <string>

namespace gw {

// The nine icon edge lengths, one per size row of the dialog.
inline constexpr std::array<int, 9> IconSizes{16, 24, 32, 48, 64, 72, 96, 128, 256};

// Export formats by index, in the order of the dialog's format list.
enum ExportFormat : int {
    kExportIco = 0,
    kExportBmp,
    kExportPng,
    kExportGif,
    kExportJpeg,
    kExportTif,
    kExportPsd,
    kExportTga,
    kExportPcx,
    kExportFormatCount
};

// The output extension of a format index: ".ico", ".bmp", ...; empty outside 0..8.
std::string ExportExtension(int format);

struct ExportOptions {
    int Format = 0;            // 0 ICO .. 8 PCX; -1 when none is selected
    bool Transparent = false;  // make the bottom-left colour transparent (ICO only)
    std::string Size;          // one "1" or "0" per size row, in row order
    std::string SavePath;      // the output folder as typed or chosen
    int Width = 128;           // picture size (formats other than ICO)
    int Height = 128;
    int GradualColor = 16777215;  // colour value written into pixels made transparent
};

}  // namespace gw
