#pragma once
// Turning files and folders into catalogue entries.

#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace gw {

// The name's extension (lower-cased) is an icon source's or one the picture readers know.
// Only the name is examined.
bool IsSourceFile(const std::string& fileName);

// Full paths of the supported files directly inside the folder, hidden ones included, in the
// order the file system lists them; subfolders are not entered. Empty for an empty folder name
// or a folder that cannot be read.
std::vector<std::string> ListSourceFiles(const std::string& folder);

// Appends the entries of one file: every icon of an icon source at 32 × 32, or the picture of an
// image file. A missing file or a folder adds nothing and leaves the selection alone; otherwise
// the selection is cleared afterwards.
void AddSourceFile(Catalogue& catalogue, const std::string& path);

// The folder part of a path with its trailing "/" (empty when the path has none).
std::string FolderPart(const std::string& path);

}  // namespace gw
