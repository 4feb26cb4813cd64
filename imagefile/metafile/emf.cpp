// Enhanced metafile player: the records clip-art uses, drawn through the shared canvas.
#include "imagefile/metafile/emf.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/limits.h"
#include "imagefile/metafile/canvas.h"
#include "imagefile/metafile/text.h"

namespace gw {
namespace {

constexpr std::size_t kMinHeaderSize = 88;

enum : std::uint32_t {
    kHeader = 1,
    kPolyBezier = 2,
    kPolygon = 3,
    kPolyline = 4,
    kPolyBezierTo = 5,
    kPolylineTo = 6,
    kPolyPolyline = 7,
    kPolyPolygon = 8,
    kSetWindowExtEx = 9,
    kSetWindowOrgEx = 10,
    kSetViewportExtEx = 11,
    kSetViewportOrgEx = 12,
    kEof = 14,
    kSetMapMode = 17,
    kSetBkMode = 18,
    kSetPolyFillMode = 19,
    kSetTextAlign = 22,
    kSetTextColor = 24,
    kSetBkColor = 25,
    kMoveToEx = 27,
    kScaleViewportExtEx = 31,
    kScaleWindowExtEx = 32,
    kSaveDc = 33,
    kRestoreDc = 34,
    kSetWorldTransform = 35,
    kModifyWorldTransform = 36,
    kSelectObject = 37,
    kCreatePen = 38,
    kCreateBrushIndirect = 39,
    kDeleteObject = 40,
    kEllipse = 42,
    kRectangle = 43,
    kRoundRect = 44,
    kArc = 45,
    kChord = 46,
    kPie = 47,
    kCreatePalette = 49,
    kLineTo = 54,
    kBeginPath = 59,
    kEndPath = 60,
    kCloseFigure = 61,
    kFillPath = 62,
    kStrokeAndFillPath = 63,
    kStrokePath = 64,
    kAbortPath = 68,
    kBitBlt = 76,
    kStretchBlt = 77,
    kSetDiBitsToDevice = 80,
    kStretchDiBits = 81,
    kExtCreateFontIndirectW = 82,
    kExtTextOutA = 83,
    kExtTextOutW = 84,
    kPolyBezier16 = 85,
    kPolygon16 = 86,
    kPolyline16 = 87,
    kPolyBezierTo16 = 88,
    kPolylineTo16 = 89,
    kPolyPolyline16 = 90,
    kPolyPolygon16 = 91,
    kCreateMonoBrush = 93,
    kCreateDibPatternBrushPt = 94,
    kExtCreatePen = 95,
    kCreateColorSpace = 99,
    kAlphaBlend = 114,
    kCreateColorSpaceW = 122,
};

constexpr std::uint32_t kStockObject = 0x80000000;

struct RectL {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

RectL ReadRect(ByteReader& r) {
    RectL rc;
    rc.left = r.i32le();
    rc.top = r.i32le();
    rc.right = r.i32le();
    rc.bottom = r.i32le();
    return rc;
}

struct EmfHeader {
    RectL bounds, frame;
    std::uint32_t size = 0;
    unsigned handles = 0;
    std::int32_t deviceW = 0, deviceH = 0, mmW = 0, mmH = 0;
};

bool ParseHeader(std::span<const std::uint8_t> data, EmfHeader& h) {
    ByteReader r(data);
    if (r.u32le() != kHeader) return false;
    h.size = r.u32le();
    h.bounds = ReadRect(r);
    h.frame = ReadRect(r);
    if (r.u32le() != kEmfSignature) return false;
    r.skip(12);  // version, bytes, records
    h.handles = r.u16le();
    r.skip(14);  // reserved, description, palette entries
    h.deviceW = r.i32le();
    h.deviceH = r.i32le();
    h.mmW = r.i32le();
    h.mmH = r.i32le();
    return r.ok() && h.size >= kMinHeaderSize && h.size <= data.size();
}

float ReadFloat(ByteReader& r) {
    const std::uint32_t bits = r.u32le();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Points of a polygon-style record: bounds, count, then 32- or 16-bit pairs.
std::vector<MetaPoint> ReadPoints(ByteReader& p, std::uint64_t count, bool small) {
    std::vector<MetaPoint> pts;
    const std::uint64_t each = small ? 4 : 8;
    if (count > p.remaining() / each) return pts;
    pts.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const double x = small ? p.i16le() : p.i32le();
        const double y = small ? p.i16le() : p.i32le();
        pts.push_back({x, y});
    }
    return pts;
}

// A bitmap at an offset from the record start; empty when it is not wholly inside.
std::span<const std::uint8_t> Part(std::span<const std::uint8_t> record, std::uint32_t offset,
                                   std::uint32_t size) {
    const ByteReader r(record);
    return r.at(offset, size);
}

class EmfPlayer {
  public:
    explicit EmfPlayer(MetafileCanvas& canvas) : canvas_(canvas) {}

    void Play(std::uint32_t type, std::span<const std::uint8_t> record) {
        ByteReader p(record.subspan(8));
        switch (type) {
            case kPolyBezier:
            case kPolygon:
            case kPolyline:
            case kPolyBezierTo:
            case kPolylineTo:
                return Poly(type, p, false);
            case kPolyBezier16:
            case kPolygon16:
            case kPolyline16:
            case kPolyBezierTo16:
            case kPolylineTo16:
                return Poly(type - kPolyBezier16 + kPolyBezier, p, true);
            case kPolyPolyline:
            case kPolyPolygon:
                return PolyPoly(type == kPolyPolygon, p, false);
            case kPolyPolyline16:
            case kPolyPolygon16:
                return PolyPoly(type == kPolyPolygon16, p, true);
            case kSetWindowExtEx:
            case kSetWindowOrgEx:
            case kSetViewportExtEx:
            case kSetViewportOrgEx:
            case kMoveToEx:
            case kLineTo: {
                const double x = p.i32le(), y = p.i32le();
                if (!p.ok()) return;
                if (type == kSetWindowExtEx)
                    canvas_.SetWindowExt(x, y);
                else if (type == kSetWindowOrgEx)
                    canvas_.SetWindowOrg(x, y);
                else if (type == kSetViewportExtEx)
                    canvas_.SetViewportExt(x, y);
                else if (type == kSetViewportOrgEx)
                    canvas_.SetViewportOrg(x, y);
                else if (type == kMoveToEx)
                    canvas_.MoveTo({x, y});
                else
                    canvas_.LineTo({x, y});
                return;
            }
            case kScaleViewportExtEx:
            case kScaleWindowExtEx: {
                const double xNum = p.i32le(), xDenom = p.i32le(), yNum = p.i32le(),
                             yDenom = p.i32le();
                if (!p.ok()) return;
                if (type == kScaleWindowExtEx)
                    canvas_.ScaleWindowExt(xNum, xDenom, yNum, yDenom);
                else
                    canvas_.ScaleViewportExt(xNum, xDenom, yNum, yDenom);
                return;
            }
            case kSetMapMode:
            case kSetPolyFillMode: {
                const std::uint32_t mode = p.u32le();
                if (!p.ok() || mode > 8) return;
                if (type == kSetMapMode)
                    canvas_.SetMapMode(static_cast<int>(mode));
                else
                    canvas_.SetPolyFillMode(static_cast<int>(mode));
                return;
            }
            case kSaveDc:
                return canvas_.SaveDC();
            case kRestoreDc: {
                const std::int32_t which = p.i32le();
                if (p.ok()) canvas_.RestoreDC(which);
                return;
            }
            case kSetWorldTransform:
            case kModifyWorldTransform: {
                double m[6];
                for (double& v : m) v = ReadFloat(p);
                if (type == kSetWorldTransform) {
                    if (p.ok()) canvas_.SetWorldTransform(m);
                    return;
                }
                const std::uint32_t mode = p.u32le();
                if (p.ok()) canvas_.ModifyWorldTransform(m, mode);
                return;
            }
            case kSelectObject: {
                const std::uint32_t index = p.u32le();
                if (!p.ok()) return;
                if (index & kStockObject)
                    canvas_.SelectStockObject(index & ~kStockObject);
                else
                    canvas_.SelectObject(index);
                return;
            }
            case kDeleteObject: {
                const std::uint32_t index = p.u32le();
                if (p.ok() && !(index & kStockObject)) canvas_.DeleteObject(index);
                return;
            }
            case kCreatePen: {
                const std::uint32_t index = p.u32le();
                MetaObject o;
                o.kind = MetaObject::Kind::Pen;
                o.pen.Style = p.u32le();
                o.pen.Width = std::abs(static_cast<double>(p.i32le()));
                p.i32le();
                o.pen.Color = ColorFromRef(p.u32le());
                o.pen.Visible = (o.pen.Style & 0x0f) != 5;
                if (p.ok()) canvas_.SetObject(index, o);
                return;
            }
            case kExtCreatePen: {
                const std::uint32_t index = p.u32le();
                p.skip(16);  // pattern bitmap
                MetaObject o;
                o.kind = MetaObject::Kind::Pen;
                o.pen.Style = p.u32le();
                const std::uint32_t width = p.u32le(), brushStyle = p.u32le();
                o.pen.Color = ColorFromRef(p.u32le());
                // A cosmetic pen is one pixel wide whatever the width says.
                const bool geometric = (o.pen.Style & 0x000F0000) == 0x00010000;
                o.pen.Width = geometric ? width : 0;
                o.pen.Visible = (o.pen.Style & 0x0f) != 5 && brushStyle != 1;
                if (p.ok()) canvas_.SetObject(index, o);
                return;
            }
            case kCreateBrushIndirect: {
                const std::uint32_t index = p.u32le(), style = p.u32le(), color = p.u32le();
                if (p.ok()) canvas_.SetObject(index, BrushObject(style, color));
                return;
            }
            case kCreateMonoBrush:
            case kCreateDibPatternBrushPt: {
                const std::uint32_t index = p.u32le();
                p.u32le();
                const std::uint32_t offBmi = p.u32le(), cbBmi = p.u32le(), offBits = p.u32le(),
                                    cbBits = p.u32le();
                if (!p.ok()) return;
                MetaObject o = BrushObject(1, 0);
                Rgb average;
                if (DibAverageColor(Part(record, offBmi, cbBmi), Part(record, offBits, cbBits),
                                    average))
                    o.brush = MetaBrush{true, average};
                canvas_.SetObject(index, o);
                return;
            }
            case kSetBkMode:
            case kSetTextAlign: {
                const std::uint32_t value = p.u32le();
                if (!p.ok()) return;
                if (type == kSetBkMode)
                    canvas_.SetBkMode(static_cast<int>(value));
                else
                    canvas_.SetTextAlign(value);
                return;
            }
            case kSetTextColor:
            case kSetBkColor: {
                const Rgb color = ColorFromRef(p.u32le());
                if (!p.ok()) return;
                if (type == kSetTextColor)
                    canvas_.SetTextColor(color);
                else
                    canvas_.SetBkColor(color);
                return;
            }
            case kExtCreateFontIndirectW: {
                const std::uint32_t index = p.u32le();
                MetaObject o;
                o.kind = MetaObject::Kind::Font;
                MetaFont& f = o.font;
                f.Height = p.i32le();
                p.i32le();
                f.Escapement = p.i32le();
                p.i32le();
                f.Weight = p.i32le();
                f.Italic = p.u8() != 0;
                f.Underline = p.u8() != 0;
                f.StrikeOut = p.u8() != 0;
                f.CharSet = p.u8();
                p.skip(4);
                if (!p.ok()) return;
                std::span<const std::uint8_t> face = record.subspan(8 + p.pos());
                face = face.first(std::min<std::size_t>(face.size(), 64));
                std::size_t end = 0;
                while (end + 1 < face.size() && (face[end] | face[end + 1]) != 0) end += 2;
                f.Face = TextFromUtf16(face.first(end));
                canvas_.SetObject(index, o);
                return;
            }
            case kExtTextOutA:
            case kExtTextOutW:
                PlayText(type, record, p);
                return;
            case kCreatePalette:
            case kCreateColorSpace:
            case kCreateColorSpaceW: {
                const std::uint32_t index = p.u32le();
                if (p.ok())
                    canvas_.SetObject(index, MetaObject{MetaObject::Kind::Other, {}, {}, {}});
                return;
            }
            case kEllipse:
            case kRectangle:
            case kRoundRect: {
                const RectL b = ReadRect(p);
                const double w = type == kRoundRect ? p.i32le() : 0;
                const double h = type == kRoundRect ? p.i32le() : 0;
                if (!p.ok()) return;
                if (type == kEllipse)
                    canvas_.Ellipse(b.left, b.top, b.right, b.bottom);
                else if (type == kRectangle)
                    canvas_.Rectangle(b.left, b.top, b.right, b.bottom);
                else
                    canvas_.RoundRect(b.left, b.top, b.right, b.bottom, w, h);
                return;
            }
            case kArc:
            case kChord:
            case kPie: {
                const RectL b = ReadRect(p);
                const double xs = p.i32le(), ys = p.i32le(), xe = p.i32le(), ye = p.i32le();
                if (!p.ok()) return;
                using Kind = MetafileCanvas::ArcKind;
                const Kind kind = type == kArc ? Kind::Arc : type == kPie ? Kind::Pie : Kind::Chord;
                canvas_.Arc(kind, b.left, b.top, b.right, b.bottom, {xs, ys}, {xe, ye});
                return;
            }
            case kBeginPath:
                return canvas_.BeginPath();
            case kEndPath:
                return canvas_.EndPath();
            case kCloseFigure:
                return canvas_.CloseFigure();
            case kAbortPath:
                return canvas_.AbortPath();
            case kFillPath:
                return canvas_.FillPath();
            case kStrokePath:
                return canvas_.StrokePath();
            case kStrokeAndFillPath:
                return canvas_.StrokeAndFillPath();
            case kBitBlt:
            case kStretchBlt:
            case kAlphaBlend:
                return Blt(type, record, p);
            case kStretchDiBits: {
                ReadRect(p);
                const double xDst = p.i32le(), yDst = p.i32le(), xSrc = p.i32le(), ySrc = p.i32le(),
                             cxSrc = p.i32le(), cySrc = p.i32le();
                const std::uint32_t offBmi = p.u32le(), cbBmi = p.u32le(), offBits = p.u32le(),
                                    cbBits = p.u32le();
                p.skip(8);  // usage, raster operation
                const double cxDst = p.i32le(), cyDst = p.i32le();
                if (!p.ok()) return;
                DrawDib(canvas_, Part(record, offBmi, cbBmi), Part(record, offBits, cbBits), xSrc,
                        ySrc, cxSrc, cySrc, xDst, yDst, cxDst, cyDst);
                return;
            }
            case kSetDiBitsToDevice: {
                ReadRect(p);
                const double xDst = p.i32le(), yDst = p.i32le(), xSrc = p.i32le(), ySrc = p.i32le(),
                             cxSrc = p.i32le(), cySrc = p.i32le();
                const std::uint32_t offBmi = p.u32le(), cbBmi = p.u32le(), offBits = p.u32le(),
                                    cbBits = p.u32le();
                if (!p.ok()) return;
                DrawDib(canvas_, Part(record, offBmi, cbBmi), Part(record, offBits, cbBits), xSrc,
                        ySrc, cxSrc, cySrc, xDst, yDst, cxSrc, cySrc);
                return;
            }
            default:
                return;
        }
    }

  private:
    void Poly(std::uint32_t type, ByteReader& p, bool small) {
        ReadRect(p);
        const std::uint32_t count = p.u32le();
        if (!p.ok()) return;
        const std::vector<MetaPoint> pts = ReadPoints(p, count, small);
        if (pts.empty()) return;
        switch (type) {
            case kPolyBezier:
                return canvas_.PolyBezier(pts);
            case kPolygon:
                return canvas_.Polygon(pts);
            case kPolyline:
                return canvas_.Polyline(pts);
            case kPolyBezierTo:
                return canvas_.PolyBezierTo(pts);
            default:
                return canvas_.PolylineTo(pts);
        }
    }

    void PolyPoly(bool polygon, ByteReader& p, bool small) {
        ReadRect(p);
        const std::uint32_t polys = p.u32le(), total = p.u32le();
        if (!p.ok() || polys > p.remaining() / 4) return;
        std::vector<std::uint32_t> counts(polys);
        std::uint64_t sum = 0;
        for (std::uint32_t& c : counts) sum += c = p.u32le();
        if (sum != total || total == 0) return;
        const std::vector<MetaPoint> pts = ReadPoints(p, total, small);
        if (pts.size() != total) return;
        if (polygon)
            canvas_.PolyPolygon(pts, counts);
        else
            canvas_.PolyPolyline(pts, counts);
    }

    // ExtTextOutA/W: bounds, graphics mode, scales, then the text's reference point, length,
    // string offset, options, rectangle and advances offset.
    void PlayText(std::uint32_t type, std::span<const std::uint8_t> record, ByteReader& p) {
        p.skip(16 + 12);
        const double x = p.i32le(), y = p.i32le();
        const std::uint32_t count = p.u32le(), offString = p.u32le(), options = p.u32le();
        double rect[4];
        for (double& v : rect) v = p.i32le();
        const std::uint32_t offDx = p.u32le();
        if (!p.ok() || count > Limits::kMaxBufferBytes / 4) return;
        const bool wide = type == kExtTextOutW;
        const std::span<const std::uint8_t> text = Part(record, offString, count * (wide ? 2 : 1));
        if (count > 0 && text.empty()) return;
        std::vector<double> advances;
        ByteReader dx(Part(record, offDx, count * 4));
        if (offDx != 0 && dx.remaining() == std::uint64_t{count} * 4)
            for (std::uint32_t i = 0; i < count; ++i) advances.push_back(dx.i32le());
        const std::string utf8 =
            wide ? TextFromUtf16(text) : TextFromCharSet(text, canvas_.CurrentFont().CharSet);
        const bool hasRect = (options & 6) && rect[2] > rect[0] && rect[3] > rect[1];
        canvas_.TextOut({x, y}, utf8, options, hasRect ? rect : nullptr, advances);
    }

    void Blt(std::uint32_t type, std::span<const std::uint8_t> record, ByteReader& p) {
        ReadRect(p);
        const double xDst = p.i32le(), yDst = p.i32le(), cxDst = p.i32le(), cyDst = p.i32le();
        const std::uint32_t rop = p.u32le();
        const double xSrc = p.i32le(), ySrc = p.i32le();
        p.skip(24 + 4 + 4);  // source transform, background colour, usage
        const std::uint32_t offBmi = p.u32le(), cbBmi = p.u32le(), offBits = p.u32le(),
                            cbBits = p.u32le();
        double cxSrc = cxDst, cySrc = cyDst;
        if (type != kBitBlt) {
            cxSrc = p.i32le();
            cySrc = p.i32le();
        }
        if (!p.ok()) return;
        if (cbBmi == 0) {
            static const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};
            if (type == kAlphaBlend) return;
            if (rop == kPatCopy)
                canvas_.FillRect(xDst, yDst, cxDst, cyDst, nullptr);
            else if (rop == kBlackness)
                canvas_.FillRect(xDst, yDst, cxDst, cyDst, &kBlack);
            else if (rop == kWhiteness)
                canvas_.FillRect(xDst, yDst, cxDst, cyDst, &kWhite);
            return;
        }
        DrawDib(canvas_, Part(record, offBmi, cbBmi), Part(record, offBits, cbBits), xSrc, ySrc,
                cxSrc, cySrc, xDst, yDst, cxDst, cyDst);
    }

    MetafileCanvas& canvas_;
};

bool ProbeEmf(std::span<const std::uint8_t> data) {
    return IsEnhancedMetafile(data);
}

// Where the picture lies in device units and how large it is at 96 dots per inch.
bool PictureFrame(const EmfHeader& h, MetaFrame& frame, double& width, double& height) {
    const double frameW = double(h.frame.right) - h.frame.left;
    const double frameH = double(h.frame.bottom) - h.frame.top;
    // Device pixels per hundredth of a millimetre; an implausible reference device counts as
    // a 96-dpi screen.
    double dx = h.mmW > 0 ? double(h.deviceW) / (double(h.mmW) * 100) : 0;
    double dy = h.mmH > 0 ? double(h.deviceH) / (double(h.mmH) * 100) : 0;
    if (!(dx > 1e-4 && dx < 10 && dy > 1e-4 && dy < 10)) dx = dy = 96.0 / 2540;
    frame.DeviceUnitsPerInch = dx * 2540;
    if (frameW > 0 && frameH > 0) {
        frame.RefX = h.frame.left * dx;
        frame.RefY = h.frame.top * dy;
        frame.RefW = frameW * dx;
        frame.RefH = frameH * dy;
        width = frameW * 96 / 2540;
        height = frameH * 96 / 2540;
        return true;
    }
    const double boundsW = double(h.bounds.right) - h.bounds.left + 1;
    const double boundsH = double(h.bounds.bottom) - h.bounds.top + 1;
    if (boundsW <= 1 || boundsH <= 1) return false;
    frame.RefX = h.bounds.left;
    frame.RefY = h.bounds.top;
    frame.RefW = width = boundsW;
    frame.RefH = height = boundsH;
    return true;
}

ImageError ReadEmf(ImageHolder& holder, std::span<const std::uint8_t> data,
                   const ReadOptions& options) {
    EmfHeader h;
    if (!ParseHeader(data, h)) return ImageError::Damaged;
    MetaFrame frame;
    double width = 0, height = 0;
    if (!PictureFrame(h, frame, width, height)) return ImageError::Damaged;
    int fullW = 0, fullH = 0;
    FitPictureSize(width, height, kMaxMetafileSide, 0, fullW, fullH);
    FitPictureSize(width, height, kMaxMetafileSide, options.DisplaySizeHint, frame.Width,
                   frame.Height);
    frame.MapMode = kMmText;

    MetafileCanvas canvas;
    if (!canvas.Begin(frame)) return ImageError::Damaged;
    canvas.ResetObjects(h.handles);
    EmfPlayer player(canvas);
    ByteReader r(data);
    std::uint64_t pos = h.size;
    for (std::uint64_t n = 0; n < kMaxMetafileRecords && canvas.Alive(); ++n) {
        if (!r.seek(pos)) break;
        const std::uint32_t type = r.u32le(), size = r.u32le();
        if (!r.ok() || type == kEof || size < 8 || size % 4 != 0 || !r.has(pos, size)) break;
        player.Play(type, r.at(pos, size));
        pos += size;
    }
    return DeliverMetafilePicture(canvas, holder, fullW, fullH);
}

}  // namespace

bool IsEnhancedMetafile(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    const std::uint32_t type = r.u32le();
    r.seek(40);
    return type == kHeader && r.u32le() == kEmfSignature && r.ok();
}

const FormatCodec kEmfCodec{ProbeEmf, ReadEmf, nullptr};

}  // namespace gw
