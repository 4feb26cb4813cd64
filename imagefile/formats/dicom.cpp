// DICOM through DCMTK. The dataset is parsed from our bytes by a buffer stream, its size
// attributes checked against the limits, then rendered by DCMTK's image module: grey images
// through the file's first window (or their own minimum and maximum) to 8 bits.

#include "imagefile/formats/dicom.h"

#include <dcmtk/config/osconfig.h>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmimage/diregist.h>  // colour images
#include <dcmtk/dcmimgle/dcmimage.h>
#include <dcmtk/oflog/oflog.h>

#include <cstring>
#include <memory>

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
    const std::uint64_t frameBits = std::uint64_t{columns} * rows * samples * bitsAllocated;
    return pixelData->getLength() >= (frameBits + 7) / 8;
}

// Pixel spacing in millimetres as dots per inch; 0 when absent.
int DpiFromSpacing(DcmDataset& ds, unsigned long index) {
    Float64 mm = 0;
    if (ds.findAndGetFloat64(DCM_PixelSpacing, mm, index).bad() || !(mm > 0.001)) return 0;
    const double dpi = 25.4 / mm;
    return dpi >= 1e6 ? 1000000 : static_cast<int>(dpi + 0.5);
}

ImageError ReadDicom(ImageHolder& holder, std::span<const std::uint8_t> data, const ReadOptions&) {
    if (data.size() < 8) return ImageError::Truncated;
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

    DicomImage image(ds, ds->getOriginalXfer(), CIF_MayDetachPixelData, 0, 1);
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
