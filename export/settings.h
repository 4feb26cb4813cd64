#pragma once
// The export dialog's settings in section "EXPORT" of Options.ini.

#include <string>

#include "export/options.h"
#include "i18n/ini.h"

namespace gw {

// Missing keys take their defaults: ICO, no size, not transparent, no folder, 128 × 128, white.
// Any non-zero integer reads as true.
ExportOptions LoadExportSettings(const IniFile& options);
// Writes Format, Transparent, Size, SavePath, Width, Height and GradualColor, in this order.
void SaveExportSettings(IniFile& options, const ExportOptions& settings);

}  // namespace gw
