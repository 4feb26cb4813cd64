#include "catalogue/mappedfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

namespace gw {

bool MappedFile::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0;
    if (ok && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[size]);
        ok = data != nullptr;
        std::size_t done = 0;
        while (ok && done < size) {
            const ssize_t n = ::pread(fd, data.get() + done, size - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;  // the file ended early: it was cut meanwhile
            done += static_cast<std::size_t>(n);
        }
        if (ok) {
            data_ = std::move(data);
            size_ = done;
        }
    }
    ::close(fd);
    open_ = ok;
    return ok;
}

void MappedFile::Close() {
    data_.reset();
    size_ = 0;
    open_ = false;
}

}  // namespace gw
