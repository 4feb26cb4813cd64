#pragma once
// Output file names: source stem, five-digit icon number, and a counter when the name is taken.

#include <functional>
#include <string>

#include "base/result.h"
#include "imagefile/error.h"

namespace gw {

enum class NamingError {
    None = 0,
    IndexNotANumber,  // the icon index text is not a decimal integer
};

// "'<text>' is not a valid integer value".
std::string NamingErrorText(NamingError error, const std::string& indexText);

// folder ends with "/"; indexText is the zero-based icon index in decimal; sourceExtension is the
// source's extension with its dot, lower-cased (empty when none); outputExtension has its dot.
// Reads the disk (does a file exist?) and writes nothing.
Result<std::string, NamingError> BuildOutputFileName(const std::string& folder,
                                                     const std::string& sourcePath,
                                                     const std::string& indexText,
                                                     const std::string& sourceExtension,
                                                     const std::string& outputExtension);

// Writes one entry's output through `write` (which must not replace an existing file) under the
// entry's free name; when another file takes that name between naming and writing, under the
// next free one. On success `written` holds the name used; on failure the name that failed.
using WriteToName = std::function<ImageStatus(const std::string& name)>;
ImageStatus WriteUnderFreeName(const std::string& folder, const std::string& sourcePath, int index,
                               const std::string& outputExtension, const WriteToName& write,
                               std::string& written);

}  // namespace gw
