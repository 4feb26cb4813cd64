#pragma once
// The drawing state both metafile players share: mapping modes, world transform, pens,
// brushes, the object table, saved states and paths, rendered with cairo into a picture
// that is transparent wherever nothing was drawn.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imagefile/error.h"
#include "imagefile/raster.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace gw {

// Longest side of a rendered metafile picture.
inline constexpr int kMaxMetafileSide = 4096;
// Longest side of a metafile that says nothing about its physical size.
inline constexpr int kDefaultMetafileSide = 1024;
// Most records one metafile plays.
inline constexpr std::uint64_t kMaxMetafileRecords = std::uint64_t{1} << 20;

enum MetaMapMode : int {
    kMmText = 1,
    kMmLoMetric = 2,
    kMmHiMetric = 3,
    kMmLoEnglish = 4,
    kMmHiEnglish = 5,
    kMmTwips = 6,
    kMmIsotropic = 7,
    kMmAnisotropic = 8
};

struct MetaPoint {
    double x = 0, y = 0;
};

struct MetaPen {
    bool Visible = true;
    Rgb Color{0, 0, 0};
    double Width = 0;  // logical units; 0 = one pixel
    std::uint32_t Style = 0;
};

struct MetaBrush {
    bool Visible = true;
    Rgb Color{255, 255, 255};
};

struct MetaFont {
    double Height = 0;      // logical units: negative the character height, positive the cell's
    double Escapement = 0;  // tenths of a degree, counter-clockwise
    int Weight = 400;
    bool Italic = false, Underline = false, StrikeOut = false;
    int CharSet = 0;
    std::string Face;
};

struct MetaObject {
    enum class Kind { Empty, Pen, Brush, Other, Font } kind = Kind::Empty;
    MetaPen pen;
    MetaBrush brush;
    MetaFont font;
};

// A COLORREF as stored in both formats: red in the low byte.
inline Rgb ColorFromRef(std::uint32_t ref) {
    return Rgb{static_cast<std::uint8_t>(ref), static_cast<std::uint8_t>(ref >> 8),
               static_cast<std::uint8_t>(ref >> 16)};
}

// A brush object as both formats create it: solid and hatched brushes paint in their colour,
// the other styles draw nothing.
inline MetaObject BrushObject(std::uint32_t style, std::uint32_t color) {
    MetaObject o;
    o.kind = MetaObject::Kind::Brush;
    o.brush.Visible = style == 0 || style == 2;
    o.brush.Color = ColorFromRef(color);
    return o;
}

// Where device space lies in the picture and how the first page mapping looks.
struct MetaFrame {
    int Width = 0, Height = 0;  // picture pixels
    double RefX = 0, RefY = 0;  // device rectangle shown by the picture
    double RefW = 1, RefH = 1;
    double DeviceUnitsPerInch = 96;  // for the metric and English mapping modes
    int MapMode = kMmAnisotropic;
    MetaPoint WindowOrg, ViewportOrg;
    MetaPoint WindowExt, ViewportExt;  // until the records set them; (0, 0): RefW × RefH
};

// A device-independent bitmap decoded to top-down RGB rows (alpha kept when present).
struct DecodedDib {
    RasterImage Image;
    bool BottomUp = true;
};
// info holds the bitmap header and colour table; bits the pixel rows, or empty when they
// follow the colour table inside info (a packed bitmap). False when it cannot be decoded.
bool DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
               DecodedDib& out);

// Raster operations that need no source bitmap.
constexpr std::uint32_t kPatCopy = 0x00F00021;
constexpr std::uint32_t kBlackness = 0x00000042;
constexpr std::uint32_t kWhiteness = 0x00FF0062;

class MetafileCanvas;
// Draws a bitmap record's source rectangle (DIB pixel coordinates, counted from the bottom row
// of a bottom-up bitmap) into the logical destination rectangle; undecodable bitmaps are skipped.
void DrawDib(MetafileCanvas& canvas, std::span<const std::uint8_t> info,
             std::span<const std::uint8_t> bits, double srcX, double srcY, double srcW, double srcH,
             double dstX, double dstY, double dstW, double dstH);
// The average colour of a bitmap, standing in for a pattern brush made from it.
bool DibAverageColor(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                     Rgb& color);
// Picture size in pixels for a physical size, scaled down to fit the longer side into maxSide
// (and into hint when it is smaller and positive), at least one pixel each way.
void FitPictureSize(double width, double height, int maxSide, int hint, int& outW, int& outH);

class MetafileCanvas {
  public:
    MetafileCanvas();
    ~MetafileCanvas();
    MetafileCanvas(const MetafileCanvas&) = delete;
    MetafileCanvas& operator=(const MetafileCanvas&) = delete;

    // Creates the picture; false when the frame is not usable.
    bool Begin(const MetaFrame& frame);
    // False once drawing must end (the renderer met an error). Shapes beyond the work budget
    // are skipped one by one.
    bool Alive() const;
    // The picture as ie24RGB with an alpha plane (dropped when everything is opaque).
    bool Finish(RasterImage& out);

    // Object table: WMF places new objects in the lowest free slot, EMF names the slot.
    void ResetObjects(std::size_t count);
    bool AddObject(const MetaObject& object);
    bool SetObject(std::uint64_t index, const MetaObject& object);
    bool SelectObject(std::uint64_t index);
    bool DeleteObject(std::uint64_t index);
    void SelectStockObject(std::uint32_t id);

    // Page mapping.
    void SetMapMode(int mode);
    void SetWindowOrg(double x, double y);
    void SetWindowExt(double x, double y);
    void SetViewportOrg(double x, double y);
    void SetViewportExt(double x, double y);
    void OffsetWindowOrg(double dx, double dy);
    void OffsetViewportOrg(double dx, double dy);
    void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    // World transform: x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
    void SetWorldTransform(const double m[6]);
    void ModifyWorldTransform(const double m[6], std::uint32_t mode);

    void SetPolyFillMode(int mode);  // 1 alternate, 2 winding
    void SaveDC();
    void RestoreDC(std::int64_t which);

    // Drawing in logical coordinates.
    void MoveTo(MetaPoint p);
    void LineTo(MetaPoint p);
    void Rectangle(double left, double top, double right, double bottom);
    void RoundRect(double left, double top, double right, double bottom, double w, double h);
    void Ellipse(double left, double top, double right, double bottom);
    // Elliptic arcs between the rays through start and end: open, closed by a chord, or a pie.
    enum class ArcKind { Arc, Chord, Pie };
    void Arc(ArcKind kind, double left, double top, double right, double bottom, MetaPoint start,
             MetaPoint end);
    void Polygon(std::span<const MetaPoint> points);
    void Polyline(std::span<const MetaPoint> points);
    void PolylineTo(std::span<const MetaPoint> points);
    void PolyPolygon(std::span<const MetaPoint> points, std::span<const std::uint32_t> counts);
    void PolyPolyline(std::span<const MetaPoint> points, std::span<const std::uint32_t> counts);
    void PolyBezier(std::span<const MetaPoint> points);
    void PolyBezierTo(std::span<const MetaPoint> points);
    // Text: colours, background mode (1 transparent, 2 opaque), alignment flags (TA_*).
    void SetTextColor(Rgb color);
    void SetBkColor(Rgb color);
    void SetBkMode(int mode);
    void SetTextAlign(std::uint32_t align);
    const MetaFont& CurrentFont() const;
    // Draws UTF-8 text with the selected font at a logical point. Options: 2 fills the
    // rectangle (left, top, right, bottom; logical) with the background colour, 4 clips to it.
    // advances, when it holds one logical width per character, places each character.
    void TextOut(MetaPoint at, std::string_view utf8, std::uint32_t options, const double* rect,
                 std::span<const double> advances);

    // Fills a logical rectangle with a colour or the current brush (pattern operations).
    void FillRect(double x, double y, double w, double h, const Rgb* color);
    // Draws the source rectangle of the bitmap (pixel rows from the top) into the logical
    // destination rectangle; negative sizes mirror.
    void DrawBitmap(const RasterImage& image, double srcX, double srcY, double srcW, double srcH,
                    double dstX, double dstY, double dstW, double dstH);

    // Path bracket.
    void BeginPath();
    void EndPath();
    void AbortPath();
    void CloseFigure();
    void FillPath();
    void StrokePath();
    void StrokeAndFillPath();

  private:
    void PaintPath(bool fill, bool stroke);
    void PolyPolyShape(std::span<const MetaPoint> points, std::span<const std::uint32_t> counts,
                       bool closed);
    struct State;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Hands the drawn picture to the holder with what a metafile read records: the picture's full
// size, 96 dpi and the depth (32 bits when something was left undrawn, else 24).
ImageError DeliverMetafilePicture(MetafileCanvas& canvas, ImageHolder& holder, int fullWidth,
                                  int fullHeight);

}  // namespace gw
