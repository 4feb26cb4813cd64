#include "imagefile/isolate.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "imagefile/bytereader.h"
#include "imagefile/limits.h"

#if defined(__SANITIZE_ADDRESS__)
#define GW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GW_ASAN 1
#endif
#endif

namespace gw {

#ifdef GW_FUZZING

ImageError ReadIsolated(ImageHolder& holder, const IsolatedRead& read, const IsolationLimits&) {
    return read(holder);
}

#else

namespace {

// ---- the message: error code, image, file parameters ----

class Writer {
  public:
    template <class T>
    void Plain(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        out.insert(out.end(), p, p + sizeof v);
    }
    void Bytes(const void* data, std::size_t n) {
        Plain(std::uint64_t{n});
        const auto* p = static_cast<const std::uint8_t*>(data);
        out.insert(out.end(), p, p + n);
    }
    template <class T>
    void List(const std::vector<T>& v) {
        Bytes(v.data(), v.size() * sizeof(T));
    }
    void Text(const std::string& s) { Bytes(s.data(), s.size()); }
    std::vector<std::uint8_t> out;
};

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> data) : r(data) {}
    template <class T>
    void Plain(T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        r.bytes(&v, sizeof v);
    }
    std::span<const std::uint8_t> Bytes() {
        std::uint64_t n = 0;
        Plain(n);
        return r.take(n);
    }
    template <class T>
    void List(std::vector<T>& v) {
        auto s = Bytes();
        v.resize(s.size() / sizeof(T));
        if (!v.empty()) std::memcpy(v.data(), s.data(), v.size() * sizeof(T));
    }
    void Text(std::string& s) {
        auto b = Bytes();
        s.assign(b.begin(), b.end());
    }
    bool ok() const { return r.ok(); }
    ByteReader r;
};

// Every field of FileParams, in one order for both directions.
template <class Io>
void Params(Io& io, FileParams& p) {
    io.Plain(p.BitsPerChannel), io.Plain(p.ChannelCount), io.Plain(p.ImageWidth);
    io.Plain(p.ImageHeight), io.Plain(p.HorizontalDpi), io.Plain(p.VerticalDpi);
    io.List(p.Palette), io.Plain(p.PaletteCount);
    io.Plain(p.ICO_ImageIndex), io.Plain(p.CUR_ImageIndex), io.Plain(p.TIFF_ImageIndex);
    io.Plain(p.GIF_ImageIndex), io.Plain(p.DCX_ImageIndex), io.Plain(p.PSD_ImageIndex);
    io.Plain(p.RAW_ImageIndex), io.Plain(p.Generic_ImageIndex);
    for (auto& [width, height] : p.IconSizeList) io.Plain(width), io.Plain(height);
    io.Plain(p.IconDepthList), io.Plain(p.IconBackground);
    io.Plain(p.CursorBackground), io.Plain(p.CursorHotSpotX), io.Plain(p.CursorHotSpotY);
    io.Plain(p.JPEG_Quality), io.Plain(p.JPEG_ColorSpace), io.Plain(p.JPEG_ChromaH);
    io.Plain(p.JPEG_ChromaV), io.Plain(p.JPEG_DCTMethod), io.Plain(p.JPEG_OptimalHuffman);
    io.Plain(p.JPEG_Smooth), io.Plain(p.JPEG_Progressive);
    io.Plain(p.PNG_Interlaced), io.Plain(p.PNG_Filter), io.Plain(p.PNG_Compression);
    io.Plain(p.PNG_Background);
    io.Plain(p.TIFF_Compression), io.Plain(p.TIFF_Photometric);
    io.Plain(p.BMP_HeaderSize), io.Plain(p.BMP_Compression), io.Plain(p.BMP_StoreAlpha);
    io.Text(p.GIF_Version), io.Plain(p.GIF_Interlaced), io.Plain(p.GIF_Disposal);
    io.Plain(p.GIF_Delay), io.Plain(p.TGA_Compressed), io.Plain(p.PCX_Version), io.Plain(p.PCX_RLE);
    std::uint64_t comments = p.Comments.size();
    io.Plain(comments);
    if constexpr (std::is_same_v<Io, Reader>)
        p.Comments.resize(std::min<std::uint64_t>(comments, io.r.remaining() / 8));
    for (std::string& c : p.Comments) io.Text(c);
    io.Plain(p.FileType), io.Text(p.FileName);
}

std::vector<std::uint8_t> Encode(ImageError error, ImageHolder& holder) {
    Writer w;
    w.Plain(error);
    const RasterImage& image = holder.Image;
    w.Plain(image.Width()), w.Plain(image.Height()), w.Plain(image.Format());
    w.List(image.Pixels()), w.List(image.Palette()), w.List(image.Alpha());
    Params(w, holder.Params);
    return std::move(w.out);
}

ImageError Decode(std::span<const std::uint8_t> message, ImageHolder& holder) {
    Reader r(message);
    ImageError error = ImageError::DecoderCrashed;
    r.Plain(error);
    int width = 0, height = 0;
    PixelFormat format = PixelFormat::ie24RGB;
    r.Plain(width), r.Plain(height), r.Plain(format);
    RasterImage image;
    if (width > 0 && height > 0) {
        if (!image.Allocate(width, height, format)) return ImageError::DecoderCrashed;
        auto pixels = r.Bytes();
        if (pixels.size() != image.Pixels().size()) return ImageError::DecoderCrashed;
        std::memcpy(image.Pixels().data(), pixels.data(), pixels.size());
        r.List(image.Palette());
        auto alpha = r.Bytes();
        if (!alpha.empty()) {
            image.AddAlpha();
            if (alpha.size() != image.Alpha().size()) return ImageError::DecoderCrashed;
            std::memcpy(image.Alpha().data(), alpha.data(), alpha.size());
        }
    } else {
        for (int part = 0; part < 3; ++part) r.Bytes();  // empty pixels, palette and alpha
    }
    FileParams params = holder.Params;
    Params(r, params);
    if (!r.ok()) return ImageError::DecoderCrashed;
    holder.Image = std::move(image);
    holder.Params = std::move(params);
    return error;
}

// ---- the child ----

bool WriteAll(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t k = ::write(fd, data, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        data += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

// The address space the process maps now, from /proc/self/statm.
std::uint64_t MappedBytes() {
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[64] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    std::uint64_t pages = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        pages = pages * 10 + static_cast<std::uint64_t>(text[i] - '0');
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

[[noreturn]] void RunChild(int fd, ImageHolder& holder, const IsolatedRead& read,
                           const IsolationLimits& limits) {
#ifndef GW_ASAN
    // On top of what the process already maps; the sanitizer's shadow memory needs far more
    // address space than any limit allows.
    const rlim_t memory = MappedBytes() + limits.MemoryBytes;
    const rlimit as{memory, memory};
    ::setrlimit(RLIMIT_AS, &as);
#endif
    const rlimit cpu{limits.CpuSeconds, limits.CpuSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    const rlimit core{0, 0};
    ::setrlimit(RLIMIT_CORE, &core);
    ::alarm(limits.WallSeconds);
    ImageError error = ImageError::OutOfMemory;
    std::vector<std::uint8_t> message;
    try {
        error = read(holder);
        message = Encode(error, holder);
    } catch (...) {
        ::_exit(3);
    }
    const std::uint64_t size = message.size();
    const bool sent = WriteAll(fd, reinterpret_cast<const std::uint8_t*>(&size), sizeof size) &&
                      WriteAll(fd, message.data(), message.size());
    ::_exit(sent ? 0 : 2);
}

// ---- the parent ----

// Reads the child's message until it ends or the deadline passes; false on either failure.
bool ReadMessage(int fd, std::chrono::steady_clock::time_point deadline,
                 std::vector<std::uint8_t>& message) {
    std::uint64_t size = 0;
    std::size_t have = 0;
    bool sized = false;
    std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if (ready == 0) continue;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return sized && have == size;
        std::size_t used = 0;
        while (!sized && used < static_cast<std::size_t>(n)) {
            reinterpret_cast<std::uint8_t*>(&size)[have++] = buffer[used++];
            if (have == sizeof size) {
                // The picture, its alpha plane and the parameters stay within the image limits.
                if (size > 6 * Limits::kMaxImagePixels + (std::uint64_t{1} << 20)) return false;
                sized = true;
                have = 0;
                message.reserve(static_cast<std::size_t>(size));
            }
        }
        const std::size_t rest = static_cast<std::size_t>(n) - used;
        if (have + rest > size) return false;
        message.insert(message.end(), buffer.begin() + static_cast<std::ptrdiff_t>(used),
                       buffer.begin() + n);
        have += rest;
    }
}

}  // namespace

ImageError ReadIsolated(ImageHolder& holder, const IsolatedRead& read,
                        const IsolationLimits& limits) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return ImageError::OutOfMemory;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return ImageError::OutOfMemory;
    }
    if (child == 0) {
        ::close(fds[0]);
        RunChild(fds[1], holder, read, limits);
    }
    ::close(fds[1]);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(limits.WallSeconds + 1);
    std::vector<std::uint8_t> message;
    const bool received = ReadMessage(fds[0], deadline, message);
    ::close(fds[0]);
    if (!received) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return ImageError::DecoderCrashed;
    return Decode(message, holder);
}

#endif

}  // namespace gw
