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

    // What listing a file does: every icon group at the grid's size, then one exported at two
    // other sizes.
    gw::IconSource source;
    if (source.Open(path) != gw::IconSourceError::None) return 0;
    const int count = source.Count();
    std::vector<std::uint8_t> stream;
    for (int index = 0; index < count; ++index) {
        gw::RasterImage image;
        if (source.ExtractImage(index, 32, 32, image)) {
            if (image.Width() != 32 || image.Height() != 32) __builtin_trap();
            gw::fuzz::CheckImage(image);
        }
    }
    if (count > 0) {
        gw::RasterImage image;
        if (source.ExtractImage(count - 1, 256, 256, image)) gw::fuzz::CheckImage(image);
        source.Extract(0, 16, 16, stream);
    }
    source.Extract(count, 16, 16, stream);  // out of range
    return 0;
}
