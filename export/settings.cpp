#include "export/settings.h"

namespace gw {
namespace {
constexpr const char* kSection = "EXPORT";
}  // namespace

std::string ExportExtension(int format) {
    static constexpr const char* kExtensions[] = {".ico", ".bmp", ".png", ".gif", ".jpg",
                                                  ".tif", ".psd", ".tga", ".pcx"};
    return format >= 0 && format < kExportFormatCount ? kExtensions[format] : "";
}

ExportOptions LoadExportSettings(const IniFile& options) {
    ExportOptions s;
    s.Format = options.GetInteger(kSection, "Format", 0);
    s.Transparent = options.GetInteger(kSection, "Transparent", 0) != 0;
    s.Size = options.GetString(kSection, "Size", "");
    s.SavePath = options.GetString(kSection, "SavePath", "");
    s.Width = options.GetInteger(kSection, "Width", 128);
    s.Height = options.GetInteger(kSection, "Height", 128);
    s.GradualColor = options.GetInteger(kSection, "GradualColor", 16777215);
    return s;
}

void SaveExportSettings(IniFile& options, const ExportOptions& s) {
    options.SetInteger(kSection, "Format", s.Format);
    options.SetInteger(kSection, "Transparent", s.Transparent ? 1 : 0);
    options.SetString(kSection, "Size", s.Size);
    options.SetString(kSection, "SavePath", s.SavePath);
    options.SetInteger(kSection, "Width", s.Width);
    options.SetInteger(kSection, "Height", s.Height);
    options.SetInteger(kSection, "GradualColor", s.GradualColor);
}

}  // namespace gw
