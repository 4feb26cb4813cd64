#pragma once
// JPEG 2000 pictures through OpenJPEG: the JP2 file format and the bare code stream.

#include <cstdint>
#include <span>

#include "imagefile/formats/codec.h"

namespace gw {

extern const FormatCodec kJp2Codec;  // ".jp2" boxed file
extern const FormatCodec kJ2kCodec;  // ".j2k", ".jpc", ".j2c" code stream

// What the main header of a code stream declares, read without the library so that the
// limits are checked before OpenJPEG allocates anything.
struct Jp2kHeaderInfo {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t Components = 0;
    std::uint64_t Tiles = 0;
    int Precision = 0;  // of the first component
};

// The SIZ segment at the start of a code stream; false when it is missing or inconsistent.
bool ReadJ2kSizHeader(std::span<const std::uint8_t> codeStream, Jp2kHeaderInfo* info);
// The contiguous code stream box of a JP2 file (its contents), or an empty span.
std::span<const std::uint8_t> FindJp2CodeStream(std::span<const std::uint8_t> file);

}  // namespace gw
