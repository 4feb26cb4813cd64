// Camera raw through LibRaw's C interface. LibRaw reads straight from our buffer, reports
// errors by return codes (its C++ exceptions stay inside it) and is closed by RAII.

#include "imagefile/formats/raw.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "imagefile/limits.h"

namespace gw {
namespace {

bool StartsWith(std::span<const std::uint8_t> d, const char* text, std::size_t offset = 0) {
    const std::size_t n = std::strlen(text);
    return d.size() >= offset + n && std::memcmp(d.data() + offset, text, n) == 0;
}

// Canon CRW, Fuji RAF, Sigma X3F, Minolta MRW, Olympus ORF and Panasonic RW2.
bool ProbeCameraRaw(std::span<const std::uint8_t> d) {
    static constexpr std::uint8_t kMrw[] = {0, 'M', 'R', 'M'};
    static constexpr std::uint8_t kOrf[] = {'I', 'I', 'R', 'O', 8, 0};
    static constexpr std::uint8_t kRw2[] = {'I', 'I', 'U', 0};
    auto bytes = [&d](const std::uint8_t* b, std::size_t n) {
        return d.size() >= n && std::memcmp(d.data(), b, n) == 0;
    };
    return (StartsWith(d, "II") && StartsWith(d, "HEAPCCDR", 6)) || StartsWith(d, "FUJIFILM") ||
           StartsWith(d, "FOVb") || bytes(kMrw, sizeof kMrw) || bytes(kOrf, sizeof kOrf) ||
           StartsWith(d, "IIRS") || StartsWith(d, "MMOR") || bytes(kRw2, sizeof kRw2);
}

struct RawDeleter {
    void operator()(libraw_data_t* r) const { libraw_close(r); }
};
struct ProcessedDeleter {
    void operator()(libraw_processed_image_t* p) const { libraw_dcraw_clear_mem(p); }
};
using RawPtr = std::unique_ptr<libraw_data_t, RawDeleter>;
using ProcessedPtr = std::unique_ptr<libraw_processed_image_t, ProcessedDeleter>;

// LibRaw reports reads past the end of the data here and carries on with what it has.
void CountDataError(void* errors, const char*, const int) {
    ++*static_cast<int*>(errors);
}
void QuietMemoryError(void*, const char*, const char*) {}

// An 8- or 16-bit, 1- or 3-colour bitmap from LibRaw as ie24RGB.
bool FromBitmap(const libraw_processed_image_t& p, RasterImage* out) {
    if (p.type != LIBRAW_IMAGE_BITMAP || (p.colors != 1 && p.colors != 3) ||
        (p.bits != 8 && p.bits != 16) || !ImageSizeAllowed(p.width, p.height))
        return false;
    const std::size_t bytesPerSample = p.bits / 8;
    const std::size_t rowBytes = std::size_t{p.width} * p.colors * bytesPerSample;
    if (p.data_size < rowBytes * p.height) return false;
    if (!out->Allocate(p.width, p.height, PixelFormat::ie24RGB)) return false;
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* src = p.data + rowBytes * static_cast<std::size_t>(y);
        std::uint8_t* dst = out->Row(y);
        for (int x = 0; x < p.width; ++x, dst += 3) {
            std::uint8_t c[3] = {};
            for (int i = 0; i < p.colors; ++i, src += bytesPerSample)
                c[i] = src[0];  // the high byte of a 16-bit sample comes first
            if (p.colors == 1) c[1] = c[2] = c[0];
            dst[0] = c[2], dst[1] = c[1], dst[2] = c[0];
        }
    }
    return true;
}

// A raster whose samples are all alike holds no picture: LibRaw fills what it cannot read, and
// the development scales that fill to a near-white image.
bool RasterHasContent(const libraw_data_t& raw) {
    const libraw_rawdata_t& d = raw.rawdata;
    const libraw_image_sizes_t& s = raw.sizes;
    auto varies = [&](const std::uint16_t* samples, std::size_t perPixel) {
        const std::size_t pitch = s.raw_pitch / sizeof(std::uint16_t);
        const std::size_t count = std::size_t{s.raw_width} * perPixel;
        if (pitch < count) return false;
        for (std::size_t y = 0; y < s.raw_height; ++y) {
            const std::uint16_t* row = samples + y * pitch;
            for (std::size_t i = 0; i < count; ++i)
                if (row[i] != samples[i % perPixel]) return true;
        }
        return false;
    };
    if (d.raw_image) return varies(d.raw_image, 1);
    if (d.color3_image) return varies(&d.color3_image[0][0], 3);
    if (d.color4_image) return varies(&d.color4_image[0][0], 4);
    return true;  // floating-point rasters: LibRaw reports those reads itself
}

// The embedded preview, decoded; false when there is none or it cannot be decoded.
bool ReadThumbnail(libraw_data_t* raw, RasterImage* out) {
    if (libraw_unpack_thumb(raw) != LIBRAW_SUCCESS) return false;
    int error = 0;
    ProcessedPtr thumb(libraw_dcraw_make_mem_thumb(raw, &error));
    if (!thumb || error != LIBRAW_SUCCESS) return false;
    if (thumb->type == LIBRAW_IMAGE_BITMAP) return FromBitmap(*thumb, out);
    ImageHolder jpeg;
    if (kJpegCodec.Read(jpeg, std::span(thumb->data, thumb->data_size), {}) != ImageError::None)
        return false;
    *out = std::move(jpeg.Image);
    return true;
}

ImageError ReadCameraRaw(ImageHolder& holder, std::span<const std::uint8_t> data,
                         const ReadOptions& options) {
    if (data.size() < 16) return ImageError::Truncated;
    RawPtr raw(libraw_init(0));
    if (!raw) return ImageError::Truncated;
    int dataErrors = 0;
    libraw_set_dataerror_handler(raw.get(), CountDataError, &dataErrors);
    libraw_set_memerror_handler(raw.get(), QuietMemoryError, nullptr);
    raw->params.max_raw_memory_mb = static_cast<unsigned>(Limits::kMaxBufferBytes >> 20);
    // LibRaw only reads the buffer, which outlives the handle.
    if (libraw_open_buffer(raw.get(), const_cast<std::uint8_t*>(data.data()), data.size()) !=
        LIBRAW_SUCCESS)
        return ImageError::Damaged;
    const libraw_image_sizes_t& sizes = raw->sizes;
    if (!ImageSizeAllowed(sizes.raw_width, sizes.raw_height) ||
        !ImageSizeAllowed(sizes.width, sizes.height))
        return ImageError::TooLarge;
    int fullWidth = sizes.width, fullHeight = sizes.height;
    if (sizes.flip & 4) std::swap(fullWidth, fullHeight);

    RasterImage image;
    const int hint = options.DisplaySizeHint;
    const libraw_thumbnail_t& thumb = raw->thumbnail;
    const bool useThumb = hint > 0 && std::max(thumb.twidth, thumb.theight) >= hint;
    if (!useThumb || !ReadThumbnail(raw.get(), &image)) {
        raw->params.output_bps = 8;
        raw->params.use_camera_wb = 1;
        raw->params.half_size = hint > 0 && std::max(fullWidth, fullHeight) / 2 >= hint ? 1 : 0;
        dataErrors = 0;
        if (libraw_unpack(raw.get()) != LIBRAW_SUCCESS) return ImageError::Damaged;
        if (dataErrors > 0 || !RasterHasContent(*raw)) return ImageError::Truncated;
        if (libraw_dcraw_process(raw.get()) != LIBRAW_SUCCESS) return ImageError::Damaged;
        int error = 0;
        ProcessedPtr processed(libraw_dcraw_make_mem_image(raw.get(), &error));
        if (!processed || error != LIBRAW_SUCCESS || !FromBitmap(*processed, &image))
            return ImageError::Damaged;
    }

    holder.Image = std::move(image);
    FileParams& p = holder.Params;
    p.ImageWidth = fullWidth;
    p.ImageHeight = fullHeight;
    p.ChannelCount = 3;
    p.BitsPerChannel = 8;
    p.HorizontalDpi = p.VerticalDpi = 300;
    p.Palette.clear();
    p.PaletteCount = 0;
    return ImageError::None;
}

}  // namespace

const FormatCodec kCameraRawCodec{ProbeCameraRaw, ReadCameraRaw, nullptr};

}  // namespace gw
