// The JPEG 2000 checks we make before OpenJPEG sees a file: the box walk to the code stream
// and the size segment. Whatever they accept must be self-consistent; the first byte's low bit
// picks the boxed file or the bare code stream for the probes.

#include <cstddef>
#include <cstdint>
#include <span>

#include "imagefile/formats/jp2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> input(data + 1, size - 1);
    const std::span<const std::uint8_t> stream = gw::FindJp2CodeStream(input);
    if (!stream.empty() && (stream.data() < input.data() ||
                            stream.data() + stream.size() > input.data() + input.size()))
        __builtin_trap();
    for (const auto s : {input, stream}) {
        gw::Jp2kHeaderInfo info;
        if (!gw::ReadJ2kSizHeader(s, &info)) continue;
        if (info.Width == 0 || info.Height == 0 || info.Components == 0 || info.Tiles == 0)
            __builtin_trap();
    }
    const gw::FormatCodec& codec = (data[0] & 1) ? gw::kJp2Codec : gw::kJ2kCodec;
    if (codec.Probe) codec.Probe(input);
    return 0;
}
