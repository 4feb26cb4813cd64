// Icon sources: executables (PE and NE resource directories) and icon files. The input is the
// whole file, handed over through an in-memory file so that the mapping path is the real one.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/iconsource.h"
#include "fuzz/fuzz_check.h"
#include "imagefile/raster.h"

namespace {

// One anonymous file for the whole run, rewritten for every input.
const std::string& InputPath(int& fd) {
    static int file = ::memfd_create("iconsource_fuzz", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(file);
    if (file < 0) {
        std::perror("memfd_create");
        __builtin_trap();
    }
    fd = file;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fd = -1;
    const std::string& path = InputPath(fd);
    if (::ftruncate(fd, 0) != 0) __builtin_trap();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) __builtin_trap();
        done += static_cast<std::size_t>(n);
    }

    gw::IconSource source;
    if (source.Open(path) != gw::IconSourceError::None) return 0;
    const int count = source.Count();
    static constexpr int kSides[] = {16, 32, 256};
    std::vector<std::uint8_t> stream;
    for (int index = 0; index < count && index < 3; ++index) {
        for (int side : kSides) {
            gw::RasterImage image;
            if (source.ExtractImage(index, side, side, image)) {
                if (image.Width() != side || image.Height() != side) __builtin_trap();
                gw::fuzz::CheckImage(image);
            }
        }
        source.Extract(index, 32, 32, stream);
    }
    source.Extract(count, 16, 16, stream);  // out of range
    return 0;
}
