#include "catalogue/iconsource.h"

#include <algorithm>
#include <cstring>

#include "base/paths.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/png.h"
#include "imagefile/ico/reader.h"
#include "imagefile/ops/resample.h"

namespace gw {
namespace {

std::size_t PaddedRow(std::uint64_t width, int bits) {
    return static_cast<std::size_t>((width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4);
}

std::uint8_t SizeByte(int side) {
    return static_cast<std::uint8_t>(side >= 256 ? 0 : side);
}

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

// Header and full directory of an icon file (type 1) inside the bytes.
bool IsIconDirectory(std::span<const std::uint8_t> bytes) {
    ByteReader r(bytes);
    const std::uint16_t reserved = r.u16le(), type = r.u16le(), count = r.u16le();
    return r.ok() && reserved == 0 && type == 1 && count > 0 && r.has(6, 16 * std::uint64_t{count});
}

// Colour scaled by alpha, so that resampling does not bleed the colour of transparent pixels.
void Premultiply(RasterImage& image) {
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* p = image.Row(y);
        const std::uint8_t* a = image.AlphaRow(y);
        for (int x = 0; x < image.Width(); ++x, p += 3)
            for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>((p[c] * a[x] + 127) / 255);
    }
}

void Unpremultiply(RasterImage& image) {
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* p = image.Row(y);
        const std::uint8_t* a = image.AlphaRow(y);
        for (int x = 0; x < image.Width(); ++x, p += 3)
            for (int c = 0; c < 3; ++c)
                p[c] =
                    a[x] == 0
                        ? 0
                        : static_cast<std::uint8_t>(std::min(255, (p[c] * 255 + a[x] / 2) / a[x]));
    }
}

// Scales an ie24RGB image, with or without alpha, to width × height.
bool Scale(RasterImage& image, int width, int height) {
    if (image.Width() == width && image.Height() == height) return true;
    if (image.Width() == 1 && image.Height() == 1) {
        // The resampling kernels need two samples; one pixel simply fills the result.
        const Rgb c = image.PixelRgb(0, 0);
        const bool alpha = image.HasAlpha();
        const std::uint8_t a = alpha ? image.Alpha()[0] : 255;
        if (!image.Allocate(width, height, PixelFormat::ie24RGB)) return false;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) image.SetPixelRgb(x, y, c);
        if (alpha) image.AddAlpha(a);
        return true;
    }
    ImageHolder holder;
    holder.Image = std::move(image);
    const bool alpha = holder.Image.HasAlpha();
    if (alpha) Premultiply(holder.Image);
    // Hermite: a smooth, non-negative kernel (no ringing, so premultiplied colour never exceeds
    // its alpha), the same filter export resizes with.
    ResampleImage(holder, width, height, ResampleFilter::rfHermite);
    image = std::move(holder.Image);
    if (image.Width() != width || image.Height() != height ||
        image.Format() != PixelFormat::ie24RGB || image.HasAlpha() != alpha)
        return false;
    if (alpha) Unpremultiply(image);
    return true;
}

// Runs the icon reader on a one-image container built around the image bytes.
bool Decode(const IconCandidate& c, RasterImage& image) {
    std::vector<std::uint8_t> ico(22 + c.Data.size(), 0);
    std::uint8_t* p = ico.data();
    Put16(p + 2, 1);
    Put16(p + 4, 1);
    p[6] = SizeByte(c.Info.Width);
    p[7] = SizeByte(c.Info.Height);
    p[8] = c.ColourCount;
    Put16(p + 10, 1);
    Put16(p + 12, static_cast<std::uint32_t>(c.Info.BitCount));
    Put32(p + 14, static_cast<std::uint32_t>(c.Data.size()));
    Put32(p + 18, 22);
    std::memcpy(p + 22, c.Data.data(), c.Data.size());

    ByteReader reader(ico);
    FileParams params;
    params.ICO_ImageIndex = 0;
    image.Clear();
    if (ReadIconImage(reader, image, params) != ImageError::None || image.Empty() ||
        image.Width() > Limits::kMaxIconImageSide || image.Height() > Limits::kMaxIconImageSide)
        return false;
    if (image.Format() != PixelFormat::ie24RGB) image = image.ToRgb24();
    if (image.HasAlpha() && image.AlphaAllOpaque()) image.RemoveAlpha();
    return !image.Empty();
}

}  // namespace

bool IsIconSourceFile(std::string_view path) {
    const std::string ext = LowerExtension(std::string(path));
    return std::find(IconFileExtensions.begin(), IconFileExtensions.end(), ext) !=
           IconFileExtensions.end();
}

const char* IconSourceErrorText(IconSourceError error) {
    switch (error) {
        case IconSourceError::None:
            return "No error";
        case IconSourceError::CannotOpenFile:
            return "The file cannot be opened";
        case IconSourceError::NotIconSource:
            return "The file is neither an executable nor an icon file";
        case IconSourceError::IndexOutOfRange:
            return "The file has no icon with that number";
        case IconSourceError::SizeNotSupported:
            return "Icons cannot be rendered at that size";
        case IconSourceError::IconUnreadable:
            return "The icon's images are missing or damaged";
    }
    return "Unknown error";
}

bool ProbeIconImage(std::span<const std::uint8_t> data, IconImageInfo& info) {
    info = {};
    ByteReader r(data);
    if (data.size() >= 33 && StartsWithPngSignature(data)) {
        r.seek(8);
        const std::uint32_t length = r.u32be();
        auto type = r.take(4);
        const std::uint32_t w = r.u32be(), h = r.u32be();
        const std::uint8_t depth = r.u8(), colourType = r.u8();
        if (!r.ok() || length != 13 || std::memcmp(type.data(), "IHDR", 4) != 0) return false;
        int channels = 0;
        switch (colourType) {
            case 0:
            case 3:
                channels = 1;
                break;
            case 2:
                channels = 3;
                break;
            case 4:
                channels = 2;
                break;
            case 6:
                channels = 4;
                break;
            default:
                return false;
        }
        if (w == 0 || h == 0 || w > Limits::kMaxIconImageSide || h > Limits::kMaxIconImageSide)
            return false;
        info = {static_cast<int>(w), static_cast<int>(h), depth * channels, true};
        return true;
    }

    const std::uint32_t headerSize = r.u32le();
    const std::int32_t w = r.i32le(), doubled = r.i32le();
    r.u16le();  // planes
    const std::uint16_t bits = r.u16le();
    const std::uint32_t compression = r.u32le();
    if (!r.ok() || headerSize != 40 || compression != 0) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
    const std::int32_t h = doubled / 2;
    if (w <= 0 || h <= 0 || w > Limits::kMaxIconImageSide || h > Limits::kMaxIconImageSide)
        return false;
    // Colour table and colour rows must all be there; palette images need their mask as well.
    std::uint64_t need = 40 + (bits <= 8 ? 4u << bits : 0) + PaddedRow(w, bits) * std::uint64_t(h);
    if (bits <= 8) need += PaddedRow(w, 1) * std::uint64_t(h);
    if (data.size() < need) return false;
    info = {w, h, bits, false};
    return true;
}

void RankIconCandidates(std::vector<IconCandidate>& candidates, int width, int height) {
    auto fit = [&](const IconImageInfo& i) {
        if (i.Width == width && i.Height == height) return 0;
        return i.Width >= width && i.Height >= height ? 1 : 2;
    };
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](const IconCandidate& a, const IconCandidate& b) {
                         const int fa = fit(a.Info), fb = fit(b.Info);
                         if (fa != fb) return fa < fb;
                         const std::int64_t areaA = std::int64_t{a.Info.Width} * a.Info.Height;
                         const std::int64_t areaB = std::int64_t{b.Info.Width} * b.Info.Height;
                         if (areaA != areaB) return fa == 1 ? areaA < areaB : areaA > areaB;
                         return a.Info.BitCount > b.Info.BitCount;
                     });
}

std::size_t WriteIconStream(const RasterImage& image, std::vector<std::uint8_t>& stream) {
    const int w = image.Width(), h = image.Height();
    if (w < 1 || h < 1 || w > kMaxRenderSize || h > kMaxRenderSize) return 0;
    const std::size_t colourBytes = std::size_t(w) * h * 4;
    const std::size_t maskRow = PaddedRow(w, 1);
    const std::size_t dataSize = 40 + colourBytes + maskRow * h;
    const std::size_t total = 22 + dataSize;
    if (stream.size() < total) stream.resize(total);
    std::uint8_t* p = stream.data();

    Put16(p, 0);
    Put16(p + 2, 1);
    Put16(p + 4, 1);
    p[6] = SizeByte(w);
    p[7] = SizeByte(h);
    Put16(p + 8, 32);  // bits per pixel in place of colour count and reserved byte
    Put16(p + 10, 0);
    Put16(p + 12, 0);
    Put32(p + 14, static_cast<std::uint32_t>(dataSize));
    Put32(p + 18, 22);

    std::uint8_t* bih = p + 22;
    std::memset(bih, 0, 40);
    Put32(bih, 40);
    Put32(bih + 4, static_cast<std::uint32_t>(w));
    Put32(bih + 8, static_cast<std::uint32_t>(2 * h));
    Put16(bih + 12, 1);
    Put16(bih + 14, 32);
    Put32(bih + 20, static_cast<std::uint32_t>(colourBytes));

    std::uint8_t* colour = bih + 40;
    std::uint8_t* mask = colour + colourBytes;
    std::memset(mask, 0, maskRow * h);
    const bool alpha = image.HasAlpha();
    for (int y = 0; y < h; ++y) {
        const int stored = h - 1 - y;  // rows bottom-up
        std::uint8_t* out = colour + std::size_t(stored) * w * 4;
        std::uint8_t* maskOut = mask + std::size_t(stored) * maskRow;
        for (int x = 0; x < w; ++x, out += 4) {
            const Rgb c = image.PixelRgb(x, y);
            const std::uint8_t a = alpha ? image.AlphaRow(y)[x] : 255;
            out[0] = c.b;
            out[1] = c.g;
            out[2] = c.r;
            out[3] = a;
            if (a == 0) maskOut[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
    }
    return total;
}

IconSourceError IconSource::Open(const std::string& path) {
    Close();
    if (!file_.Open(path)) return IconSourceError::CannotOpenFile;
    const auto bytes = file_.Bytes();
    static constexpr std::uint16_t kTypes[] = {kRtGroupIcon, kRtIcon};
    const ResourceError error = resources_.Read(bytes, kTypes);
    if (error == ResourceError::None || error == ResourceError::NoResources) {
        kind_ = Kind::Executable;
        count_ = static_cast<int>(resources_.OfType(kRtGroupIcon).size());
        return IconSourceError::None;
    }
    if (error == ResourceError::NotExecutable && IsIconDirectory(bytes)) {
        kind_ = Kind::IconFile;
        count_ = 1;
        return IconSourceError::None;
    }
    Close();
    return IconSourceError::NotIconSource;
}

void IconSource::Close() {
    file_.Close();
    resources_ = ResourceTable();
    kind_ = Kind::None;
    count_ = 0;
    last_ = Rendered();
}

std::vector<IconCandidate> IconSource::Candidates(int index) const {
    std::vector<IconCandidate> out;
    IconCandidate c;
    const auto bytes = file_.Bytes();
    if (kind_ == Kind::IconFile) {
        ByteReader r(bytes);
        r.seek(4);
        const std::uint32_t count = std::min<std::uint32_t>(r.u16le(), kMaxImagesPerIcon);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t e = 6 + 16 * std::uint64_t{i};
            r.seek(e + 2);
            c.ColourCount = r.u8();
            r.seek(e + 8);
            const std::uint32_t size = r.u32le(), offset = r.u32le();
            if (!r.ok()) break;
            c.Data = ClampedSpan(bytes, offset, size);
            if (ProbeIconImage(c.Data, c.Info)) out.push_back(c);
        }
        return out;
    }
    const Resource& group = resources_.OfType(kRtGroupIcon)[static_cast<std::size_t>(index)];
    ByteReader r(group.Data);
    const std::uint16_t reserved = r.u16le(), type = r.u16le();
    const std::uint32_t count = std::min<std::uint32_t>(r.u16le(), kMaxImagesPerIcon);
    if (!r.ok() || reserved != 0 || type != 1) return out;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t e = 6 + 14 * std::uint64_t{i};
        if (!r.has(e, 14)) break;
        r.seek(e + 2);
        c.ColourCount = r.u8();
        r.seek(e + 12);
        const Resource* icon = resources_.Find(kRtIcon, r.u16le());
        if (!icon) continue;
        c.Data = icon->Data;
        if (ProbeIconImage(c.Data, c.Info)) out.push_back(c);
    }
    return out;
}

bool IconSource::Render(const IconCandidate& c, int width, int height, RasterImage& image) {
    if (last_.Data == c.Data.data() && last_.Size == c.Data.size() && last_.Width == width &&
        last_.Height == height && !last_.Image.Empty()) {
        image = last_.Image;
        return true;
    }
    if (!Decode(c, image) || !Scale(image, width, height)) return false;
    last_ = {c.Data.data(), c.Data.size(), width, height, image};
    return true;
}

bool IconSource::ExtractImage(int index, int width, int height, RasterImage& image,
                              IconSourceError* error) {
    auto fail = [&](IconSourceError e) {
        if (error) *error = e;
        return false;
    };
    if (index < 0 || index >= count_) return fail(IconSourceError::IndexOutOfRange);
    if (width < 1 || height < 1 || width > kMaxImageRenderSize || height > kMaxImageRenderSize)
        return fail(IconSourceError::SizeNotSupported);
    std::vector<IconCandidate> candidates = Candidates(index);
    RankIconCandidates(candidates, width, height);
    // A damaged best image gives way to the next best one.
    for (const IconCandidate& c : candidates)
        if (Render(c, width, height, image)) {
            if (error) *error = IconSourceError::None;
            return true;
        }
    image.Clear();
    return fail(IconSourceError::IconUnreadable);
}

bool IconSource::Extract(int index, int width, int height, std::vector<std::uint8_t>& stream,
                         IconSourceError* error) {
    // The stream's size bytes hold at most 256.
    if (width > kMaxRenderSize || height > kMaxRenderSize) {
        if (error) *error = IconSourceError::SizeNotSupported;
        return false;
    }
    RasterImage image;
    if (!ExtractImage(index, width, height, image, error)) return false;
    return WriteIconStream(image, stream) != 0;
}

int CountIcons(const std::string& path) {
    IconSource source;
    source.Open(path);
    return source.Count();
}

bool ExtractIconImage(const std::string& path, int iconIndex, int width, int height,
                      std::vector<std::uint8_t>& stream) {
    IconSource source;
    if (source.Open(path) != IconSourceError::None) return false;
    return source.Extract(iconIndex, width, height, stream);
}

}  // namespace gw
