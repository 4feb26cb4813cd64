#include "imagefile/error.h"

namespace gw {

const char* ImageErrorText(ImageError error) {
    switch (error) {
        case ImageError::None:
            return "no error";
        case ImageError::CannotOpenFile:
            return "the file cannot be opened";
        case ImageError::CannotCreateFile:
            return "the file cannot be created";
        case ImageError::NoReader:
            return "no reader for this format";
        case ImageError::NoWriter:
            return "no writer for this format";
        case ImageError::NotRecognised:
            return "not a picture of a known format";
        case ImageError::Truncated:
            return "the data ends before the picture does";
        case ImageError::Damaged:
            return "the data is damaged";
        case ImageError::Unsupported:
            return "a variant of the format that is not supported";
        case ImageError::TooLarge:
            return "the picture is larger than the size limits";
        case ImageError::OutOfMemory:
            return "not enough memory";
        case ImageError::NoSuchImage:
            return "no image with this index";
        case ImageError::CannotEncode:
            return "the picture cannot be written in this format";
        case ImageError::EncoderFailed:
            return "the encoder failed";
        case ImageError::PngEncoderFailed:
            return "Error on creating PNG";
        case ImageError::DecoderCrashed:
            return "the decoder failed on the damaged data";
    }
    return "unknown error";
}

std::string ImageStatusText(const ImageStatus& status, const std::string& path) {
    if (status.Code == ImageError::CannotOpenFile)
        return IoFailureText({FileIoError::CannotOpen, status.Errno}, path);
    if (status.Code == ImageError::CannotCreateFile)
        return IoFailureText({FileIoError::CannotCreate, status.Errno}, path);
    return ImageErrorText(status.Code);
}

ImageStatus FromIoFailure(const IoFailure& failure) {
    return {failure.Code == FileIoError::CannotOpen ? ImageError::CannotOpenFile
                                                    : ImageError::CannotCreateFile,
            failure.Errno};
}

}  // namespace gw
