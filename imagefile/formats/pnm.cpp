// Portable bitmap, graymap and pixmap, plain (P1-P3) and binary (P4-P6), maxval up to 65535.
#include "imagefile/formats/pnm.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/formats/support.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads header and plain-raster tokens: skips white space and "#" comments (kept when asked).
class Tokens {
  public:
    explicit Tokens(ByteReader& r) : r_(r) {}

    void SkipSpace(std::vector<std::string>* comments) {
        while (r_.remaining() > 0) {
            const std::uint8_t c = r_.data()[r_.pos()];
            if (IsSpace(c)) {
                r_.skip(1);
            } else if (c == '#') {
                std::string text;
                while (r_.remaining() > 0) {
                    const std::uint8_t d = r_.u8();
                    if (d == '\n' || d == '\r') break;
                    text.push_back(static_cast<char>(d));
                }
                if (comments) {
                    const std::size_t start = text.find_first_not_of(" \t", 1);
                    comments->push_back(start == std::string::npos ? "" : text.substr(start));
                }
            } else {
                return;
            }
        }
    }

    // A decimal number of at most nine digits; false when there is none.
    bool Number(std::uint32_t& value, std::vector<std::string>* comments = nullptr) {
        SkipSpace(comments);
        value = 0;
        int digits = 0;
        while (r_.remaining() > 0 && std::isdigit(r_.data()[r_.pos()])) {
            if (++digits > 9) return false;
            value = value * 10 + (r_.u8() - '0');
        }
        return digits > 0;
    }

    // One '0' or '1' of a plain bitmap, which need not be separated from the next.
    bool Bit(bool& one) {
        SkipSpace(nullptr);
        if (r_.remaining() == 0) return false;
        const std::uint8_t c = r_.u8();
        if (c != '0' && c != '1') return false;
        one = c == '1';
        return true;
    }

  private:
    ByteReader& r_;
};

struct PnmHeader {
    int type = 0;  // 1..6
    std::uint32_t width = 0, height = 0, maxval = 1;
    std::vector<std::string> comments;
};

bool ParseHeader(ByteReader& r, PnmHeader& h) {
    if (r.u8() != 'P') return false;
    const std::uint8_t digit = r.u8();
    if (!r.ok() || digit < '1' || digit > '6') return false;
    h.type = digit - '0';
    Tokens t(r);
    if (!t.Number(h.width, &h.comments) || !t.Number(h.height, &h.comments)) return false;
    if (h.type != 1 && h.type != 4) {
        if (!t.Number(h.maxval, &h.comments) || h.maxval == 0 || h.maxval > 65535) return false;
    }
    if (h.width == 0 || h.height == 0) return false;
    // Binary rasters start after exactly one white-space character.
    if (h.type >= 4) {
        if (r.remaining() == 0 || !IsSpace(r.data()[r.pos()])) return false;
        r.skip(1);
    }
    return true;
}

bool ProbePnm(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    PnmHeader h;
    return ParseHeader(r, h);
}

ImageError InfoPnm(std::span<const std::uint8_t> data, ImageInfo& info) {
    ByteReader r(data);
    PnmHeader h;
    if (!ParseHeader(r, h) || !ImageSizeAllowed(h.width, h.height)) return ImageError::TooLarge;
    const bool bitmap = h.type == 1 || h.type == 4;
    info.Width = static_cast<int>(h.width);
    info.Height = static_cast<int>(h.height);
    info.ChannelCount = bitmap ? 1 : h.type == 3 || h.type == 6 ? 3 : 1;
    info.BitsPerChannel = bitmap ? 1 : h.maxval > 255 ? 16 : 8;
    return ImageError::None;
}

ImageError ReadPnm(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    ByteReader r(data);
    PnmHeader h;
    if (!ParseHeader(r, h) || !ImageSizeAllowed(h.width, h.height)) return ImageError::TooLarge;
    const bool bitmap = h.type == 1 || h.type == 4;
    const unsigned samples = h.type == 3 || h.type == 6 ? 3 : 1;
    const unsigned sampleBytes = h.maxval > 255 ? 2 : 1;
    const std::uint64_t w = h.width, hgt = h.height;
    const std::uint64_t count = w * hgt * (bitmap ? 1 : samples);

    // Make sure the data can hold the raster before allocating for it.
    std::uint64_t need = 0;
    if (h.type == 4)
        need = (w + 7) / 8 * hgt;
    else if (h.type >= 5)
        need = count * sampleBytes;
    else
        need = h.type == 1 ? count : 2 * count - 1;
    if (r.remaining() < need) return ImageError::Truncated;

    RasterImage image;
    if (!image.Allocate(static_cast<int>(w), static_cast<int>(hgt),
                        bitmap ? PixelFormat::ie1g : PixelFormat::ie24RGB))
        return ImageError::TooLarge;
    Tokens t(r);
    if (bitmap) {
        const std::uint64_t rowBytes = (w + 7) / 8;
        for (std::uint64_t y = 0; y < hgt; ++y) {
            std::uint8_t* dst = image.Row(static_cast<int>(y));
            if (h.type == 4) {
                auto src = r.take(rowBytes);
                // Bit 1 is black in the file and white in the image.
                for (std::uint64_t i = 0; i < rowBytes; ++i)
                    dst[i] = static_cast<std::uint8_t>(~src[static_cast<std::size_t>(i)]);
            } else {
                for (std::uint64_t x = 0; x < w; ++x) {
                    bool black = false;
                    if (!t.Bit(black)) return ImageError::Damaged;
                    if (!black) dst[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
                }
            }
        }
    } else {
        std::uint8_t v[3] = {0, 0, 0};
        for (std::uint64_t y = 0; y < hgt; ++y) {
            std::uint8_t* dst = image.Row(static_cast<int>(y));
            auto row =
                h.type >= 5 ? r.take(w * samples * sampleBytes) : std::span<const std::uint8_t>{};
            for (std::uint64_t x = 0; x < w; ++x, dst += 3) {
                for (unsigned s = 0; s < samples; ++s) {
                    std::uint32_t value = 0;
                    if (h.type >= 5) {
                        const std::size_t at =
                            static_cast<std::size_t>((x * samples + s) * sampleBytes);
                        value = sampleBytes == 2
                                    ? static_cast<std::uint32_t>(row[at] << 8 | row[at + 1])
                                    : row[at];
                    } else if (!t.Number(value)) {
                        return ImageError::Damaged;
                    }
                    v[s] = ScaleToByte(value, h.maxval);
                }
                if (samples == 1) v[1] = v[2] = v[0];
                dst[0] = v[2];
                dst[1] = v[1];
                dst[2] = v[0];
            }
        }
    }

    ClearPaddingBits(image);
    FileParams& p = holder.Params;
    p.ChannelCount = bitmap ? 1 : static_cast<int>(samples);
    p.BitsPerChannel = bitmap ? 1 : h.maxval > 255 ? 16 : 8;
    p.ImageWidth = image.Width();
    p.ImageHeight = image.Height();
    p.HorizontalDpi = p.VerticalDpi = 300;
    p.Palette.clear();
    p.PaletteCount = 0;
    p.Comments = std::move(h.comments);
    holder.Image = std::move(image);
    return ImageError::None;
}

ImageError WriteAuto(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    return WritePnm(holder, out, PnmKind::Auto);
}

// ".pbm", ".pgm" and ".ppm" name the kind of portable file as well as the format.
ImageError WriteForExtension(ImageHolder& holder, std::vector<std::uint8_t>& out,
                             std::string_view extension) {
    return WritePnm(holder, out, PnmKindForExtension("." + std::string(extension)));
}

}  // namespace

PnmKind PnmKindForExtension(std::string_view extension) {
    std::string e(extension);
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (e == ".pbm") return PnmKind::Bitmap;
    if (e == ".pgm") return PnmKind::Graymap;
    if (e == ".ppm") return PnmKind::Pixmap;
    return PnmKind::Auto;
}

ImageError WritePnm(ImageHolder& holder, std::vector<std::uint8_t>& out, PnmKind kind) {
    const RasterImage& image = holder.Image;
    if (image.Empty()) return ImageError::CannotEncode;
    if (kind == PnmKind::Auto) {
        if (image.Format() == PixelFormat::ie1g || holder.Params.BitsPerChannel == 1)
            kind = PnmKind::Bitmap;
        else
            kind = AllPixelsGrey(image) ? PnmKind::Graymap : PnmKind::Pixmap;
    }
    const std::size_t w = static_cast<std::size_t>(image.Width());
    const std::string header = std::string(kind == PnmKind::Bitmap    ? "P4\n"
                                           : kind == PnmKind::Graymap ? "P5\n"
                                                                      : "P6\n") +
                               std::to_string(w) + " " + std::to_string(image.Height()) + "\n" +
                               (kind == PnmKind::Bitmap ? "" : "255\n");
    out.insert(out.end(), header.begin(), header.end());
    if (kind == PnmKind::Bitmap) {
        const std::vector<std::uint8_t> rows = BlackWhiteRows(image);
        const std::size_t rowBytes = (w + 7) / 8;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::uint8_t b = static_cast<std::uint8_t>(~rows[i]);
            if (i % rowBytes == rowBytes - 1 && w % 8)
                b &= static_cast<std::uint8_t>(0xff00 >> (w % 8));
            out.push_back(b);
        }
        return ImageError::None;
    }
    for (int y = 0; y < image.Height(); ++y)
        for (std::size_t x = 0; x < w; ++x) {
            const Rgb c = image.PixelRgb(static_cast<int>(x), y);
            if (kind == PnmKind::Graymap) {
                out.push_back(IsGrey(c) ? c.r : Luminance(c));
            } else {
                out.push_back(c.r);
                out.push_back(c.g);
                out.push_back(c.b);
            }
        }
    return ImageError::None;
}

const FormatCodec kPnmCodec{ProbePnm, ReadPnm, WriteAuto, InfoPnm, WriteForExtension};

}  // namespace gw
