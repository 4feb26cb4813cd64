#pragma once
// Path helpers: names are split at "/" only, and an extension is what follows the name's last
// "." (so ".hidden" is all extension), as the output names and the format table expect.

#include <string>
#include <string_view>

namespace gw {

// The file-name part of a path: everything after its last "/".
std::string FileNamePart(std::string_view path);
// Everything up to and including the last "/"; empty when there is none.
std::string FolderPart(std::string_view path);
// The folder of a path with exactly one trailing "/" ("/" on its own for the root).
std::string FolderOfPath(std::string_view path);
// The extension with its dot, lower-cased; empty when the name has none.
std::string LowerExtension(std::string_view path);
// The same without the dot.
std::string FileExtension(std::string_view path);
// True when something that is not a folder exists at the path.
bool FileExists(const std::string& path);
// True when a folder exists at the path.
bool FolderExists(const std::string& path);

}  // namespace gw
