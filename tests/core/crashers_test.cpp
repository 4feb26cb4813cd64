// Every file under tests/data/crashers/ once made a reader crash, hang or run out of memory
// (each is named after the fault and the harness that found it). Each must now be read, or
// refused, in a child process that stays within 256 MB, through every path that reads
// untrusted bytes: detection and loading, the icon readers and the icon source.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "catalogue/iconsource.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/registry.h"
#include "imagefile/ico/reader.h"
#include "imagefile/raster.h"

namespace gw {
namespace {

std::vector<std::string> CrasherFiles(const char* source) {
    std::vector<std::string> files;
    const std::filesystem::path dir = std::filesystem::path(source) / "tests/data/crashers";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.is_regular_file() && entry.path().extension() != ".md")
            files.push_back(entry.path().string());
    return files;
}

// Reads the file every way in a child; its peak memory growth in KiB, or -1 when it died.
long ReadEveryWay(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
        {
            ImageHolder holder;
            (void)LoadPictureFromStream(holder, ByteReader(bytes));
        }
        for (int index : {0, 1}) {
            ImageHolder holder;
            holder.Params.ICO_ImageIndex = holder.Params.CUR_ImageIndex = index;
            ByteReader icon(bytes), cursor(bytes);
            (void)LoadImageStream(holder, icon);
            (void)LoadCursorStream(holder, cursor);
        }
        IconSource source;
        if (source.Open(path) == IconSourceError::None)
            for (int i = 0; i < source.Count(); ++i) {
                RasterImage image;
                source.ExtractImage(i, 32, 32, image);
            }
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        const long grown = after.ru_maxrss - before.ru_maxrss;
        ::_exit(grown >= 256 * 1024 ? 2 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Crashers, EveryRegressionFileIsReadSafely) {
    const char* source = std::getenv("GW_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "GW_SOURCE_DIR not set";
    for (const std::string& path : CrasherFiles(source)) EXPECT_EQ(ReadEveryWay(path), 0) << path;
}

}  // namespace
}  // namespace gw
