#pragma once
// The errors that file operations raise and the program shows with their own text.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace gw {

class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "Cannot create file "<path>". <system text>"
FileError CannotCreateFile(const std::string& path, int errnoValue);
// "Cannot open file "<path>". <system text>"
FileError CannotOpenFile(const std::string& path, int errnoValue);

// Reads a whole file; throws CannotOpenFile when it cannot be opened or read.
std::vector<unsigned char> ReadWholeFile(const std::string& path);
// Creates (or replaces) a file with the bytes; throws CannotCreateFile on failure.
void WriteWholeFile(const std::string& path, const void* data, std::size_t size);

}  // namespace gw
