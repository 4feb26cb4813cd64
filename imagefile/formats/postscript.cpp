// Encapsulated PostScript, Level 2, through cairo's PostScript surface (and, with it, the shared
// page writer that the PDF writer uses too).

#include "imagefile/formats/postscript.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <cairo.h>

#include <memory>

#include "imagefile/limits.h"

namespace gw {
namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    if (out->size() + length > Limits::kMaxBufferBytes) return CAIRO_STATUS_WRITE_ERROR;
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

// The picture as a cairo image: premultiplied ARGB, or laid on white when opaque is asked for.
SurfacePtr PictureSurface(const RasterImage& image, bool opaque) {
    const int w = image.Width(), h = image.Height();
    const bool alpha = image.HasAlpha() && !opaque;
    SurfacePtr surface(
        cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(surface.get());
    unsigned char* base = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(base + static_cast<std::size_t>(y) * stride);
        const std::uint8_t* a = image.HasAlpha() ? image.AlphaRow(y) : nullptr;
        for (int x = 0; x < w; ++x) {
            const Rgb c = image.PixelRgb(x, y);
            const unsigned k = a ? a[x] : 255;
            // Straight colours over white (opaque) or premultiplied (alpha).
            auto mix = [&](unsigned v) {
                return alpha ? (v * k + 127) / 255 : (v * k + 255 * (255 - k) + 127) / 255;
            };
            row[x] = (alpha ? k : 255u) << 24 | mix(c.r) << 16 | mix(c.g) << 8 | mix(c.b);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

ImageError WritePostScript(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    return WritePicturePage(holder, PageDocument::PostScript, out);
}

}  // namespace

ImageError WritePicturePage(const ImageHolder& holder, PageDocument kind,
                            std::vector<std::uint8_t>& out) {
    const RasterImage& image = holder.Image;
    if (image.Empty()) return ImageError::CannotEncode;
    const FileParams& p = holder.Params;
    const double dpiX = p.HorizontalDpi > 0 ? p.HorizontalDpi : 300;
    const double dpiY = p.VerticalDpi > 0 ? p.VerticalDpi : 300;
    const double pageW = image.Width() * 72.0 / dpiX, pageH = image.Height() * 72.0 / dpiY;

    SurfacePtr picture = PictureSurface(image, kind == PageDocument::PostScript);
    if (!picture) return ImageError::OutOfMemory;
    std::vector<std::uint8_t> bytes;
    SurfacePtr page(kind == PageDocument::PostScript
                        ? cairo_ps_surface_create_for_stream(AppendBytes, &bytes, pageW, pageH)
                        : cairo_pdf_surface_create_for_stream(AppendBytes, &bytes, pageW, pageH));
    if (cairo_surface_status(page.get()) != CAIRO_STATUS_SUCCESS) return ImageError::EncoderFailed;
    if (kind == PageDocument::PostScript) {
        cairo_ps_surface_restrict_to_level(page.get(), CAIRO_PS_LEVEL_2);
        cairo_ps_surface_set_eps(page.get(), 1);
    }
    {
        ContextPtr cr(cairo_create(page.get()));
        cairo_scale(cr.get(), 72.0 / dpiX, 72.0 / dpiY);
        cairo_set_source_surface(cr.get(), picture.get(), 0, 0);
        // Pixels stay pixels: no smoothing when the page is shown larger.
        cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_NEAREST);
        cairo_paint(cr.get());
        cairo_show_page(cr.get());
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return ImageError::EncoderFailed;
    }
    cairo_surface_finish(page.get());
    if (cairo_surface_status(page.get()) != CAIRO_STATUS_SUCCESS) return ImageError::EncoderFailed;
    out.insert(out.end(), bytes.begin(), bytes.end());
    return ImageError::None;
}

const FormatCodec kPostScriptCodec{nullptr, nullptr, WritePostScript};

}  // namespace gw
