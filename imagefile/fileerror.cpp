#include "imagefile/fileerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace gw {

FileError CannotCreateFile(const std::string& path, int errnoValue) {
    return FileError("Cannot create file \"" + path + "\". " + std::strerror(errnoValue));
}

FileError CannotOpenFile(const std::string& path, int errnoValue) {
    return FileError("Cannot open file \"" + path + "\". " + std::strerror(errnoValue));
}

std::vector<unsigned char> ReadWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw CannotOpenFile(path, errno);
    std::vector<unsigned char> data;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw CannotOpenFile(path, EISDIR);
    }
    if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
    unsigned char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            throw CannotOpenFile(path, e);
        }
        if (n == 0) break;
        data.insert(data.end(), buf, buf + n);
    }
    ::close(fd);
    return data;
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw CannotCreateFile(path, errno);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            throw CannotCreateFile(path, e);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) throw CannotCreateFile(path, errno);
}

}  // namespace gw
