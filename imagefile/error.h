#pragma once
// Why reading or writing a picture failed. Readers and writers return an ImageError (None on
// success); the operations on files return an ImageStatus, which adds the system's errno when the
// file itself could not be opened or created.

#include <string>

#include "base/fileio.h"

namespace gw {

enum class ImageError {
    None = 0,
    CannotOpenFile,    // the file could not be opened or read
    CannotCreateFile,  // the output file could not be created or written
    NoReader,          // no reader for the format the name or content gives
    NoWriter,          // no writer for the format the extension names
    NotRecognised,     // the content is not a picture of any known format
    Truncated,         // the data ends before the picture does
    Damaged,           // the data contradicts itself or the format
    Unsupported,       // a valid variant of the format this reader does not decode
    TooLarge,          // the picture exceeds the size limits
    OutOfMemory,
    NoSuchImage,       // the image index is beyond the images the file holds
    CannotEncode,      // the picture cannot be written in this format
    EncoderFailed,     // the format's library failed while encoding
    PngEncoderFailed,  // the PNG encoder could not be set up or reported an error
    DecoderCrashed,    // the format's library crashed, hung or ran out of memory on the data
};

// A short English text for the code: "the data ends before the picture does".
const char* ImageErrorText(ImageError error);

struct [[nodiscard]] ImageStatus {
    ImageError Code = ImageError::None;
    int Errno = 0;  // for CannotOpenFile and CannotCreateFile

    ImageStatus() = default;
    ImageStatus(ImageError code, int errnoValue = 0) : Code(code), Errno(errnoValue) {}
    bool ok() const { return Code == ImageError::None; }
    explicit operator bool() const { return ok(); }
    friend bool operator==(const ImageStatus&, const ImageStatus&) = default;
};

// The text a user sees: the file texts ("Cannot open file "<path>". <system text>") for the file
// codes, else the code's own text.
std::string ImageStatusText(const ImageStatus& status, const std::string& path);

// Errors shown to the user with their own text, which end the command they happen in: a file that
// cannot be opened or created, the PNG encoder's failure. The others only mark a picture as failed.
inline bool IsRaisedError(const ImageStatus& status) {
    return status.Code == ImageError::CannotOpenFile ||
           status.Code == ImageError::CannotCreateFile ||
           status.Code == ImageError::PngEncoderFailed;
}

// The status of a failed file operation.
ImageStatus FromIoFailure(const IoFailure& failure);

}  // namespace gw
