// Windows metafile player: the records clip-art uses, drawn through the shared canvas.
#include "imagefile/metafile/wmf.h"

#include <cmath>
#include <vector>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/metafile/canvas.h"
#include "imagefile/metafile/text.h"

namespace gw {
namespace {

constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kHeaderSize = 18;

enum : std::uint16_t {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kSetPolyFillMode = 0x0106,
    kSetBkColor = 0x0201,
    kSetBkMode = 0x0102,
    kSetTextColor = 0x0209,
    kSetTextAlign = 0x012E,
    kTextOut = 0x0521,
    kExtTextOut = 0x0A32,
    kSetMapMode = 0x0103,
    kRestoreDc = 0x0127,
    kSelectObject = 0x012D,
    kDeleteObject = 0x01F0,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
    kDibBitBlt = 0x0940,
    kDibStretchBlt = 0x0B41,
    kStretchDib = 0x0F43,
    kCreatePalette = 0x00F7,
    kDibCreatePatternBrush = 0x0142,
    kCreatePatternBrush = 0x01F9,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kCreateRegion = 0x06FF,
};

struct WmfHeader {
    bool placeable = false;
    int left = 0, top = 0, right = 0, bottom = 0;
    unsigned inch = 0;
    unsigned objects = 0;
    std::size_t recordsStart = 0;
};

bool ParseMetaHeader(ByteReader& r) {
    const unsigned type = r.u16le(), headerWords = r.u16le(), version = r.u16le();
    r.skip(12);
    return r.ok() && (type == 1 || type == 2) && headerWords == 9 &&
           (version == 0x100 || version == 0x300);
}

bool ParseHeader(std::span<const std::uint8_t> data, WmfHeader& h) {
    ByteReader r(data);
    if (r.u32le() == kPlaceableWmfKey) {
        h.placeable = true;
        r.u16le();
        h.left = r.i16le();
        h.top = r.i16le();
        h.right = r.i16le();
        h.bottom = r.i16le();
        h.inch = r.u16le();
        r.skip(6);
    } else {
        r.seek(0);
    }
    const std::size_t start = r.pos();
    if (!ParseMetaHeader(r)) return false;
    ByteReader objects(data);
    objects.seek(start + 10);
    h.objects = objects.u16le();
    h.recordsStart = start + kHeaderSize;
    return r.ok();
}

bool ProbeWmf(std::span<const std::uint8_t> data) {
    return IsWindowsMetafile(data);
}

// One record: its function and the parameter bytes after the six-byte record head.
struct Record {
    std::uint16_t function = 0;
    std::span<const std::uint8_t> params;
};

// Walks the records; false from visit ends the walk. A size that leaves the data ends it too.
template <typename Visit>
void WalkRecords(std::span<const std::uint8_t> data, std::size_t start, Visit visit) {
    ByteReader r(data);
    std::uint64_t pos = start;
    for (std::uint64_t n = 0; n < kMaxMetafileRecords; ++n) {
        if (!r.seek(pos)) return;
        const std::uint64_t words = r.u32le();
        const std::uint16_t function = r.u16le();
        if (!r.ok() || function == kEof || words < 3 || !r.has(pos, words * 2)) return;
        if (!visit(Record{function, r.at(pos + 6, words * 2 - 6)})) return;
        pos += words * 2;
    }
}

// The first window origin and extent a metafile without placeable header sets.
void FindWindow(std::span<const std::uint8_t> data, std::size_t start, MetaPoint& org,
                MetaPoint& ext, bool& found) {
    bool haveOrg = false;
    found = false;
    WalkRecords(data, start, [&](const Record& rec) {
        ByteReader p(rec.params);
        const double y = p.i16le(), x = p.i16le();
        if (!p.ok()) return true;
        if (rec.function == kSetWindowOrg && !haveOrg) {
            org = {x, y};
            haveOrg = true;
        } else if (rec.function == kSetWindowExt && x != 0 && y != 0) {
            ext = {x, y};
            found = true;
            return false;
        }
        return true;
    });
}

std::vector<MetaPoint> ReadPoints(ByteReader& p, std::uint64_t count) {
    std::vector<MetaPoint> pts;
    if (count * 4 > p.remaining()) return pts;
    pts.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const double x = p.i16le(), y = p.i16le();
        pts.push_back({x, y});
    }
    return pts;
}

MetaObject PenObject(ByteReader& p) {
    MetaObject o;
    o.kind = MetaObject::Kind::Pen;
    o.pen.Style = p.u16le();
    o.pen.Width = std::abs(p.i16le());
    p.i16le();
    o.pen.Color = ColorFromRef(p.u32le());
    o.pen.Visible = (o.pen.Style & 0x0f) != 5;
    return o;
}

MetaObject FontObject(ByteReader& p) {
    MetaObject o;
    o.kind = MetaObject::Kind::Font;
    MetaFont& f = o.font;
    f.Height = p.i16le();
    p.i16le();  // average width: the face's own proportions are kept
    f.Escapement = p.i16le();
    p.i16le();
    f.Weight = p.i16le();
    f.Italic = p.u8() != 0;
    f.Underline = p.u8() != 0;
    f.StrikeOut = p.u8() != 0;
    f.CharSet = p.u8();
    p.skip(4);
    std::vector<std::uint8_t> face;
    for (int i = 0; i < 32 && p.remaining() > 0; ++i) {
        const std::uint8_t c = p.u8();
        if (c == 0) break;
        face.push_back(c);
    }
    f.Face = TextFromCharSet(face, f.CharSet);
    return o;
}

// TextOut and ExtTextOut: the string in the selected font's character set.
void PlayText(MetafileCanvas& canvas, const Record& rec, int charSet) {
    ByteReader p(rec.params);
    if (rec.function == kTextOut) {
        const std::uint64_t length = p.u16le();
        if (!p.ok() || length > p.remaining()) return;
        const std::span<const std::uint8_t> text = rec.params.subspan(p.pos(), length);
        p.skip((length + 1) & ~std::uint64_t{1});
        const double y = p.i16le(), x = p.i16le();
        if (p.ok()) canvas.TextOut({x, y}, TextFromCharSet(text, charSet), 0, nullptr, {});
        return;
    }
    const double y = p.i16le(), x = p.i16le();
    const std::uint64_t length = p.u16le();
    const std::uint32_t options = p.u16le();
    double rect[4] = {};
    const bool hasRect = options & 6;
    if (hasRect)
        for (double& v : rect) v = p.i16le();
    if (!p.ok() || length > p.remaining()) return;
    const std::span<const std::uint8_t> text = rec.params.subspan(p.pos(), length);
    p.skip((length + 1) & ~std::uint64_t{1});
    std::vector<double> advances;
    if (p.remaining() >= length * 2)
        for (std::uint64_t i = 0; i < length; ++i) advances.push_back(p.i16le());
    canvas.TextOut({x, y}, TextFromCharSet(text, charSet), options, hasRect ? rect : nullptr,
                   advances);
}

// A bitmap record; without a bitmap, the last four words hold the destination to fill.
void PlayBitmap(MetafileCanvas& canvas, const Record& rec, bool stretch, bool withUsage) {
    ByteReader p(rec.params);
    const std::uint32_t rop = p.u32le();
    // The high byte of the function is the record's size in words without a bitmap.
    const bool hasBitmap = rec.params.size() > static_cast<std::size_t>(rec.function >> 8) * 2;
    if (withUsage) p.u16le();
    double srcH = 0, srcW = 0;
    if (stretch) {
        srcH = p.i16le();
        srcW = p.i16le();
    }
    const double ySrc = p.i16le(), xSrc = p.i16le();
    if (!hasBitmap) {
        ByteReader tail(rec.params);
        tail.seek(rec.params.size() >= 8 ? rec.params.size() - 8 : rec.params.size());
        const double h = tail.i16le(), w = tail.i16le(), y = tail.i16le(), x = tail.i16le();
        if (!tail.ok() || !p.ok()) return;
        static const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};
        if (rop == kPatCopy)
            canvas.FillRect(x, y, w, h, nullptr);
        else if (rop == kBlackness)
            canvas.FillRect(x, y, w, h, &kBlack);
        else if (rop == kWhiteness)
            canvas.FillRect(x, y, w, h, &kWhite);
        return;
    }
    const double dstH = p.i16le(), dstW = p.i16le(), yDst = p.i16le(), xDst = p.i16le();
    if (!stretch) {
        srcH = dstH;
        srcW = dstW;
    }
    if (!p.ok()) return;
    DrawDib(canvas, rec.params.subspan(p.pos()), {}, xSrc, ySrc, srcW, srcH, xDst, yDst, dstW,
            dstH);
}

void PlayRecord(MetafileCanvas& canvas, const Record& rec) {
    ByteReader p(rec.params);
    switch (rec.function) {
        case kSetTextColor:
        case kSetBkColor: {
            const Rgb color = ColorFromRef(p.u32le());
            if (!p.ok()) return;
            if (rec.function == kSetTextColor)
                canvas.SetTextColor(color);
            else
                canvas.SetBkColor(color);
            return;
        }
        case kSetBkMode: {
            const int mode = p.u16le();
            if (p.ok()) canvas.SetBkMode(mode);
            return;
        }
        case kSetTextAlign: {
            const std::uint32_t align = p.u16le();
            if (p.ok()) canvas.SetTextAlign(align);
            return;
        }
        case kTextOut:
        case kExtTextOut:
            PlayText(canvas, rec, canvas.CurrentFont().CharSet);
            return;
        case kCreateFontIndirect: {
            const MetaObject o = FontObject(p);
            canvas.AddObject(p.ok() ? o : MetaObject{MetaObject::Kind::Other, {}, {}, {}});
            return;
        }
        case kSaveDc:
            canvas.SaveDC();
            return;
        case kRestoreDc: {
            const int which = p.i16le();
            if (p.ok()) canvas.RestoreDC(which);
            return;
        }
        case kSetMapMode: {
            const int mode = p.u16le();
            if (p.ok()) canvas.SetMapMode(mode);
            return;
        }
        case kSetPolyFillMode: {
            const int mode = p.u16le();
            if (p.ok()) canvas.SetPolyFillMode(mode);
            return;
        }
        case kSelectObject:
        case kDeleteObject: {
            const unsigned index = p.u16le();
            if (!p.ok()) return;
            if (rec.function == kSelectObject)
                canvas.SelectObject(index);
            else
                canvas.DeleteObject(index);
            return;
        }
        case kSetWindowOrg:
        case kSetWindowExt:
        case kSetViewportOrg:
        case kSetViewportExt:
        case kOffsetWindowOrg:
        case kOffsetViewportOrg:
        case kMoveTo:
        case kLineTo: {
            const double y = p.i16le(), x = p.i16le();
            if (!p.ok()) return;
            switch (rec.function) {
                case kSetWindowOrg:
                    canvas.SetWindowOrg(x, y);
                    break;
                case kSetWindowExt:
                    canvas.SetWindowExt(x, y);
                    break;
                case kSetViewportOrg:
                    canvas.SetViewportOrg(x, y);
                    break;
                case kSetViewportExt:
                    canvas.SetViewportExt(x, y);
                    break;
                case kOffsetWindowOrg:
                    canvas.OffsetWindowOrg(x, y);
                    break;
                case kOffsetViewportOrg:
                    canvas.OffsetViewportOrg(x, y);
                    break;
                case kMoveTo:
                    canvas.MoveTo({x, y});
                    break;
                default:
                    canvas.LineTo({x, y});
                    break;
            }
            return;
        }
        case kScaleWindowExt:
        case kScaleViewportExt: {
            const double yDenom = p.i16le(), yNum = p.i16le(), xDenom = p.i16le(), xNum = p.i16le();
            if (!p.ok()) return;
            if (rec.function == kScaleWindowExt)
                canvas.ScaleWindowExt(xNum, xDenom, yNum, yDenom);
            else
                canvas.ScaleViewportExt(xNum, xDenom, yNum, yDenom);
            return;
        }
        case kRectangle:
        case kEllipse:
        case kRoundRect: {
            double h = 0, w = 0;
            if (rec.function == kRoundRect) {
                h = p.i16le();
                w = p.i16le();
            }
            const double bottom = p.i16le(), right = p.i16le(), top = p.i16le(), left = p.i16le();
            if (!p.ok()) return;
            if (rec.function == kRectangle)
                canvas.Rectangle(left, top, right, bottom);
            else if (rec.function == kEllipse)
                canvas.Ellipse(left, top, right, bottom);
            else
                canvas.RoundRect(left, top, right, bottom, w, h);
            return;
        }
        case kArc:
        case kPie:
        case kChord: {
            const double yEnd = p.i16le(), xEnd = p.i16le(), yStart = p.i16le(), xStart = p.i16le(),
                         bottom = p.i16le(), right = p.i16le(), top = p.i16le(), left = p.i16le();
            if (!p.ok()) return;
            using Kind = MetafileCanvas::ArcKind;
            const Kind kind = rec.function == kArc   ? Kind::Arc
                              : rec.function == kPie ? Kind::Pie
                                                     : Kind::Chord;
            canvas.Arc(kind, left, top, right, bottom, {xStart, yStart}, {xEnd, yEnd});
            return;
        }
        case kPolygon:
        case kPolyline: {
            const int n = p.i16le();
            if (!p.ok() || n <= 0) return;
            const std::vector<MetaPoint> pts = ReadPoints(p, static_cast<std::uint64_t>(n));
            if (pts.empty()) return;
            if (rec.function == kPolygon)
                canvas.Polygon(pts);
            else
                canvas.Polyline(pts);
            return;
        }
        case kPolyPolygon: {
            const unsigned polygons = p.u16le();
            if (!p.ok() || std::uint64_t{polygons} * 2 > p.remaining()) return;
            std::vector<std::uint32_t> counts(polygons);
            std::uint64_t total = 0;
            for (std::uint32_t& c : counts) total += c = p.u16le();
            const std::vector<MetaPoint> pts = ReadPoints(p, total);
            if (pts.size() == total && total > 0) canvas.PolyPolygon(pts, counts);
            return;
        }
        case kCreatePenIndirect: {
            const MetaObject o = PenObject(p);
            if (p.ok())
                canvas.AddObject(o);
            else
                canvas.AddObject(MetaObject{MetaObject::Kind::Other, {}, {}, {}});
            return;
        }
        case kCreateBrushIndirect: {
            const std::uint32_t style = p.u16le(), color = p.u32le();
            canvas.AddObject(p.ok() ? BrushObject(style, color)
                                    : MetaObject{MetaObject::Kind::Other, {}, {}, {}});
            return;
        }
        case kDibCreatePatternBrush: {
            p.u16le();
            p.u16le();
            MetaObject o = BrushObject(1, 0);
            Rgb average;
            if (p.ok() && DibAverageColor(rec.params.subspan(p.pos()), {}, average))
                o.brush = MetaBrush{true, average};
            canvas.AddObject(o);
            return;
        }
        case kCreatePatternBrush:
            canvas.AddObject(BrushObject(1, 0));
            return;
        case kCreatePalette:
        case kCreateRegion:
            // They take a slot in the object table even though nothing here draws with them.
            canvas.AddObject(MetaObject{MetaObject::Kind::Other, {}, {}, {}});
            return;
        case kStretchDib:
            PlayBitmap(canvas, rec, true, true);
            return;
        case kDibStretchBlt:
            PlayBitmap(canvas, rec, true, false);
            return;
        case kDibBitBlt:
            PlayBitmap(canvas, rec, false, false);
            return;
        default:
            return;
    }
}

ImageError ReadWmf(ImageHolder& holder, std::span<const std::uint8_t> data,
                   const ReadOptions& options) {
    WmfHeader h;
    if (!ParseHeader(data, h)) return ImageError::Damaged;
    MetaFrame frame;
    double width = 0, height = 0;
    int maxSide = kMaxMetafileSide;
    const double bw = h.right - h.left, bh = h.bottom - h.top;
    if (h.placeable && bw != 0 && bh != 0) {
        // Played as a viewer plays it through GDI: the bounding box is the window, the picture
        // at 96 dots per inch the viewport, and device units are the picture's pixels. The
        // metafile's own window and viewport records then change that mapping as GDI's do.
        const double inch = h.inch ? h.inch : 1440;
        width = std::fabs(bw) * 96 / inch;
        height = std::fabs(bh) * 96 / inch;
        frame.RefW = width;
        frame.RefH = height;
        frame.DeviceUnitsPerInch = 96;
        frame.WindowOrg = MetaPoint{double(h.left), double(h.top)};
        frame.WindowExt = MetaPoint{bw, bh};
        frame.ViewportExt = MetaPoint{width, height};
    } else {
        MetaPoint org, ext{kDefaultMetafileSide / 4.0, kDefaultMetafileSide / 4.0};
        bool found = false;
        FindWindow(data, h.recordsStart, org, ext, found);
        width = std::fabs(ext.x);
        height = std::fabs(ext.y);
        frame.RefW = width;
        frame.RefH = height;
        frame.WindowOrg = org;
        maxSide = kDefaultMetafileSide;
    }
    int fullW = 0, fullH = 0;
    FitPictureSize(width, height, maxSide, 0, fullW, fullH);
    FitPictureSize(width, height, maxSide, options.DisplaySizeHint, frame.Width, frame.Height);
    frame.MapMode = kMmAnisotropic;

    MetafileCanvas canvas;
    if (!canvas.Begin(frame)) return ImageError::Damaged;
    canvas.ResetObjects(h.objects);
    WalkRecords(data, h.recordsStart, [&](const Record& rec) {
        PlayRecord(canvas, rec);
        return canvas.Alive();
    });
    return DeliverMetafilePicture(canvas, holder, fullW, fullH);
}

}  // namespace

bool IsWindowsMetafile(std::span<const std::uint8_t> data) {
    ByteReader r(data);
    if (r.u32le() == kPlaceableWmfKey && r.ok()) return true;
    r.seek(0);
    return data.size() >= kHeaderSize && ParseMetaHeader(r);
}

const FormatCodec kWmfCodec{ProbeWmf, ReadWmf, nullptr};

}  // namespace gw
