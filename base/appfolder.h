#pragma once
// Where the program lives, and where it keeps its settings and language files.

#include <string>
#include <string_view>

namespace gw {

// Remembers argv[0] for GetAppFolder's fallback.
void SetProgramArgv0(const char* argv0);

// The running executable's folder with exactly one trailing "/": from /proc/self/exe,
// falling back to argv[0].
std::string GetAppFolder();

// True for an installed program: appFolder is a prefix's bin/ with share/glyphwright/ beside it.
bool IsInstalledLayout(const std::string& appFolder);

// Options.ini beside the executable for a copy run from a folder of its own that the user can
// write (the build folder, a portable copy); for an installed program, or when the folder cannot
// be written, the same file under $XDG_CONFIG_HOME/glyphwright/ (default ~/.config/glyphwright/).
std::string OptionsIniPath(const std::string& appFolder);

// The folder that holds the language files, with a trailing "/": appFolder + "Languages/" when
// present, else the installed data folder's Languages/ (share/glyphwright/ beside bin/, or the
// configured install prefix).
std::string LanguagesFolder(const std::string& appFolder);

}  // namespace gw
