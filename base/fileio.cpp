#include "base/fileio.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <variant>

#include "base/paths.h"

namespace gw {
namespace {

Unexpected<IoFailure> Failure(FileIoError code, int errnoValue) {
    return Fail(IoFailure{code, errnoValue});
}

// Closes the descriptor and removes the temporary file unless it was moved into place.
class TempFile {
  public:
    explicit TempFile(const std::string& target) {
        path_ = FolderPart(target) + ".glyphwright-XXXXXX";
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0) path_.clear();
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }
    void Release() { path_.clear(); }

  private:
    std::string path_;
    int fd_ = -1;
};

// Read once: umask can only be read by setting it, which must not race with parallel writers.
mode_t ProcessUmask() {
    static const mode_t mask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

// Moves from into to without replacing anything: renameat2 where the file system has it, else a
// hard link (which fails on an existing name) followed by removing the temporary name.
int MoveNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

std::string IoFailureText(const IoFailure& failure, const std::string& path) {
    const char* what =
        failure.Code == FileIoError::CannotOpen ? "Cannot open file \"" : "Cannot create file \"";
    return what + path + "\". " + std::strerror(failure.Errno);
}

FileError CannotCreateFile(const std::string& path, int errnoValue) {
    return FileError(IoFailureText({FileIoError::CannotCreate, errnoValue}, path));
}

FileError CannotOpenFile(const std::string& path, int errnoValue) {
    return FileError(IoFailureText({FileIoError::CannotOpen, errnoValue}, path));
}

Result<std::vector<std::uint8_t>, IoFailure> ReadFileBytes(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Failure(FileIoError::CannotOpen, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        return Failure(FileIoError::CannotOpen, EISDIR);
    std::vector<std::uint8_t> data;
    if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failure(FileIoError::CannotOpen, errno);
        }
        if (n == 0) break;
        data.insert(data.end(), buf, buf + n);
    }
    return data;
}

Result<std::monostate, IoFailure> WriteFileAtomic(const std::string& path,
                                                  std::span<const std::uint8_t> bytes,
                                                  WriteMode mode) {
    if (mode == WriteMode::NoReplace && ::access(path.c_str(), F_OK) == 0)
        return Failure(FileIoError::CannotCreate, EEXIST);
    TempFile temp(path);
    if (temp.fd() < 0) return Failure(FileIoError::CannotCreate, errno);
    if (const int e = WriteAll(temp.fd(), bytes)) return Failure(FileIoError::CannotCreate, e);
    ::fchmod(temp.fd(), 0666 & ~ProcessUmask());  // mkostemp creates 0600
    if (temp.Close() != 0) return Failure(FileIoError::CannotCreate, errno);
    if (mode == WriteMode::Replace) {
        if (::rename(temp.path().c_str(), path.c_str()) != 0)
            return Failure(FileIoError::CannotCreate, errno);
    } else if (const int e = MoveNoReplace(temp.path(), path)) {
        return Failure(FileIoError::CannotCreate, e);
    }
    temp.Release();
    return std::monostate{};
}

std::vector<unsigned char> ReadWholeFile(const std::string& path) {
    auto bytes = ReadFileBytes(path);
    if (!bytes) throw FileError(IoFailureText(bytes.error(), path));
    return std::move(bytes).value();
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    auto written = WriteFileAtomic(path, {p, size}, WriteMode::Replace);
    if (!written) throw FileError(IoFailureText(written.error(), path));
}

}  // namespace gw
