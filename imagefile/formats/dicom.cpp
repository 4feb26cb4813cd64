// DICOM through DCMTK. The dataset is parsed from our bytes by a buffer stream, its size
// attributes checked against the limits, then rendered by DCMTK's image module: grey images
// through the file's first window (or their own minimum and maximum) to 8 bits. JPEG, JPEG-LS
// and RLE frames are decompressed by DCMTK's codecs; JPEG 2000 frames, which free DCMTK cannot
// decode, by OpenJPEG, their samples put back into the dataset as uncompressed pixel data.

#include "imagefile/formats/dicom.h"

#include <dcmtk/config/osconfig.h>

#include <dcmtk/dcmdata/dccodec.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmimage/diregist.h>  // colour images
#include <dcmtk/dcmimgle/dcmimage.h>
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/dcmjpls/djdecode.h>
#include <dcmtk/oflog/oflog.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imagefile/bytereader.h"
#ifdef GW_HAVE_OPENJPEG
#include "imagefile/formats/jp2.h"
#endif
#include "imagefile/limits.h"

namespace gw {
namespace {

bool ProbeDicom(std::span<const std::uint8_t> d) {
    return d.size() >= 132 && std::memcmp(d.data() + 128, "DICM", 4) == 0;
}

// DCMTK logs parse problems to the console by default; a bad file is simply not a picture.
void SilenceLogging() {
    static const bool silenced = [] {
        OFLog::configure(OFLogger::OFF_LOG_LEVEL);
        return true;
    }();
    (void)silenced;
}

// DCMTK keeps its decompression codecs in a process-wide list; they are added once.
void RegisterDecoders() {
    static const bool registered = [] {
        DJDecoderRegistration::registerCodecs();
        DJLSDecoderRegistration::registerCodecs();
        DcmRLEDecoderRegistration::registerCodecs();
        return true;
    }();
    (void)registered;
}

// DCMTK allocates an element's value by its length field before reading it, so a few bytes
// claiming gigabytes would be allocated. This walks the elements as DCMTK will (the meta group in
// explicit little endian, the dataset in the encoding the meta group names, sequences and items
// opened, other values skipped) and accepts the data only when every length fits in the bytes
// that follow it. Deflated datasets are left to DCMTK's own stream. Linear in the data's size.
bool LengthsFitData(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    const bool fileFormat = data.size() >= 132 && std::memcmp(data.data() + 128, "DICM", 4) == 0;
    if (fileFormat) r.seek(132);
    auto isVr = [](std::uint8_t a, std::uint8_t b) {
        return a >= 'A' && a <= 'Z' && b >= 'A' && b <= 'Z';
    };
    // Only these value representations have a 2-byte length; DCMTK reads any other, unknown
    // ones included, with a 4-byte length.
    auto longForm = [](std::uint8_t a, std::uint8_t b) {
        static const char* const kShort[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT",
                                             "FL", "FD", "IS", "LO", "LT", "PN", "SH",
                                             "SL", "SS", "ST", "TM", "UI", "UL", "US"};
        for (const char* vr : kShort)
            if (a == vr[0] && b == vr[1]) return false;
        return true;
    };
    bool explicitVr = fileFormat || (data.size() >= 6 && isVr(data[4], data[5]));
    bool bigEndian = false, inMeta = fileFormat, deflated = false, fragments = false;
    while (r.remaining() >= 8) {
        std::uint16_t group = r.u16le();
        if (inMeta && group != 2) {
            // The meta group ends: the dataset follows in its own encoding.
            inMeta = false;
            if (deflated) return true;
            if (bigEndian) group = static_cast<std::uint16_t>(group >> 8 | group << 8);
        } else if (bigEndian) {
            group = static_cast<std::uint16_t>(group >> 8 | group << 8);
        }
        auto u16 = [&] { return bigEndian && !inMeta ? r.u16be() : r.u16le(); };
        auto u32 = [&] { return bigEndian && !inMeta ? r.u32be() : r.u32le(); };
        const std::uint16_t element = u16();
        std::uint32_t length = 0;
        bool container = false;
        if (group == 0xfffe) {
            length = u32();  // items open; delimiters have no value
            container = true;
        } else if (explicitVr || inMeta) {
            const std::uint8_t a = r.u8(), b = r.u8();
            if (longForm(a, b)) {
                r.skip(2);
                length = u32();
            } else {
                length = u16();
            }
            container = a == 'S' && b == 'Q';
        } else {
            length = u32();
        }
        if (!r.ok()) return true;  // a cut header is DCMTK's to report
        // Encapsulated pixel data: its items are compressed fragments, not elements.
        if (group == 0x7fe0 && element == 0x0010 && length == 0xffffffffu) fragments = true;
        if (group == 0xfffe && element == 0xe0dd) fragments = false;
        if (fragments && group == 0xfffe && element == 0xe000) {
            if (length > r.remaining()) return false;
            r.skip(length);
            continue;
        }
        if (length == 0xffffffffu || container) continue;
        if (length > r.remaining()) return false;
        const auto value = r.take(length);
        // Implicit sequences look like any value; one that starts with an item is opened.
        if (value.size() >= 4 && value[0] == 0xfe && value[1] == 0xff && value[2] == 0x00 &&
            value[3] == 0xe0) {
            r.seek(r.pos() - length);
            continue;
        }
        if (inMeta && group == 2 && element == 0x0010) {
            std::string uid(value.begin(), value.end());
            while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.pop_back();
            explicitVr = uid != "1.2.840.10008.1.2";
            bigEndian = uid == "1.2.840.10008.1.2.2";
            deflated = uid == "1.2.840.10008.1.2.1.99";
        }
    }
    return true;
}

// Whether the image attributes describe a picture we are willing to allocate.
bool SizeAttributesAllowed(DcmDataset& ds) {
    Uint16 rows = 0, columns = 0, samples = 1, bitsAllocated = 0;
    if (ds.findAndGetUint16(DCM_Rows, rows).bad() ||
        ds.findAndGetUint16(DCM_Columns, columns).bad())
        return false;
    ds.findAndGetUint16(DCM_SamplesPerPixel, samples);
    ds.findAndGetUint16(DCM_BitsAllocated, bitsAllocated);
    if (samples != 1 && samples != 3) return false;
    if (bitsAllocated == 0 || bitsAllocated > 32) return false;
    if (!ImageSizeAllowed(columns, rows)) return false;
    // A first frame shorter than the attributes promise would be shown padded with black.
    DcmElement* pixelData = nullptr;
    if (ds.findAndGetElement(DCM_PixelData, pixelData).bad() || !pixelData) return false;
    if (DcmXfer(ds.getOriginalXfer()).isEncapsulated()) return true;
    // 4:2:2 data stores two luminance and one pair of chrominance samples for two pixels.
    OFString photometric;
    ds.findAndGetOFString(DCM_PhotometricInterpretation, photometric);
    const unsigned stored =
        photometric == "YBR_FULL_422" || photometric == "YBR_PARTIAL_422" ? 2 : samples;
    const std::uint64_t frameBits = std::uint64_t{columns} * rows * stored * bitsAllocated;
    return pixelData->getLength() >= (frameBits + 7) / 8;
}

bool IsJpeg2000(E_TransferSyntax xfer) {
    return xfer == EXS_JPEG2000LosslessOnly || xfer == EXS_JPEG2000 ||
           xfer == EXS_JPEG2000MulticomponentLosslessOnly || xfer == EXS_JPEG2000Multicomponent;
}

// The first frame's code stream: its fragments joined, up to where the second frame starts.
bool FirstFrameFragments(DcmDataset& ds, E_TransferSyntax xfer, std::vector<std::uint8_t>* out) {
    DcmElement* element = nullptr;
    if (ds.findAndGetElement(DCM_PixelData, element).bad() || !element) return false;
    auto* pixelData = dynamic_cast<DcmPixelData*>(element);
    DcmPixelSequence* sequence = nullptr;
    if (!pixelData || pixelData->getEncapsulatedRepresentation(xfer, nullptr, sequence).bad() ||
        !sequence)
        return false;
    Sint32 frames = 1;
    if (ds.findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
    Uint32 first = 0, next = sequence->card();
    if (DcmCodec::determineStartFragment(0, frames, sequence, first).bad()) return false;
    if (frames > 1) {
        Uint32 second = 0;
        if (DcmCodec::determineStartFragment(1, frames, sequence, second).good() && second > first)
            next = second;
        else
            next = first + 1;
    }
    for (Uint32 i = first; i < next && i < sequence->card(); ++i) {
        DcmPixelItem* item = nullptr;
        Uint8* bytes = nullptr;
        if (sequence->getItem(item, i).bad() || !item) return false;
        const Uint32 length = item->getLength();
        if (length == 0) continue;
        if (item->getUint8Array(bytes).bad() || !bytes) return false;
        if (out->size() + length > Limits::kMaxBufferBytes) return false;
        out->insert(out->end(), bytes, bytes + length);
    }
    return !out->empty();
}

// Replaces a JPEG 2000 frame by its decoded samples, so that DCMTK renders the picture as it
// renders uncompressed data (windowing, signed samples). Colour code streams are decoded to RGB.
#ifndef GW_HAVE_OPENJPEG
// Without OpenJPEG a JPEG 2000 frame cannot be decoded.
ImageError DecodeJpeg2000Frame(DcmDataset&, E_TransferSyntax) {
    return ImageError::Unsupported;
}
#else
ImageError DecodeJpeg2000Frame(DcmDataset& ds, E_TransferSyntax xfer) {
    std::vector<std::uint8_t> codeStream;
    if (!FirstFrameFragments(ds, xfer, &codeStream)) return ImageError::Damaged;
    std::span<const std::uint8_t> bytes(codeStream);
    if (const std::span<const std::uint8_t> boxed = FindJp2CodeStream(bytes); !boxed.empty())
        bytes = boxed;
    Jp2kSamples samples;
    if (const ImageError error = DecodeJ2kSamples(bytes, &samples); error != ImageError::None)
        return error;
    Uint16 rows = 0, columns = 0;
    ds.findAndGetUint16(DCM_Rows, rows);
    ds.findAndGetUint16(DCM_Columns, columns);
    if (samples.Width != columns || samples.Height != rows ||
        (samples.Components != 1 && samples.Components != 3))
        return ImageError::Damaged;

    const bool wide = samples.Precision > 8;
    OFCondition put;
    if (wide) {
        std::vector<Uint16> values(samples.Values.size());
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<Uint16>(samples.Values[i]);
        put = ds.putAndInsertUint16Array(DCM_PixelData, values.data(), values.size());
    } else {
        std::vector<Uint8> values(samples.Values.size());
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<Uint8>(samples.Values[i]);
        put = ds.putAndInsertUint8Array(DCM_PixelData, values.data(), values.size());
    }
    if (put.bad()) return ImageError::Damaged;
    OFString photometric;
    ds.findAndGetOFString(DCM_PhotometricInterpretation, photometric);
    if (samples.Components == 3 && photometric != "YBR_FULL")
        ds.putAndInsertString(DCM_PhotometricInterpretation, "RGB");
    if (samples.Components == 1 && photometric != "MONOCHROME1")
        ds.putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    ds.putAndInsertUint16(DCM_SamplesPerPixel, static_cast<Uint16>(samples.Components));
    ds.putAndInsertUint16(DCM_BitsAllocated, wide ? 16 : 8);
    ds.putAndInsertUint16(DCM_BitsStored, static_cast<Uint16>(samples.Precision));
    ds.putAndInsertUint16(DCM_HighBit, static_cast<Uint16>(samples.Precision - 1));
    ds.putAndInsertUint16(DCM_PixelRepresentation, samples.Signed ? 1 : 0);
    ds.putAndInsertString(DCM_NumberOfFrames, "1");
    if (samples.Components == 3) ds.putAndInsertUint16(DCM_PlanarConfiguration, 0);
    return ImageError::None;
}
#endif

// Pixel spacing in millimetres as dots per inch; 0 when absent.
int DpiFromSpacing(DcmDataset& ds, unsigned long index) {
    Float64 mm = 0;
    if (ds.findAndGetFloat64(DCM_PixelSpacing, mm, index).bad() || !(mm > 0.001)) return 0;
    const double dpi = 25.4 / mm;
    return dpi >= 1e6 ? 1000000 : static_cast<int>(dpi + 0.5);
}

ImageError ReadDicom(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    if (data.size() < 8) return ImageError::Truncated;
    if (!LengthsFitData(data)) return ImageError::Damaged;
    SilenceLogging();
    DcmInputBufferStream stream;
    stream.setBuffer(data.data(), static_cast<offile_off_t>(data.size()));
    stream.setEos();
    DcmFileFormat file;
    file.transferInit();
    const OFCondition read = file.read(stream, EXS_Unknown, EGL_noChange, DCM_MaxReadLength);
    file.transferEnd();
    DcmDataset* ds = file.getDataset();
    if (read.bad() || !ds || !SizeAttributesAllowed(*ds)) return ImageError::Damaged;

    E_TransferSyntax xfer = ds->getOriginalXfer();
    if (IsJpeg2000(xfer)) {
        if (const ImageError error = DecodeJpeg2000Frame(*ds, xfer); error != ImageError::None)
            return error;
        xfer = EXS_LittleEndianExplicit;
    } else {
        RegisterDecoders();
    }
    DicomImage image(ds, xfer, CIF_MayDetachPixelData, 0, 1);
    if (image.getStatus() != EIS_Normal) return ImageError::Damaged;
    const unsigned long width = image.getWidth(), height = image.getHeight();
    if (!ImageSizeAllowed(width, height)) return ImageError::TooLarge;
    const bool grey = image.isMonochrome();
    if (grey && !(image.getWindowCount() > 0 && image.setWindow(0))) image.setMinMaxWindow();
    const auto* pixels = static_cast<const std::uint8_t*>(image.getOutputData(8, 0, 0));
    const std::size_t samples = grey ? 1 : 3;
    if (!pixels || image.getOutputDataSize(8) < width * height * samples)
        return ImageError::Damaged;

    RasterImage out;
    if (!out.Allocate(static_cast<int>(width), static_cast<int>(height), PixelFormat::ie24RGB))
        return ImageError::TooLarge;
    for (unsigned long y = 0; y < height; ++y) {
        const std::uint8_t* src = pixels + y * width * samples;
        std::uint8_t* dst = out.Row(static_cast<int>(y));
        for (unsigned long x = 0; x < width; ++x, src += samples, dst += 3) {
            dst[0] = src[samples - 1];
            dst[1] = src[samples / 2];
            dst[2] = src[0];
        }
    }

    holder.Image = std::move(out);
    FileParams& p = holder.Params;
    p.ImageWidth = static_cast<int>(width);
    p.ImageHeight = static_cast<int>(height);
    p.ChannelCount = static_cast<int>(samples);
    p.BitsPerChannel = 8;
    // Pixel spacing lists the row spacing (vertical) first.
    const int dpiY = DpiFromSpacing(*ds, 0), dpiX = DpiFromSpacing(*ds, 1);
    p.HorizontalDpi = dpiX > 0 ? dpiX : 300;
    p.VerticalDpi = dpiY > 0 ? dpiY : 300;
    p.Palette.clear();
    p.PaletteCount = 0;
    return ImageError::None;
}

}  // namespace

const FormatCodec kDicomCodec{ProbeDicom, ReadDicom, nullptr};

}  // namespace gw
