// GIF through giflib: the reader takes one frame (the first by default) with its
// transparency; the writer writes one GIF89a frame with a global colour table.

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

#include "imagefile/formats/codec.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

// Rows of an interlaced frame come in four passes: start row and step of each.
constexpr int kPassStart[4] = {0, 4, 2, 1};
constexpr int kPassStep[4] = {8, 8, 4, 2};

bool ProbeGif(std::span<const std::uint8_t> data) {
    return data.size() >= 3 && std::memcmp(data.data(), "GIF", 3) == 0;
}

// ---- reading ----

struct GifSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

int GifReadFn(GifFileType* gif, GifByteType* out, int n) {
    auto* src = static_cast<GifSource*>(gif->UserData);
    if (n <= 0) return 0;
    std::size_t count = std::min(static_cast<std::size_t>(n), src->size - src->pos);
    std::memcpy(out, src->data + src->pos, count);
    src->pos += count;
    return static_cast<int>(count);
}

class GifDecoder {
  public:
    explicit GifDecoder(GifSource* src) {
        int error = 0;
        gif_ = DGifOpen(src, GifReadFn, &error);
    }
    ~GifDecoder() {
        int error = 0;
        if (gif_) DGifCloseFile(gif_, &error);
    }
    GifDecoder(const GifDecoder&) = delete;
    GifDecoder& operator=(const GifDecoder&) = delete;
    GifFileType* get() const { return gif_; }

  private:
    GifFileType* gif_ = nullptr;
};

bool SkipExtensionBlocks(GifFileType* gif, GifByteType* block) {
    while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

bool SkipImageData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

std::vector<Rgb> MapColours(const ColorMapObject* map) {
    std::vector<Rgb> colours;
    if (!map || !map->Colors || map->ColorCount <= 0) {
        // No table at all: a grey ramp keeps the picture visible.
        for (int i = 0; i < 256; ++i) {
            auto v = static_cast<std::uint8_t>(i);
            colours.push_back({v, v, v});
        }
        return colours;
    }
    for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
        colours.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
    return colours;
}

bool IsBlackWhite(const std::vector<Rgb>& c) {
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    return c.size() == 2 && ((c[0] == black && c[1] == white) || (c[0] == white && c[1] == black));
}

struct Frame {
    int left, top, width, height;
    bool interlaced;
    GraphicsControlBlock control;
    std::vector<Rgb> colours;
    int bits;
};

// Decodes the current frame's indices into rows of frame.width bytes.
bool DecodeFrameIndices(GifFileType* gif, const Frame& f, std::vector<std::uint8_t>& indices) {
    indices.assign(static_cast<std::size_t>(f.width) * f.height, 0);
    auto line = [&](int y) {
        return DGifGetLine(gif, indices.data() + static_cast<std::size_t>(y) * f.width, f.width) !=
               GIF_ERROR;
    };
    if (f.interlaced) {
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kPassStart[pass]; y < f.height; y += kPassStep[pass])
                if (!line(y)) return false;
    } else {
        for (int y = 0; y < f.height; ++y)
            if (!line(y)) return false;
    }
    return true;
}

ImageError ReadGif(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    if (!ProbeGif(data) || data.size() < 13) return ImageError::Truncated;
    GifSource src{data.data(), data.size(), 0};
    GifDecoder decoder(&src);
    GifFileType* gif = decoder.get();
    if (!gif) return ImageError::Damaged;

    const int target = holder.Params.GIF_ImageIndex;
    if (target < 0) return ImageError::Damaged;
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    int frameNumber = 0;
    for (std::uint64_t records = 0; records < Limits::kMaxEntries * 4; ++records) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return ImageError::TooLarge;
        if (type == TERMINATE_RECORD_TYPE) return ImageError::TooLarge;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return ImageError::Damaged;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                DGifExtensionToGCB(4, block + 1, &control);
            if (!SkipExtensionBlocks(gif, block)) return ImageError::Damaged;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return ImageError::Damaged;
        if (frameNumber++ != target) {
            if (!SkipImageData(gif)) return ImageError::Damaged;
            control = {DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
            continue;
        }

        const GifImageDesc& desc = gif->Image;
        Frame f{desc.Left, desc.Top, desc.Width, desc.Height, desc.Interlace != 0, control, {}, 8};
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        f.colours = MapColours(map);
        f.bits = map ? std::clamp(map->BitsPerPixel, 1, 8) : 8;
        if (!ImageSizeAllowed(f.width, f.height)) return ImageError::TooLarge;
        const std::int64_t canvasW = std::max<std::int64_t>(gif->SWidth, f.left + f.width);
        const std::int64_t canvasH = std::max<std::int64_t>(gif->SHeight, f.top + f.height);
        if (!ImageSizeAllowed(canvasW, canvasH)) return ImageError::TooLarge;
        // The frame's data must be able to fill the frame, and a large screen as well.
        const std::uint64_t rest = src.size - std::min(src.pos, src.size);
        if (!DataCanFill(f.width, f.height, rest, MaxRatio::kLzw) ||
            !DataCanFill(canvasW, canvasH, rest, MaxRatio::kLzw))
            return ImageError::Damaged;

        std::vector<std::uint8_t> indices;
        if (!DecodeFrameIndices(gif, f, indices)) return ImageError::TooLarge;

        const int transparent = control.TransparentColor;
        const bool hasTransparency = transparent >= 0;
        const bool covers = f.left == 0 && f.top == 0 && f.width == canvasW && f.height == canvasH;
        const bool blackWhite = !hasTransparency && IsBlackWhite(f.colours) && covers;
        RasterImage image;
        if (!image.Allocate(static_cast<int>(canvasW), static_cast<int>(canvasH),
                            blackWhite ? PixelFormat::ie1g : PixelFormat::ie24RGB))
            return ImageError::TooLarge;
        const Rgb background =
            gif->SColorMap && gif->SBackGroundColor < static_cast<int>(f.colours.size())
                ? f.colours[gif->SBackGroundColor]
                : Rgb{};
        if (hasTransparency) image.AddAlpha(0);
        for (int y = 0; y < image.Height(); ++y) {
            for (int x = 0; x < image.Width(); ++x) {
                const int fx = x - f.left, fy = y - f.top;
                if (fx < 0 || fy < 0 || fx >= f.width || fy >= f.height) {
                    if (!blackWhite) image.SetPixelRgb(x, y, background);
                    continue;
                }
                const std::uint8_t i = indices[static_cast<std::size_t>(fy) * f.width + fx];
                const Rgb c = i < f.colours.size() ? f.colours[i] : Rgb{};
                if (blackWhite) {
                    if (c.r == 255)
                        image.Row(y)[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
                    continue;
                }
                image.SetPixelRgb(x, y, c);
                if (hasTransparency && i != transparent) image.AlphaRow(y)[x] = 255;
            }
        }

        FileParams& p = holder.Params;
        p.ImageWidth = image.Width();
        p.ImageHeight = image.Height();
        p.BitsPerChannel = f.bits;
        p.ChannelCount = 1;
        p.Palette = map ? f.colours : std::vector<Rgb>{};
        p.PaletteCount = static_cast<int>(p.Palette.size());
        p.HorizontalDpi = p.VerticalDpi = 300;
        p.GIF_Version.assign(reinterpret_cast<const char*>(data.data()), 6);
        p.GIF_Interlaced = f.interlaced;
        p.GIF_Disposal = control.DisposalMode;
        p.GIF_Delay = control.DelayTime;
        holder.Image = std::move(image);
        return ImageError::None;
    }
    return ImageError::Damaged;
}

// The first frame's descriptor and colour table give the picture; later frames are skipped
// (their data is not decoded) only to count them.
ImageError InfoGif(std::span<const std::uint8_t> data, ImageInfo& info) {
    if (!ProbeGif(data) || data.size() < 13) return ImageError::Truncated;
    GifSource src{data.data(), data.size(), 0};
    GifDecoder decoder(&src);
    GifFileType* gif = decoder.get();
    if (!gif) return ImageError::Damaged;
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    int frames = 0;
    for (std::uint64_t records = 0; records < Limits::kMaxEntries * 4; ++records) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR || type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) break;
            if (frames == 0 && code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                DGifExtensionToGCB(4, block + 1, &control);
            if (!SkipExtensionBlocks(gif, block)) break;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) break;
        if (frames++ == 0) {
            const GifImageDesc& desc = gif->Image;
            const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
            if (!ImageSizeAllowed(desc.Width, desc.Height)) return ImageError::TooLarge;
            const std::int64_t canvasW =
                std::max<std::int64_t>(gif->SWidth, desc.Left + desc.Width);
            const std::int64_t canvasH =
                std::max<std::int64_t>(gif->SHeight, desc.Top + desc.Height);
            if (!ImageSizeAllowed(canvasW, canvasH)) return ImageError::TooLarge;
            info.Width = static_cast<int>(canvasW);
            info.Height = static_cast<int>(canvasH);
            info.BitsPerChannel = map ? std::clamp(map->BitsPerPixel, 1, 8) : 8;
            info.ChannelCount = 1;
            info.HasAlpha = control.TransparentColor >= 0;
        }
        if (!SkipImageData(gif)) break;
    }
    if (frames == 0) return ImageError::Damaged;
    info.ImageCount = frames;
    return ImageError::None;
}

// ---- writing ----

int GifWriteFn(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    try {
        out->insert(out->end(), data, data + n);
    } catch (...) {
        return 0;
    }
    return n;
}

class GifEncoder {
  public:
    explicit GifEncoder(std::vector<std::uint8_t>* out) {
        int error = 0;
        gif_ = EGifOpen(out, GifWriteFn, &error);
    }
    ~GifEncoder() { Close(); }
    GifEncoder(const GifEncoder&) = delete;
    GifEncoder& operator=(const GifEncoder&) = delete;
    GifFileType* get() const { return gif_; }
    // Writes the trailer; false when that fails.
    bool Close() {
        int error = 0;
        bool ok = !gif_ || EGifCloseFile(gif_, &error) == GIF_OK;
        gif_ = nullptr;
        return ok;
    }

  private:
    GifFileType* gif_ = nullptr;
};

class GifColourMap {
  public:
    explicit GifColourMap(const std::vector<Rgb>& colours, int bits) {
        map_ = GifMakeMapObject(1 << bits, nullptr);
        if (!map_) return;
        for (int i = 0; i < map_->ColorCount; ++i) {
            Rgb c = i < static_cast<int>(colours.size()) ? colours[i] : Rgb{};
            map_->Colors[i] = {c.r, c.g, c.b};
        }
    }
    ~GifColourMap() { GifFreeMapObject(map_); }
    GifColourMap(const GifColourMap&) = delete;
    GifColourMap& operator=(const GifColourMap&) = delete;
    ColorMapObject* get() const { return map_; }

  private:
    ColorMapObject* map_ = nullptr;
};

ImageError WriteGif(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    const RasterImage& image = holder.Image;
    if (image.Empty() || image.Width() > 65535 || image.Height() > 65535)
        return ImageError::CannotEncode;
    const FileParams& p = holder.Params;
    const bool alpha = image.HasAlpha();
    const int declaredBits =
        image.Format() == PixelFormat::ie1g ? 1 : std::clamp(p.BitsPerChannel, 1, 8);
    const int colours = (1 << declaredBits) - (alpha ? 1 : 0);
    IndexedImage indexed;
    if (!BuildIndexedImage(image, colours, alpha ? TransparentSlot::Last : TransparentSlot::None,
                           Rgb{}, &indexed))
        return ImageError::CannotEncode;
    const int bits = PaletteBitsFor(indexed.Palette.size(), declaredBits);
    GifColourMap map(indexed.Palette, bits);
    if (!map.get()) return ImageError::CannotEncode;

    std::vector<std::uint8_t> encoded;
    GifEncoder encoder(&encoded);
    GifFileType* gif = encoder.get();
    if (!gif) return ImageError::CannotEncode;
    EGifSetGifVersion(gif, true);
    const int w = image.Width(), h = image.Height();
    if (EGifPutScreenDesc(gif, w, h, bits, 0, map.get()) == GIF_ERROR)
        return ImageError::CannotEncode;
    GraphicsControlBlock control{std::clamp(p.GIF_Disposal, 0, 7), false,
                                 std::clamp(p.GIF_Delay, 0, 65535),
                                 alpha ? indexed.TransparentIndex : NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR)
        return ImageError::CannotEncode;
    if (EGifPutImageDesc(gif, 0, 0, w, h, p.GIF_Interlaced, nullptr) == GIF_ERROR)
        return ImageError::CannotEncode;
    auto line = [&](int y) {
        auto* row =
            const_cast<GifPixelType*>(indexed.Indices.data() + static_cast<std::size_t>(y) * w);
        return EGifPutLine(gif, row, w) != GIF_ERROR;
    };
    if (p.GIF_Interlaced) {
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kPassStart[pass]; y < h; y += kPassStep[pass])
                if (!line(y)) return ImageError::CannotEncode;
    } else {
        for (int y = 0; y < h; ++y)
            if (!line(y)) return ImageError::CannotEncode;
    }
    if (!encoder.Close()) return ImageError::CannotEncode;
    out.insert(out.end(), encoded.begin(), encoded.end());
    return ImageError::None;
}

}  // namespace

const FormatCodec kGifCodec{ProbeGif, ReadGif, WriteGif, InfoGif};

}  // namespace gw
