#pragma once
// Whole-file reading and atomic writing. A file is written to a temporary file in its folder and
// moved into place only when complete, so a failed write (a full disk, a size limit) leaves
// nothing under the real name, and a name taken meanwhile is never written over.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/result.h"

namespace gw {

enum class FileIoError {
    None = 0,
    CannotOpen,    // missing, a folder, unreadable
    CannotCreate,  // the folder cannot be written, the disk is full, the name is taken
};

// Why a file operation failed: the code and the system's errno.
struct IoFailure {
    FileIoError Code = FileIoError::None;
    int Errno = 0;
    friend bool operator==(const IoFailure&, const IoFailure&) = default;
};

// "Cannot create file "<path>". <system text>" and "Cannot open file "<path>". <system text>".
std::string IoFailureText(const IoFailure& failure, const std::string& path);

// The exception the windows show with its own text; raised only where an error ends a command.
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
FileError CannotCreateFile(const std::string& path, int errnoValue);
FileError CannotOpenFile(const std::string& path, int errnoValue);

Result<std::vector<std::uint8_t>, IoFailure> ReadFileBytes(const std::string& path);

enum class WriteMode {
    NoReplace,  // an existing file at the path is an error (EEXIST) and stays as it is
    Replace     // an existing file is replaced in one step
};
// Writes the bytes as a new file at path; see WriteMode.
Result<std::monostate, IoFailure> WriteFileAtomic(const std::string& path,
                                                  std::span<const std::uint8_t> bytes,
                                                  WriteMode mode = WriteMode::NoReplace);

// Throwing forms for the edges of the program (the command line, tests, fixtures).
std::vector<unsigned char> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const void* data, std::size_t size);

}  // namespace gw
