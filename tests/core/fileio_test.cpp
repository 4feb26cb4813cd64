#include "base/fileio.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("gw_fileio_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
        return names;
    }
    fs::path dir_;
};

TEST_F(FileIo, WritesANewFileAndNeverReplacesOne) {
    const std::vector<std::uint8_t> first{1, 2, 3}, second{4, 5};
    ASSERT_TRUE(WriteFileAtomic(Path("a.bin"), first));
    EXPECT_EQ(ReadWholeFile(Path("a.bin")), first);

    const auto again = WriteFileAtomic(Path("a.bin"), second);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error(), (IoFailure{FileIoError::CannotCreate, EEXIST}));
    EXPECT_EQ(ReadWholeFile(Path("a.bin")), first);

    ASSERT_TRUE(WriteFileAtomic(Path("a.bin"), second, WriteMode::Replace));
    EXPECT_EQ(ReadWholeFile(Path("a.bin")), second);
    EXPECT_EQ(Names(), std::vector<std::string>{"a.bin"});  // no temporary file left
}

TEST_F(FileIo, AWriteThatFailsPartWayLeavesNothing) {
    // A file-size limit makes the write fail after the first bytes, as a full disk would.
    struct Limit {
        rlimit old{};
        void (*oldHandler)(int) = nullptr;
        Limit() {
            ::getrlimit(RLIMIT_FSIZE, &old);
            oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = old;
            small.rlim_cur = 1000;
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        ~Limit() {
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
    };
    const std::vector<std::uint8_t> big(100000, 7);
    {
        Limit limit;
        const auto written = WriteFileAtomic(Path("big.bin"), big);
        ASSERT_FALSE(written);
        EXPECT_EQ(written.error(), (IoFailure{FileIoError::CannotCreate, EFBIG}));
        // Replacing fails the same way and keeps the old file whole.
        ASSERT_TRUE(WriteFileAtomic(Path("old.bin"), std::vector<std::uint8_t>(10, 1)));
        EXPECT_FALSE(WriteFileAtomic(Path("old.bin"), big, WriteMode::Replace));
    }
    EXPECT_EQ(Names(), std::vector<std::string>{"old.bin"});
    EXPECT_EQ(ReadWholeFile(Path("old.bin")), std::vector<unsigned char>(10, 1));
}

TEST_F(FileIo, ReadAndCreateErrorsCarryTheSystemText) {
    const auto missing = ReadFileBytes(Path("missing"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(IoFailureText(missing.error(), "m"),
              "Cannot open file \"m\". No such file or directory");
    const auto folder = ReadFileBytes(dir_.string());
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error(), (IoFailure{FileIoError::CannotOpen, EISDIR}));
    const auto nowhere = WriteFileAtomic(Path("no/such.bin"), std::vector<std::uint8_t>{1});
    ASSERT_FALSE(nowhere);
    EXPECT_EQ(IoFailureText(nowhere.error(), "n"),
              "Cannot create file \"n\". No such file or directory");
}

}  // namespace
}  // namespace gw
