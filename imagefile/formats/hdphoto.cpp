// HD Photo through jxrlib. The library works on a WMPStream; ours reads our bytes
// (past the end it reads zeros, never stale memory) and writes into a growing vector.
// Its container directory is checked here first, so that declared sizes and offsets are
// bounded before the library sees them.

#include "imagefile/formats/hdphoto.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "imagefile/bytereader.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/limits.h"

// After the standard headers: jxrlib defines min and max as macros.
#include <JXRGlue.h>
#undef min
#undef max

namespace gw {
namespace {

bool ProbeHdPhoto(std::span<const std::uint8_t> d) {
    return d.size() > 3 && d[0] == 'I' && d[1] == 'I' && d[2] == 0xBC && d[3] <= 1;
}

// ---- the container's directory ----

constexpr unsigned kTagWidth = 0xBC80, kTagHeight = 0xBC81;
constexpr unsigned kTagImageOffset = 0xBCC0, kTagImageBytes = 0xBCC1;
constexpr unsigned kTagAlphaOffset = 0xBCC2;
constexpr unsigned kTagTransformation = 0xBC02;
constexpr std::uint64_t kTransformations = 8;  // jxrlib asserts on anything else

// Width and height declared by the first directory within the limits, the image data inside
// the file and the alpha plane starting inside it; false otherwise.
bool ContainerAllowed(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    r.skip(4);
    const std::uint32_t ifd = r.u32le();
    if (!r.ok() || !r.seek(ifd)) return false;
    const unsigned count = r.u16le();
    if (!r.ok() || count == 0 || !r.has(r.pos(), std::uint64_t{count} * 12)) return false;
    std::uint64_t width = 0, height = 0, imageAt = 0, imageBytes = 0, alphaAt = 0;
    bool alpha = false;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned tag = r.u16le(), type = r.u16le();
        r.u32le();  // count
        const std::uint32_t raw = r.u32le();
        const std::uint64_t value = type == 3 ? (raw & 0xFFFF) : raw;  // SHORT or LONG
        switch (tag) {
            case kTagWidth:
                width = value;
                break;
            case kTagHeight:
                height = value;
                break;
            case kTagImageOffset:
                imageAt = value;
                break;
            case kTagImageBytes:
                imageBytes = value;
                break;
            case kTagTransformation:
                if (value >= kTransformations) return false;
                break;
            case kTagAlphaOffset:
                alphaAt = value, alpha = true;
                break;
            default:
                break;
        }
    }
    if (!r.ok() ||
        !ImageSizeAllowed(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height)))
        return false;
    if (imageBytes == 0 || !r.has(imageAt, imageBytes)) return false;
    // jxrlib itself records the end of the alpha plane as its byte count: only the start is
    // checked, and reads past the end find zeros.
    return !alpha || alphaAt < data.size();
}

// ---- streams ----

struct StreamState {
    const std::uint8_t* input = nullptr;          // reading
    std::vector<std::uint8_t>* output = nullptr;  // writing, from base
    std::size_t base = 0;
    std::size_t size = 0;  // input size, or the end of what was written
    std::size_t pos = 0;
};

StreamState* StateOf(WMPStream* s) {
    return static_cast<StreamState*>(s->state.pvObj);
}

// The library closes a stream it was given for encoding; closing frees only the stream.
ERR CloseStream(WMPStream** s) {
    if (s && *s) {
        std::free(*s);
        *s = nullptr;
    }
    return WMP_errSuccess;
}

Bool StreamAtEnd(WMPStream* s) {
    return StateOf(s)->pos >= StateOf(s)->size;
}

// The decoder reads its bit stream in fixed-size chunks that may run past the end of the
// data: what is missing reads as zeros.
ERR ReadStream(WMPStream* s, void* buffer, size_t n) {
    StreamState* st = StateOf(s);
    if (!st->input) return WMP_errFileIO;
    const std::size_t available = std::min(n, st->size - std::min(st->pos, st->size));
    if (available) std::memcpy(buffer, st->input + st->pos, available);
    if (available < n)
        std::memset(static_cast<std::uint8_t*>(buffer) + available, 0, n - available);
    st->pos += available;
    return WMP_errSuccess;
}

ERR WriteStream(WMPStream* s, const void* buffer, size_t n) {
    StreamState* st = StateOf(s);
    if (!st->output || n > Limits::kMaxBufferBytes || st->pos > Limits::kMaxBufferBytes - n)
        return WMP_errBufferOverflow;
    try {
        if (st->output->size() < st->base + st->pos + n) st->output->resize(st->base + st->pos + n);
    } catch (const std::bad_alloc&) {
        return WMP_errOutOfMemory;
    }
    std::memcpy(st->output->data() + st->base + st->pos, buffer, n);
    st->pos += n;
    st->size = std::max(st->size, st->pos);
    return WMP_errSuccess;
}

ERR SetStreamPos(WMPStream* s, size_t offset) {
    StreamState* st = StateOf(s);
    if (st->input ? offset > st->size : offset > Limits::kMaxBufferBytes)
        return WMP_errBufferOverflow;
    st->pos = offset;
    return WMP_errSuccess;
}

ERR GetStreamPos(WMPStream* s, size_t* offset) {
    *offset = StateOf(s)->pos;
    return WMP_errSuccess;
}

WMPStream* NewStream(StreamState* state) {
    auto* s = static_cast<WMPStream*>(std::calloc(1, sizeof(WMPStream)));
    if (!s) return nullptr;
    s->state.pvObj = state;
    s->fMem = FALSE;
    s->Close = CloseStream;
    s->EOS = StreamAtEnd;
    s->Read = ReadStream;
    s->Write = WriteStream;
    s->SetPos = SetStreamPos;
    s->GetPos = GetStreamPos;
    return s;
}

// ---- library handles ----

struct StreamDeleter {
    void operator()(WMPStream* s) const { CloseStream(&s); }
};
struct DecoderDeleter {
    void operator()(PKImageDecode* d) const { d->Release(&d); }
};
struct EncoderDeleter {
    void operator()(PKImageEncode* e) const { e->Release(&e); }
};
struct ConverterDeleter {
    void operator()(PKFormatConverter* c) const { c->Release(&c); }
};
using StreamPtr = std::unique_ptr<WMPStream, StreamDeleter>;
using DecoderPtr = std::unique_ptr<PKImageDecode, DecoderDeleter>;
using EncoderPtr = std::unique_ptr<PKImageEncode, EncoderDeleter>;
using ConverterPtr = std::unique_ptr<PKFormatConverter, ConverterDeleter>;

bool SameFormat(const PKPixelFormatGUID& a, const PKPixelFormatGUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---- reading ----

ImageError ReadHdPhoto(ImageHolder& holder, std::span<const std::uint8_t> data,
                       const ReadOptions&) {
    if (!ProbeHdPhoto(data) || !ContainerAllowed(data)) return ImageError::Damaged;
    StreamState state;
    state.input = data.data();
    state.size = data.size();
    StreamPtr stream(NewStream(&state));
    if (!stream) return ImageError::Damaged;
    PKImageDecode* rawDecoder = nullptr;
    if (Failed(PKImageDecode_Create_WMP(&rawDecoder)) || !rawDecoder) return ImageError::Damaged;
    DecoderPtr decoder(rawDecoder);  // released before the stream it reads
    if (Failed(decoder->Initialize(decoder.get(), stream.get()))) return ImageError::Damaged;

    I32 width = 0, height = 0;
    PKPixelFormatGUID format;
    if (Failed(decoder->GetSize(decoder.get(), &width, &height)) ||
        !ImageSizeAllowed(width, height) || Failed(decoder->GetPixelFormat(decoder.get(), &format)))
        return ImageError::TooLarge;
    PKPixelInfo info;
    std::memset(&info, 0, sizeof info);
    info.pGUIDPixFmt = &format;
    if (Failed(PixelFormatLookup(&info, LOOKUP_FORWARD))) return ImageError::Damaged;
    const bool grey = SameFormat(format, GUID_PKPixelFormat8bppGray) ||
                      SameFormat(format, GUID_PKPixelFormatBlackWhite);
    const bool alpha = (info.grBit & PK_pixfmtHasAlpha) != 0;
    // The alpha plane is decoded only when asked for.
    if (alpha && decoder->WMP.bHasAlpha) decoder->WMP.wmiSCP.uAlphaMode = 2;
    const PKPixelFormatGUID target = grey    ? GUID_PKPixelFormat8bppGray
                                     : alpha ? GUID_PKPixelFormat32bppBGRA
                                             : GUID_PKPixelFormat24bppBGR;
    const std::size_t bytesPerPixel = grey ? 1 : alpha ? 4 : 3;

    PKFormatConverter* rawConverter = nullptr;
    if (Failed(PKCodecFactory_CreateFormatConverter(&rawConverter)) || !rawConverter)
        return ImageError::Damaged;
    ConverterPtr converter(rawConverter);
    if (Failed(converter->Initialize(converter.get(), decoder.get(), nullptr, target)))
        return ImageError::Damaged;
    // The decoder writes whole macroblocks: rows padded to 16 pixels on both axes.
    const std::uint64_t paddedWidth = (static_cast<std::uint64_t>(width) + 15) / 16 * 16;
    const std::uint64_t paddedHeight = (static_cast<std::uint64_t>(height) + 15) / 16 * 16;
    const std::uint64_t stride = (paddedWidth * bytesPerPixel + 15) / 16 * 16;
    std::uint64_t bufferBytes = 0;
    if (!CheckedMul(stride, paddedHeight, &bufferBytes) || bufferBytes > Limits::kMaxBufferBytes)
        return ImageError::TooLarge;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(bufferBytes));
    PKRect rect = {0, 0, width, height};
    if (Failed(converter->Copy(converter.get(), &rect, pixels.data(), static_cast<U32>(stride))))
        return ImageError::Damaged;

    RasterImage image;
    if (!image.Allocate(width, height, PixelFormat::ie24RGB)) return ImageError::TooLarge;
    if (alpha) image.AddAlpha();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = pixels.data() + stride * static_cast<std::uint64_t>(y);
        std::uint8_t* dst = image.Row(y);
        for (int x = 0; x < width; ++x, src += bytesPerPixel, dst += 3) {
            if (grey) {
                dst[0] = dst[1] = dst[2] = src[0];
            } else {
                dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
                if (alpha) image.AlphaRow(y)[x] = src[3];
            }
        }
    }

    Float dpiX = 0, dpiY = 0;
    decoder->GetResolution(decoder.get(), &dpiX, &dpiY);
    holder.Image = std::move(image);
    FileParams& p = holder.Params;
    p.ImageWidth = width;
    p.ImageHeight = height;
    p.ChannelCount = static_cast<int>(std::clamp<size_t>(info.cChannel, 1, 4));
    p.BitsPerChannel =
        info.uBitsPerSample > 0 ? static_cast<int>(std::min<U32>(info.uBitsPerSample, 32)) : 8;
    p.HorizontalDpi = dpiX >= 1 && dpiX < 1e6 ? static_cast<int>(dpiX + 0.5f) : 300;
    p.VerticalDpi = dpiY >= 1 && dpiY < 1e6 ? static_cast<int>(dpiY + 0.5f) : 300;
    p.Palette.clear();
    p.PaletteCount = 0;
    return ImageError::None;
}

// ---- writing ----

// Lossless: grey when the holder declares one channel and the picture has no colour, BGRA
// when any pixel is not opaque, BGR otherwise.
ImageError WriteHdPhoto(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    if (holder.Image.Empty()) return ImageError::CannotEncode;
    RasterImage storage;
    const RasterImage& rgb = AsRgb24(holder.Image, storage);
    const int width = rgb.Width(), height = rgb.Height();
    const bool alpha = rgb.HasAlpha() && !rgb.AlphaAllOpaque();
    const bool grey = !alpha && holder.Params.ChannelCount <= 2 && AllPixelsGrey(rgb);
    const std::size_t bytesPerPixel = grey ? 1 : alpha ? 4 : 3;
    const std::size_t stride = static_cast<std::size_t>(width) * bytesPerPixel;
    std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = rgb.Row(y);
        std::uint8_t* dst = pixels.data() + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x, src += 3, dst += bytesPerPixel) {
            dst[0] = src[0];
            if (grey) continue;
            dst[1] = src[1], dst[2] = src[2];
            if (alpha) dst[3] = rgb.AlphaRow(y)[x];
        }
    }

    CWMIStrCodecParam params;
    std::memset(&params, 0, sizeof params);
    params.bVerbose = FALSE;
    params.uiDefaultQPIndex = 1;  // lossless
    params.uiDefaultQPIndexAlpha = 1;
    params.cfColorFormat = grey ? Y_ONLY : YUV_444;
    params.bdBitDepth = BD_LONG;
    params.olOverlap = OL_ONE;
    params.bfBitstreamFormat = SPATIAL;
    params.uAlphaMode = alpha ? 2 : 0;
    params.sbSubband = SB_ALL;

    const std::size_t start = out.size();
    StreamState state;
    state.output = &out;
    state.base = start;
    StreamPtr stream(NewStream(&state));
    if (!stream) return ImageError::CannotEncode;
    PKImageEncode* rawEncoder = nullptr;
    if (Failed(PKImageEncode_Create_WMP(&rawEncoder)) || !rawEncoder)
        return ImageError::CannotEncode;
    EncoderPtr encoder(rawEncoder);
    const ERR initialized =
        encoder->Initialize(encoder.get(), stream.get(), &params, sizeof params);
    if (encoder->pStream == stream.get()) stream.release();  // the encoder closes it now
    const PKPixelFormatGUID format = grey    ? GUID_PKPixelFormat8bppGray
                                     : alpha ? GUID_PKPixelFormat32bppBGRA
                                             : GUID_PKPixelFormat24bppBGR;
    const Float dpiX =
        static_cast<Float>(holder.Params.HorizontalDpi > 0 ? holder.Params.HorizontalDpi : 300);
    const Float dpiY =
        static_cast<Float>(holder.Params.VerticalDpi > 0 ? holder.Params.VerticalDpi : 300);
    const bool ok = !Failed(initialized) &&
                    !Failed(encoder->SetPixelFormat(encoder.get(), format)) &&
                    !Failed(encoder->SetSize(encoder.get(), width, height)) &&
                    !Failed(encoder->SetResolution(encoder.get(), dpiX, dpiY)) &&
                    !Failed(encoder->WritePixels(encoder.get(), static_cast<U32>(height),
                                                 pixels.data(), static_cast<U32>(stride)));
    encoder.reset();
    if (!ok) {
        out.resize(start);
        return ImageError::CannotEncode;
    }
    out.resize(start + state.size);
    return ImageError::None;
}

}  // namespace

const FormatCodec kHdPhotoCodec{ProbeHdPhoto, ReadHdPhoto, WriteHdPhoto};

}  // namespace gw
