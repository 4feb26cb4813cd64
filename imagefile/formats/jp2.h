#pragma once
// JPEG 2000 pictures through OpenJPEG: the JP2 file format and the bare code stream.

#include <cstdint>
#include <span>
#include <vector>

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

// A code stream's samples at full resolution, components interleaved, as stored (signed
// samples keep their sign); for containers that interpret the samples themselves.
struct Jp2kSamples {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t Components = 0;
    int Precision = 0;
    bool Signed = false;
    std::vector<std::int32_t> Values;
};

// Fails when the stream is damaged, too large, or its components differ in size.
ImageError DecodeJ2kSamples(std::span<const std::uint8_t> codeStream, Jp2kSamples* out);

// The SIZ segment at the start of a code stream; false when it is missing or inconsistent.
bool ReadJ2kSizHeader(std::span<const std::uint8_t> codeStream, Jp2kHeaderInfo* info);
// The contiguous code stream box of a JP2 file (its contents), or an empty span.
std::span<const std::uint8_t> FindJp2CodeStream(std::span<const std::uint8_t> file);

}  // namespace gw
