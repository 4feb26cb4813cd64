#pragma once
// Runs a reader built on a third-party decoder in a child process with memory and time limits,
// so that a crash, a hang or a runaway allocation inside the library fails that one file
// (ImageError::DecoderCrashed) and nothing else. The child ships the image and the file
// parameters back through a pipe.

#include <cstdint>
#include <functional>

#include "imagefile/error.h"
#include "imagefile/raster.h"

namespace gw {

struct IsolationLimits {
    std::uint64_t MemoryBytes = std::uint64_t{2} << 30;  // address space of the child
    unsigned CpuSeconds = 20;
    unsigned WallSeconds = 30;
};

using IsolatedRead = std::function<ImageError(ImageHolder& holder)>;

// Calls read(holder) in a forked child; on success holder.Image and holder.Params take what the
// child read. Builds for fuzzing (GW_FUZZING) call read in place, so the fuzzer sees the fault.
ImageError ReadIsolated(ImageHolder& holder, const IsolatedRead& read,
                        const IsolationLimits& limits = {});

}  // namespace gw
