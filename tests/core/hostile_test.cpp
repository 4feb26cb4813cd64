// Small hostile files (headers that claim huge pictures, counts or loops) through detection and
// loading: each must end with its exact error, and none may take more than 256 MB. Each case
// runs in a child process; its peak resident memory is measured there, and outside the
// sanitizers its address space is capped as well.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "imagefile/bytereader.h"
#include "imagefile/formats/registry.h"
#include "imagefile/raster.h"
#include "support/hostile_files.h"

#if defined(__SANITIZE_ADDRESS__)
#define GW_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GW_TEST_ASAN 1
#endif
#endif

namespace gw {
namespace {

constexpr long kMemoryLimitKb = 256 * 1024;

// Loads the file in a child; returns its error code and its peak memory growth in KiB.
void LoadInChild(const std::vector<std::uint8_t>& file, ImageError& error, long& grownKb) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
#ifndef GW_TEST_ASAN
        // A gigabyte above what is mapped now: a runaway allocation fails here instead of
        // taking the machine's memory; the measured growth is checked against 256 MB below.
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const rlim_t cap = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (rlim_t{1} << 30);
        const rlimit as{cap, cap};
        ::setrlimit(RLIMIT_AS, &as);
#endif
        ImageHolder holder;
        const ImageError e = LoadPictureFromStream(holder, ByteReader(file));
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        const long result[2] = {static_cast<long>(e), after.ru_maxrss - before.ru_maxrss};
        [[maybe_unused]] const ssize_t n = ::write(fds[1], result, sizeof result);
        ::_exit(0);
    }
    ::close(fds[1]);
    long result[2] = {-1, -1};
    const ssize_t n = ::read(fds[0], result, sizeof result);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child died: " << status;
    ASSERT_EQ(n, static_cast<ssize_t>(sizeof result));
    error = static_cast<ImageError>(result[0]);
    grownKb = result[1];
}

class Hostile : public testing::TestWithParam<test::HostileFile> {};

TEST_P(Hostile, EndsWithItsErrorWithin256MB) {
    const test::HostileFile& c = GetParam();
    ImageError error = ImageError::None;
    long grownKb = 0;
    LoadInChild(c.Bytes, error, grownKb);
    EXPECT_EQ(error, c.Expected) << ImageErrorText(error);
    EXPECT_LT(grownKb, kMemoryLimitKb) << c.Bytes.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Formats, Hostile, testing::ValuesIn(test::HostileFiles()),
                         [](const testing::TestParamInfo<test::HostileFile>& info) {
                             return info.param.Name;
                         });

}  // namespace
}  // namespace gw
