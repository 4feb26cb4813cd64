#pragma once
// Output file names: source stem, five-digit icon number, and a counter when the name is taken.

#include <string>

namespace gw {

// folder ends with "/"; indexText is the zero-based icon index in decimal; sourceExtension is the
// source's extension with its dot, lower-cased (empty when none); outputExtension has its dot.
// Reads the disk (does a file exist?) and writes nothing. Throws std::invalid_argument when
// indexText is not a number.
std::string BuildOutputFileName(const std::string& folder, const std::string& sourcePath,
                                const std::string& indexText, const std::string& sourceExtension,
                                const std::string& outputExtension);

// The file-name part of a path: everything after its last "/".
std::string FileNamePart(const std::string& path);
// The extension with its dot, lower-cased; empty when the name has none.
std::string LowerExtension(const std::string& path);
// True when a file (not a folder) exists at the path.
bool FileExists(const std::string& path);

}  // namespace gw
