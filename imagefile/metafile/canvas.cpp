#include "imagefile/metafile/canvas.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/limits.h"
#include "imagefile/metafile/text.h"

namespace gw {
namespace {

constexpr std::size_t kMaxSavedStates = 1024;
// Work one picture may take in all, in units of about one filled pixel (about a second).
constexpr double kWorkBudget = double(std::uint64_t{1} << 31);
// Picture coordinates beyond this are clamped before cairo sees them.
constexpr double kCoordLimit = double(1 << 22);

// Pen style bits.
constexpr std::uint32_t kPsNull = 5;
constexpr std::uint32_t kPsStyleMask = 0x0f;
constexpr std::uint32_t kPsEndcapMask = 0x0f00;
constexpr std::uint32_t kPsEndcapSquare = 0x0100;
constexpr std::uint32_t kPsEndcapFlat = 0x0200;
constexpr std::uint32_t kPsJoinMask = 0xf000;
constexpr std::uint32_t kPsJoinBevel = 0x1000;
constexpr std::uint32_t kPsJoinMiter = 0x2000;
constexpr std::uint32_t kPsTypeMask = 0x000F0000;
constexpr std::uint32_t kPsGeometric = 0x00010000;

// The dash pattern of a pen style, in pixels for a cosmetic pen (the lengths GDI draws) and in
// pen widths for a geometric one; empty for solid styles.
std::vector<double> DashPattern(std::uint32_t style, bool geometric) {
    switch (style & kPsStyleMask) {
        case 1:  // dash
            return geometric ? std::vector<double>{3, 1} : std::vector<double>{18, 6};
        case 2:  // dot
            return geometric ? std::vector<double>{1, 1} : std::vector<double>{3, 3};
        case 3:  // dash dot
            return geometric ? std::vector<double>{3, 1, 1, 1} : std::vector<double>{9, 6, 3, 6};
        case 4:  // dash dot dot
            return geometric ? std::vector<double>{3, 1, 1, 1, 1, 1}
                             : std::vector<double>{9, 3, 3, 3, 3, 3};
        case 8:  // alternate pixels
            return {1, 1};
        default:
            return {};
    }
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct PathDeleter {
    void operator()(cairo_path_t* p) const { cairo_path_destroy(p); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;
using PathPtr = std::unique_ptr<cairo_path_t, PathDeleter>;

bool Finite(double v) {
    return std::isfinite(v);
}

bool MatrixUsable(const cairo_matrix_t& m) {
    const double det = m.xx * m.yy - m.xy * m.yx;
    return Finite(m.xx) && Finite(m.xy) && Finite(m.yx) && Finite(m.yy) && Finite(m.x0) &&
           Finite(m.y0) && Finite(det) && std::fabs(det) > 1e-12;
}

cairo_matrix_t FromXform(const double m[6]) {
    cairo_matrix_t r;
    cairo_matrix_init(&r, m[0], m[1], m[2], m[3], m[4], m[5]);
    return r;
}

}  // namespace

struct MetafileCanvas::State {
    MetaPen pen;
    MetaBrush brush;
    int fillMode = 1;
    int mapMode = kMmAnisotropic;
    MetaPoint winOrg, vpOrg;
    MetaPoint winExt{1, 1}, vpExt{1, 1};
    bool winExtSet = false, vpExtSet = false;
    cairo_matrix_t world;
    MetaPoint current;
    MetaFont font;
    Rgb textColor{0, 0, 0}, bkColor{255, 255, 255};
    int bkMode = 2;
    std::uint32_t textAlign = 0;
};

struct MetafileCanvas::Impl {
    MetaFrame frame;
    SurfacePtr surface;
    ContextPtr cr;
    State state;
    std::vector<State> saved;
    std::vector<MetaObject> objects;
    bool inPath = false;
    PathPtr path;
    double work = 0;
    cairo_matrix_t toPicture;

    bool Alive() const { return cr && cairo_status(cr.get()) == CAIRO_STATUS_SUCCESS; }

    MetaPoint FrameExt(MetaPoint given) const {
        return given.x != 0 && given.y != 0 ? given : MetaPoint{frame.RefW, frame.RefH};
    }
    MetaPoint WindowExt() const {
        return state.winExtSet ? state.winExt : FrameExt(frame.WindowExt);
    }
    MetaPoint ViewportExt() const {
        return state.vpExtSet ? state.vpExt : FrameExt(frame.ViewportExt);
    }

    // Logical to picture pixels: world, then page, then device to picture.
    bool Transform(cairo_matrix_t& out) const {
        double sx = 1, sy = 1;
        switch (state.mapMode) {
            case kMmText:
                break;
            case kMmLoMetric:
            case kMmHiMetric:
            case kMmLoEnglish:
            case kMmHiEnglish:
            case kMmTwips: {
                static const double kUnitsPerInch[] = {254, 2540, 100, 1000, 1440};
                sx = frame.DeviceUnitsPerInch / kUnitsPerInch[state.mapMode - kMmLoMetric];
                sy = -sx;
                break;
            }
            default: {
                const MetaPoint w = WindowExt(), v = ViewportExt();
                if (w.x == 0 || w.y == 0) return false;
                sx = v.x / w.x;
                sy = v.y / w.y;
                if (state.mapMode == kMmIsotropic) {
                    const double s = std::min(std::fabs(sx), std::fabs(sy));
                    sx = std::copysign(s, sx);
                    sy = std::copysign(s, sy);
                }
            }
        }
        cairo_matrix_t page, picture;
        cairo_matrix_init(&page, sx, 0, 0, sy, state.vpOrg.x - state.winOrg.x * sx,
                          state.vpOrg.y - state.winOrg.y * sy);
        const double px = frame.Width / frame.RefW, py = frame.Height / frame.RefH;
        cairo_matrix_init(&picture, px, 0, 0, py, -frame.RefX * px, -frame.RefY * py);
        cairo_matrix_multiply(&out, &state.world, &page);
        cairo_matrix_multiply(&out, &out, &picture);
        return MatrixUsable(out);
    }

    // Starts a shape: outside a path bracket the previous geometry is dropped. Fixes the
    // logical-to-picture matrix for Move/Line/Curve; false when nothing can be drawn.
    bool StartShape() {
        if (!Alive() || !Transform(toPicture)) return false;
        if (!inPath) cairo_new_path(cr.get());
        cairo_identity_matrix(cr.get());
        return true;
    }

    // A logical point in picture pixels, kept inside the range cairo's fixed-point numbers hold.
    MetaPoint Map(MetaPoint p) const {
        double x = p.x, y = p.y;
        cairo_matrix_transform_point(&toPicture, &x, &y);
        return {std::clamp(Finite(x) ? x : 0.0, -kCoordLimit, kCoordLimit),
                std::clamp(Finite(y) ? y : 0.0, -kCoordLimit, kCoordLimit)};
    }
    void Move(MetaPoint p) {
        const MetaPoint d = Map(p);
        cairo_move_to(cr.get(), d.x, d.y);
    }
    void Line(MetaPoint p) {
        const MetaPoint d = Map(p);
        cairo_line_to(cr.get(), d.x, d.y);
    }
    void Curve(MetaPoint a, MetaPoint b, MetaPoint c) {
        const MetaPoint p = Map(a), q = Map(b), r = Map(c);
        cairo_curve_to(cr.get(), p.x, p.y, q.x, q.y, r.x, r.y);
    }
    // Continues from the current point inside a path bracket, else starts at from.
    void StartAt(MetaPoint from) {
        if (!inPath || !cairo_has_current_point(cr.get())) Move(from);
    }

    double PenPixels() const {
        cairo_matrix_t m;
        double scale = 1;
        if (Transform(m)) scale = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
        const double px = state.pen.Width * scale;
        const double limit = 2.0 * std::max(frame.Width, frame.Height);
        return std::clamp(Finite(px) ? px : 1.0, 1.0, limit);
    }

    // Charges the current path (in picture space) against the work budget: the pixels it may
    // touch, the length of its edges (the scan converter's work per row) and an estimate of
    // the edge crossings it must resolve (many long edges in a small box cross often); strokes
    // cost more than fills. The weights were measured on dense self-crossing polygons.
    // False when the budget would be exceeded.
    bool Charge(bool fill, bool stroke) {
        double x1, y1, x2, y2;
        cairo_path_extents(cr.get(), &x1, &y1, &x2, &y2);
        // A stroke touches the pixels around the path as far as half the pen's width.
        const double pen = stroke ? PenPixels() : 0;
        x1 -= pen / 2, y1 -= pen / 2, x2 += pen / 2, y2 += pen / 2;
        const double diag = std::hypot(x2 - x1, y2 - y1) + 1;
        double edges = 0, length = 0;
        const double edgeCap = 2.0 * (frame.Width + frame.Height);
        PathPtr path(cairo_copy_path(cr.get()));
        if (path && path->status == CAIRO_STATUS_SUCCESS) {
            double lastX = 0, lastY = 0, startX = 0, startY = 0;
            for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
                const cairo_path_data_t* d = &path->data[i];
                auto edgeTo = [&](double x, double y) {
                    length += std::min(std::fabs(x - lastX) + std::fabs(y - lastY), edgeCap);
                    edges += 1;
                    lastX = x;
                    lastY = y;
                };
                switch (d->header.type) {
                    case CAIRO_PATH_MOVE_TO:
                        lastX = startX = d[1].point.x;
                        lastY = startY = d[1].point.y;
                        break;
                    case CAIRO_PATH_LINE_TO:
                        edgeTo(d[1].point.x, d[1].point.y);
                        break;
                    case CAIRO_PATH_CURVE_TO:
                        for (int k = 1; k <= 3; ++k) edgeTo(d[k].point.x, d[k].point.y);
                        break;
                    case CAIRO_PATH_CLOSE_PATH:
                        edgeTo(startX, startY);
                        break;
                }
            }
        }
        const double ratio = edges > 0 ? std::min(1.0, length / edges / diag) : 0;
        const double crossings = edges * edges * ratio * ratio;
        x1 = std::clamp(x1, 0.0, double(frame.Width));
        x2 = std::clamp(x2, 0.0, double(frame.Width));
        y1 = std::clamp(y1, 0.0, double(frame.Height));
        y2 = std::clamp(y2, 0.0, double(frame.Height));
        const double cost = (x2 - x1 + 2) * (y2 - y1 + 2) + 64 + 16 * edges +
                            length * ((fill ? 150 : 0) + (stroke ? 400 + pen : 0)) +
                            crossings * ((fill ? 50 : 0) + (stroke ? 250 : 0));
        if (!(cost <= kWorkBudget - work)) return false;  // this shape is skipped
        work += cost;
        return true;
    }

    void SetColor(Rgb c) { cairo_set_source_rgb(cr.get(), c.r / 255.0, c.g / 255.0, c.b / 255.0); }

    // Paints the current path (already in picture space) with the brush and/or the pen.
    void Paint(bool fill, bool stroke) {
        if (inPath || !Alive()) return;
        cairo_t* c = cr.get();
        const bool strokes =
            stroke && state.pen.Visible && (state.pen.Style & kPsStyleMask) != kPsNull;
        if (!Charge(fill && state.brush.Visible, strokes)) return;
        if (fill && state.brush.Visible) {
            SetColor(state.brush.Color);
            cairo_set_fill_rule(
                c, state.fillMode == 2 ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
            cairo_fill_preserve(c);
        }
        const MetaPen& pen = state.pen;
        if (strokes) {
            SetColor(pen.Color);
            cairo_set_line_width(c, PenPixels());
            const std::uint32_t cap = pen.Style & kPsEndcapMask, join = pen.Style & kPsJoinMask;
            cairo_set_line_cap(c, cap == kPsEndcapFlat     ? CAIRO_LINE_CAP_BUTT
                                  : cap == kPsEndcapSquare ? CAIRO_LINE_CAP_SQUARE
                                                           : CAIRO_LINE_CAP_ROUND);
            cairo_set_line_join(c, join == kPsJoinBevel   ? CAIRO_LINE_JOIN_BEVEL
                                   : join == kPsJoinMiter ? CAIRO_LINE_JOIN_MITER
                                                          : CAIRO_LINE_JOIN_ROUND);
            SetDash(pen);
            // GDI centres a line of odd width on the pixels its points name, not on their
            // edges: shift the outline by half a pixel so one-pixel lines stay crisp.
            const long width = std::lround(PenPixels());
            if (width % 2 == 1 && std::fabs(PenPixels() - static_cast<double>(width)) < 1e-6) {
                PathPtr outline(cairo_copy_path(c));
                cairo_new_path(c);
                cairo_save(c);
                cairo_translate(c, 0.5, 0.5);
                if (outline) cairo_append_path(c, outline.get());
                cairo_stroke(c);
                cairo_restore(c);
            } else {
                cairo_stroke_preserve(c);
            }
            cairo_set_dash(c, nullptr, 0, 0);
        }
        cairo_new_path(c);
    }

    // Styled pens: a cosmetic pen (one pixel) dashes in pixels with flat ends; a geometric pen
    // scales its pattern with its width. A wide pen that is not geometric draws solid, as GDI
    // draws such pens.
    void SetDash(const MetaPen& pen) {
        const double width = PenPixels();
        const bool geometric = (pen.Style & kPsTypeMask) == kPsGeometric;
        if (!geometric && width > 1.5) return;
        std::vector<double> dashes = DashPattern(pen.Style, geometric);
        if (dashes.empty()) return;
        if (geometric)
            for (double& d : dashes) d *= width;
        else
            cairo_set_line_cap(cr.get(), CAIRO_LINE_CAP_BUTT);
        cairo_set_dash(cr.get(), dashes.data(), static_cast<int>(dashes.size()), 0);
    }

    // Quarter of an ellipse around (cx, cy) from angle a to a + 90 degrees, as one cubic curve.
    void Quarter(double cx, double cy, double rx, double ry, int quadrant) {
        constexpr double k = 0.5522847498307936;
        static const double kDir[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
        const double* s = kDir[quadrant];
        const double* e = kDir[(quadrant + 1) % 4];
        Curve({cx + rx * (s[0] + k * e[0]), cy + ry * (s[1] + k * e[1])},
              {cx + rx * (e[0] + k * s[0]), cy + ry * (e[1] + k * s[1])},
              {cx + rx * e[0], cy + ry * e[1]});
    }

    void AddEllipse(double cx, double cy, double rx, double ry) {
        cairo_new_sub_path(cr.get());
        Move({cx + rx, cy});
        for (int q = 0; q < 4; ++q) Quarter(cx, cy, rx, ry, q);
        cairo_close_path(cr.get());
    }

    void AddPoints(std::span<const MetaPoint> pts, bool close) {
        if (pts.empty()) return;
        Move(pts[0]);
        for (std::size_t i = 1; i < pts.size(); ++i) Line(pts[i]);
        if (close) cairo_close_path(cr.get());
    }

    void AddBeziers(std::span<const MetaPoint> pts) {
        for (std::size_t i = 0; i + 3 <= pts.size(); i += 3) Curve(pts[i], pts[i + 1], pts[i + 2]);
    }
};

MetafileCanvas::MetafileCanvas() : impl_(std::make_unique<Impl>()) {
    cairo_matrix_init_identity(&impl_->state.world);
}

MetafileCanvas::~MetafileCanvas() = default;

bool MetafileCanvas::Begin(const MetaFrame& frame) {
    if (!ImageSizeAllowed(frame.Width, frame.Height) || frame.Width > kMaxMetafileSide ||
        frame.Height > kMaxMetafileSide || !Finite(frame.RefW) || !Finite(frame.RefH) ||
        frame.RefW == 0 || frame.RefH == 0 || !Finite(frame.RefX) || !Finite(frame.RefY) ||
        !(frame.DeviceUnitsPerInch > 0))
        return false;
    Impl& m = *impl_;
    m.frame = frame;
    m.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, frame.Width, frame.Height));
    if (cairo_surface_status(m.surface.get()) != CAIRO_STATUS_SUCCESS) return false;
    m.cr.reset(cairo_create(m.surface.get()));
    if (cairo_status(m.cr.get()) != CAIRO_STATUS_SUCCESS) return false;
    m.state.mapMode = frame.MapMode;
    m.state.winOrg = frame.WindowOrg;
    m.state.vpOrg = frame.ViewportOrg;
    cairo_set_tolerance(m.cr.get(), 0.25);
    return true;
}

bool MetafileCanvas::Alive() const {
    return impl_->Alive();
}

bool MetafileCanvas::Finish(RasterImage& out) {
    Impl& m = *impl_;
    if (!m.surface) return false;
    cairo_surface_flush(m.surface.get());
    const int w = m.frame.Width, h = m.frame.Height;
    if (!out.Allocate(w, h, PixelFormat::ie24RGB)) return false;
    out.AddAlpha(0);
    const unsigned char* base = cairo_image_surface_get_data(m.surface.get());
    const int stride = cairo_image_surface_get_stride(m.surface.get());
    if (!base) return false;
    for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(base + std::size_t(y) * stride);
        std::uint8_t* dst = out.Row(y);
        std::uint8_t* alpha = out.AlphaRow(y);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = src[x];
            const unsigned a = p >> 24;
            auto un = [a](unsigned v) -> std::uint8_t {
                return a == 0 ? 255
                              : static_cast<std::uint8_t>(std::min(255u, (v * 255 + a / 2) / a));
            };
            dst[3 * x] = un(p & 0xff);
            dst[3 * x + 1] = un((p >> 8) & 0xff);
            dst[3 * x + 2] = un((p >> 16) & 0xff);
            alpha[x] = static_cast<std::uint8_t>(a);
        }
    }
    if (out.AlphaAllOpaque()) out.RemoveAlpha();
    return true;
}

void MetafileCanvas::ResetObjects(std::size_t count) {
    impl_->objects.assign(std::min(count, Limits::kMaxObjects), MetaObject{});
}

bool MetafileCanvas::AddObject(const MetaObject& object) {
    auto& objects = impl_->objects;
    for (MetaObject& slot : objects)
        if (slot.kind == MetaObject::Kind::Empty) {
            slot = object;
            return true;
        }
    if (objects.size() >= Limits::kMaxObjects) return false;
    objects.push_back(object);
    return true;
}

bool MetafileCanvas::SetObject(std::uint64_t index, const MetaObject& object) {
    if (index >= impl_->objects.size()) return false;
    impl_->objects[index] = object;
    return true;
}

bool MetafileCanvas::SelectObject(std::uint64_t index) {
    if (index >= impl_->objects.size()) return false;
    const MetaObject& o = impl_->objects[index];
    if (o.kind == MetaObject::Kind::Pen)
        impl_->state.pen = o.pen;
    else if (o.kind == MetaObject::Kind::Brush)
        impl_->state.brush = o.brush;
    else if (o.kind == MetaObject::Kind::Font)
        impl_->state.font = o.font;
    return o.kind != MetaObject::Kind::Empty;
}

bool MetafileCanvas::DeleteObject(std::uint64_t index) {
    if (index >= impl_->objects.size()) return false;
    impl_->objects[index] = MetaObject{};
    return true;
}

void MetafileCanvas::SelectStockObject(std::uint32_t id) {
    State& s = impl_->state;
    static const std::uint8_t kBrushGrey[] = {255, 192, 128, 64, 0};
    if (id <= 4)
        s.brush = MetaBrush{true, Rgb{kBrushGrey[id], kBrushGrey[id], kBrushGrey[id]}};
    else if (id == 5)
        s.brush.Visible = false;
    else if (id == 6 || id == 7)
        s.pen = MetaPen{true, id == 6 ? Rgb{255, 255, 255} : Rgb{}, 0, 0};
    else if (id == 8)
        s.pen.Visible = false;
}

void MetafileCanvas::SetMapMode(int mode) {
    if (mode >= kMmText && mode <= kMmAnisotropic) impl_->state.mapMode = mode;
}
void MetafileCanvas::SetWindowOrg(double x, double y) {
    impl_->state.winOrg = {x, y};
}
void MetafileCanvas::SetWindowExt(double x, double y) {
    if (x == 0 || y == 0) return;
    impl_->state.winExt = {x, y};
    impl_->state.winExtSet = true;
}
void MetafileCanvas::SetViewportOrg(double x, double y) {
    impl_->state.vpOrg = {x, y};
}
void MetafileCanvas::SetViewportExt(double x, double y) {
    if (x == 0 || y == 0) return;
    impl_->state.vpExt = {x, y};
    impl_->state.vpExtSet = true;
}
void MetafileCanvas::OffsetWindowOrg(double dx, double dy) {
    impl_->state.winOrg.x += dx;
    impl_->state.winOrg.y += dy;
}
void MetafileCanvas::OffsetViewportOrg(double dx, double dy) {
    impl_->state.vpOrg.x += dx;
    impl_->state.vpOrg.y += dy;
}
void MetafileCanvas::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom == 0 || yDenom == 0) return;
    const MetaPoint e = impl_->WindowExt();
    SetWindowExt(e.x * xNum / xDenom, e.y * yNum / yDenom);
}
void MetafileCanvas::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom == 0 || yDenom == 0) return;
    const MetaPoint e = impl_->ViewportExt();
    SetViewportExt(e.x * xNum / xDenom, e.y * yNum / yDenom);
}

void MetafileCanvas::SetWorldTransform(const double m[6]) {
    const cairo_matrix_t x = FromXform(m);
    if (MatrixUsable(x)) impl_->state.world = x;
}

void MetafileCanvas::ModifyWorldTransform(const double m[6], std::uint32_t mode) {
    cairo_matrix_t& world = impl_->state.world;
    const cairo_matrix_t x = FromXform(m);
    cairo_matrix_t result;
    switch (mode) {
        case 1:
            cairo_matrix_init_identity(&world);
            return;
        case 2:
            cairo_matrix_multiply(&result, &x, &world);
            break;
        case 3:
            cairo_matrix_multiply(&result, &world, &x);
            break;
        case 4:
            result = x;
            break;
        default:
            return;
    }
    if (MatrixUsable(result)) world = result;
}

void MetafileCanvas::SetPolyFillMode(int mode) {
    if (mode == 1 || mode == 2) impl_->state.fillMode = mode;
}

void MetafileCanvas::SaveDC() {
    if (impl_->saved.size() < kMaxSavedStates) impl_->saved.push_back(impl_->state);
}

void MetafileCanvas::RestoreDC(std::int64_t which) {
    auto& saved = impl_->saved;
    const std::int64_t depth = static_cast<std::int64_t>(saved.size());
    // Negative: relative to the newest saved state; positive: an absolute level from 1.
    const std::int64_t level = which < 0 ? depth + which : which - 1;
    if (level < 0 || level >= depth) return;
    impl_->state = saved[static_cast<std::size_t>(level)];
    saved.resize(static_cast<std::size_t>(level));
}

void MetafileCanvas::MoveTo(MetaPoint p) {
    Impl& m = *impl_;
    m.state.current = p;
    if (m.inPath && m.StartShape()) m.Move(p);
}

void MetafileCanvas::LineTo(MetaPoint p) {
    Impl& m = *impl_;
    const MetaPoint from = m.state.current;
    m.state.current = p;
    if (!m.StartShape()) return;
    m.StartAt(from);
    m.Line(p);
    m.Paint(false, true);
}

void MetafileCanvas::Rectangle(double left, double top, double right, double bottom) {
    Impl& m = *impl_;
    if (!m.StartShape()) return;
    const MetaPoint corners[] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    m.AddPoints(corners, true);
    m.Paint(true, true);
}

void MetafileCanvas::RoundRect(double left, double top, double right, double bottom, double w,
                               double h) {
    Impl& m = *impl_;
    const double x0 = std::min(left, right), x1 = std::max(left, right);
    const double y0 = std::min(top, bottom), y1 = std::max(top, bottom);
    const double rx = std::min(std::fabs(w) / 2, (x1 - x0) / 2);
    const double ry = std::min(std::fabs(h) / 2, (y1 - y0) / 2);
    if (rx <= 0 || ry <= 0) {
        Rectangle(left, top, right, bottom);
        return;
    }
    if (!m.StartShape()) return;
    cairo_new_sub_path(m.cr.get());
    m.Move({x1, y0 + ry});
    m.Line({x1, y1 - ry});
    m.Quarter(x1 - rx, y1 - ry, rx, ry, 0);
    m.Line({x0 + rx, y1});
    m.Quarter(x0 + rx, y1 - ry, rx, ry, 1);
    m.Line({x0, y0 + ry});
    m.Quarter(x0 + rx, y0 + ry, rx, ry, 2);
    m.Line({x1 - rx, y0});
    m.Quarter(x1 - rx, y0 + ry, rx, ry, 3);
    cairo_close_path(m.cr.get());
    m.Paint(true, true);
}

void MetafileCanvas::Ellipse(double left, double top, double right, double bottom) {
    Impl& m = *impl_;
    const double rx = std::fabs(right - left) / 2, ry = std::fabs(bottom - top) / 2;
    if (rx <= 0 || ry <= 0 || !m.StartShape()) return;
    m.AddEllipse((left + right) / 2, (top + bottom) / 2, rx, ry);
    m.Paint(true, true);
}

void MetafileCanvas::Arc(ArcKind kind, double left, double top, double right, double bottom,
                         MetaPoint start, MetaPoint end) {
    Impl& m = *impl_;
    const double rx = std::fabs(right - left) / 2, ry = std::fabs(bottom - top) / 2;
    if (rx <= 0 || ry <= 0 || !m.StartShape()) return;
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double a0 = std::atan2((start.y - cy) / ry, (start.x - cx) / rx);
    const double a1 = std::atan2((end.y - cy) / ry, (end.x - cx) / rx);
    if (!Finite(a0) || !Finite(a1)) return;
    // Arcs run counterclockwise as seen in the picture: towards smaller angles unless the
    // mapping mirrors the logical axes.
    const cairo_matrix_t& t = m.toPicture;
    const bool mirrored = t.xx * t.yy - t.xy * t.yx < 0;
    constexpr double kTwoPi = 6.283185307179586;
    double sweep = a1 - a0;
    if (mirrored) {
        while (sweep <= 0) sweep += kTwoPi;
    } else {
        while (sweep >= 0) sweep -= kTwoPi;
    }
    const MetaPoint from{cx + rx * std::cos(a0), cy + ry * std::sin(a0)};
    if (kind == ArcKind::Pie) {
        m.Move({cx, cy});
        m.Line(from);
    } else {
        m.Move(from);
    }
    const int pieces = static_cast<int>(std::ceil(std::fabs(sweep) / (kTwoPi / 4) - 1e-9));
    const double step = sweep / std::max(pieces, 1);
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    for (int i = 0; i < pieces; ++i) {
        const double s0 = a0 + i * step, s1 = s0 + step;
        m.Curve({cx + rx * (std::cos(s0) - k * std::sin(s0)),
                 cy + ry * (std::sin(s0) + k * std::cos(s0))},
                {cx + rx * (std::cos(s1) + k * std::sin(s1)),
                 cy + ry * (std::sin(s1) - k * std::cos(s1))},
                {cx + rx * std::cos(s1), cy + ry * std::sin(s1)});
    }
    if (kind != ArcKind::Arc) cairo_close_path(m.cr.get());
    m.Paint(kind != ArcKind::Arc, true);
}

void MetafileCanvas::Polygon(std::span<const MetaPoint> points) {
    Impl& m = *impl_;
    if (points.size() < 2 || !m.StartShape()) return;
    m.AddPoints(points, true);
    m.Paint(true, true);
}

void MetafileCanvas::Polyline(std::span<const MetaPoint> points) {
    Impl& m = *impl_;
    if (points.size() < 2 || !m.StartShape()) return;
    m.AddPoints(points, false);
    m.Paint(false, true);
}

void MetafileCanvas::PolylineTo(std::span<const MetaPoint> points) {
    Impl& m = *impl_;
    if (points.empty()) return;
    const MetaPoint from = m.state.current;
    m.state.current = points.back();
    if (!m.StartShape()) return;
    m.StartAt(from);
    for (const MetaPoint& p : points) m.Line(p);
    m.Paint(false, true);
}

void MetafileCanvas::PolyPolyShape(std::span<const MetaPoint> points,
                                   std::span<const std::uint32_t> counts, bool closed) {
    Impl& m = *impl_;
    if (!m.StartShape()) return;
    std::size_t at = 0;
    for (std::uint32_t n : counts) {
        if (n > points.size() - at) break;
        if (n >= 2) m.AddPoints(points.subspan(at, n), closed);
        at += n;
    }
    m.Paint(closed, true);
}

void MetafileCanvas::PolyPolygon(std::span<const MetaPoint> points,
                                 std::span<const std::uint32_t> counts) {
    PolyPolyShape(points, counts, true);
}

void MetafileCanvas::PolyPolyline(std::span<const MetaPoint> points,
                                  std::span<const std::uint32_t> counts) {
    PolyPolyShape(points, counts, false);
}

void MetafileCanvas::PolyBezier(std::span<const MetaPoint> points) {
    Impl& m = *impl_;
    if (points.size() < 4 || !m.StartShape()) return;
    m.Move(points[0]);
    m.AddBeziers(points.subspan(1));
    m.Paint(false, true);
}

void MetafileCanvas::PolyBezierTo(std::span<const MetaPoint> points) {
    Impl& m = *impl_;
    if (points.size() < 3) return;
    const MetaPoint from = m.state.current;
    m.state.current = points[points.size() / 3 * 3 - 1];
    if (!m.StartShape()) return;
    m.StartAt(from);
    m.AddBeziers(points);
    m.Paint(false, true);
}

void MetafileCanvas::SetTextColor(Rgb color) {
    impl_->state.textColor = color;
}
void MetafileCanvas::SetBkColor(Rgb color) {
    impl_->state.bkColor = color;
}
void MetafileCanvas::SetBkMode(int mode) {
    if (mode == 1 || mode == 2) impl_->state.bkMode = mode;
}
void MetafileCanvas::SetTextAlign(std::uint32_t align) {
    impl_->state.textAlign = align;
}
const MetaFont& MetafileCanvas::CurrentFont() const {
    return impl_->state.font;
}

void MetafileCanvas::TextOut(MetaPoint at, std::string_view utf8, std::uint32_t options,
                             const double* rect, std::span<const double> advances) {
    Impl& m = *impl_;
    if (m.inPath || !m.StartShape()) return;
    cairo_t* c = m.cr.get();
    const State& s = m.state;
    const cairo_matrix_t& t = m.toPicture;
    const bool opaqueRect = rect && (options & 2);
    if (opaqueRect || (rect && (options & 4))) {
        const MetaPoint corners[] = {
            {rect[0], rect[1]}, {rect[2], rect[1]}, {rect[2], rect[3]}, {rect[0], rect[3]}};
        m.AddPoints(corners, true);
    }
    if (opaqueRect) {
        m.SetColor(s.bkColor);
        cairo_fill_preserve(c);
    }
    cairo_save(c);
    if (rect && (options & 4)) cairo_clip(c);
    cairo_new_path(c);
    TextRun run;
    run.Utf8 = utf8;
    run.Font = &s.font;
    // GDI keeps text upright whatever the page mapping's signs: only its scale matters.
    run.ScaleX = std::hypot(t.xx, t.yx);
    run.ScaleY = std::hypot(t.xy, t.yy);
    run.MaxSize = 2.0 * std::max(m.frame.Width, m.frame.Height);
    run.Origin = m.Map((s.textAlign & 1) ? s.current : at);
    run.Align = s.textAlign;
    run.Opaque = s.bkMode == 2 && !opaqueRect;
    run.Color = s.textColor;
    run.Background = s.bkColor;
    run.Advances = advances;
    const double width = DrawTextRun(c, run);
    cairo_restore(c);
    cairo_new_path(c);
    if ((s.textAlign & 1) && run.ScaleX > 0) m.state.current.x += width / run.ScaleX;
}

void MetafileCanvas::FillRect(double x, double y, double w, double h, const Rgb* color) {
    Impl& m = *impl_;
    if (m.inPath || !m.StartShape()) return;
    const MetaPoint corners[] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
    m.AddPoints(corners, true);
    const MetaBrush saved = m.state.brush;
    if (color) m.state.brush = MetaBrush{true, *color};
    m.Paint(true, false);
    m.state.brush = saved;
}

void MetafileCanvas::DrawBitmap(const RasterImage& image, double srcX, double srcY, double srcW,
                                double srcH, double dstX, double dstY, double dstW, double dstH) {
    Impl& m = *impl_;
    if (image.Empty() || image.Format() != PixelFormat::ie24RGB || srcW == 0 || srcH == 0 ||
        dstW == 0 || dstH == 0 || m.inPath || !m.StartShape())
        return;
    // Source pixels to picture pixels; the destination must stay inside cairo's range.
    cairo_matrix_t toBitmap, place;
    cairo_matrix_init_translate(&toBitmap, -srcX, -srcY);
    cairo_matrix_init(&place, dstW / srcW, 0, 0, dstH / srcH, dstX, dstY);
    cairo_matrix_multiply(&toBitmap, &toBitmap, &place);
    cairo_matrix_multiply(&toBitmap, &toBitmap, &m.toPicture);
    if (!MatrixUsable(toBitmap)) return;
    const MetaPoint corners[] = {
        {dstX, dstY}, {dstX + dstW, dstY}, {dstX + dstW, dstY + dstH}, {dstX, dstY + dstH}};
    for (const MetaPoint& q : corners) {
        double x = q.x, y = q.y;
        cairo_matrix_transform_point(&m.toPicture, &x, &y);
        if (!(std::fabs(x) < kCoordLimit && std::fabs(y) < kCoordLimit)) return;
    }
    const int w = image.Width(), h = image.Height();
    SurfacePtr bitmap(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    if (cairo_surface_status(bitmap.get()) != CAIRO_STATUS_SUCCESS) return;
    cairo_surface_flush(bitmap.get());
    unsigned char* base = cairo_image_surface_get_data(bitmap.get());
    const int stride = cairo_image_surface_get_stride(bitmap.get());
    for (int y = 0; y < h; ++y) {
        auto* dst = reinterpret_cast<std::uint32_t*>(base + std::size_t(y) * stride);
        const std::uint8_t* src = image.Row(y);
        const std::uint8_t* alpha = image.HasAlpha() ? image.AlphaRow(y) : nullptr;
        for (int x = 0; x < w; ++x) {
            const unsigned a = alpha ? alpha[x] : 255;
            auto pre = [a](unsigned v) { return (v * a + 127) / 255; };
            dst[x] = (a << 24) | (pre(src[3 * x + 2]) << 16) | (pre(src[3 * x + 1]) << 8) |
                     pre(src[3 * x]);
        }
    }
    cairo_surface_mark_dirty(bitmap.get());
    cairo_t* c = m.cr.get();
    cairo_save(c);
    m.AddPoints(corners, true);
    if (!m.Charge(true, false)) {
        cairo_restore(c);
        return;
    }
    cairo_clip(c);
    cairo_set_matrix(c, &toBitmap);
    cairo_set_source_surface(c, bitmap.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(c), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(c), CAIRO_EXTEND_PAD);
    cairo_paint(c);
    cairo_restore(c);
}

void MetafileCanvas::BeginPath() {
    Impl& m = *impl_;
    if (!m.Alive()) return;
    m.path.reset();
    cairo_new_path(m.cr.get());
    m.inPath = true;
}

void MetafileCanvas::EndPath() {
    Impl& m = *impl_;
    if (!m.inPath || !m.Alive()) return;
    m.inPath = false;
    cairo_identity_matrix(m.cr.get());
    m.path.reset(cairo_copy_path(m.cr.get()));
    cairo_new_path(m.cr.get());
}

void MetafileCanvas::AbortPath() {
    impl_->inPath = false;
    impl_->path.reset();
    if (impl_->cr) cairo_new_path(impl_->cr.get());
}

void MetafileCanvas::CloseFigure() {
    Impl& m = *impl_;
    if (m.inPath && m.Alive() && cairo_has_current_point(m.cr.get())) cairo_close_path(m.cr.get());
}

void MetafileCanvas::PaintPath(bool fill, bool stroke) {
    Impl& m = *impl_;
    if (m.inPath || !m.path || !m.Alive()) return;
    cairo_new_path(m.cr.get());
    cairo_identity_matrix(m.cr.get());
    if (m.path->status == CAIRO_STATUS_SUCCESS) cairo_append_path(m.cr.get(), m.path.get());
    m.path.reset();
    m.Paint(fill, stroke);
}

void MetafileCanvas::FillPath() {
    PaintPath(true, false);
}
void MetafileCanvas::StrokePath() {
    PaintPath(false, true);
}
void MetafileCanvas::StrokeAndFillPath() {
    PaintPath(true, true);
}

bool DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
               DecodedDib& out) {
    ByteReader r(info);
    const std::uint32_t headerSize = r.u32le();
    if (headerSize == 12) {
        out.BottomUp = true;
    } else if (headerSize >= 40 && headerSize <= info.size()) {
        r.u32le();
        out.BottomUp = r.i32le() >= 0;  // a negative height is top-down
    } else {
        return false;
    }
    if (!r.ok()) return false;
    // A bitmap file around the header, so the BMP reader does the pixel decoding.
    std::uint64_t total = 14;
    if (!CheckedAdd(total, info.size(), &total) || !CheckedAdd(total, bits.size(), &total) ||
        total > Limits::kMaxBufferBytes)
        return false;
    std::vector<std::uint8_t> file;
    file.reserve(static_cast<std::size_t>(total));
    PutU8(file, 'B');
    PutU8(file, 'M');
    PutU32le(file, static_cast<std::uint32_t>(total));
    PutU32le(file, 0);
    // Separate pixel rows start right after the header; packed ones are found by the reader.
    PutU32le(file, bits.empty() ? 0 : static_cast<std::uint32_t>(14 + info.size()));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), bits.begin(), bits.end());
    ImageHolder holder;
    if (kBmpCodec.Read(holder, file, ReadOptions{}) != ImageError::None) return false;
    out.Image = holder.Image.Format() == PixelFormat::ie24RGB ? std::move(holder.Image)
                                                              : holder.Image.ToRgb24();
    return !out.Image.Empty();
}

void DrawDib(MetafileCanvas& canvas, std::span<const std::uint8_t> info,
             std::span<const std::uint8_t> bits, double srcX, double srcY, double srcW, double srcH,
             double dstX, double dstY, double dstW, double dstH) {
    if (!canvas.Alive()) return;
    DecodedDib dib;
    if (!DecodeDib(info, bits, dib)) return;
    const double top = dib.BottomUp ? dib.Image.Height() - srcY - srcH : srcY;
    canvas.DrawBitmap(dib.Image, srcX, top, srcW, srcH, dstX, dstY, dstW, dstH);
}

bool DibAverageColor(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                     Rgb& color) {
    DecodedDib dib;
    if (!DecodeDib(info, bits, dib)) return false;
    std::uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (int y = 0; y < dib.Image.Height(); ++y)
        for (int x = 0; x < dib.Image.Width(); ++x, ++n) {
            const Rgb c = dib.Image.PixelRgb(x, y);
            sum[0] += c.r;
            sum[1] += c.g;
            sum[2] += c.b;
        }
    if (n == 0) return false;
    color = Rgb{static_cast<std::uint8_t>(sum[0] / n), static_cast<std::uint8_t>(sum[1] / n),
                static_cast<std::uint8_t>(sum[2] / n)};
    return true;
}

void FitPictureSize(double width, double height, int maxSide, int hint, int& outW, int& outH) {
    width = Finite(width) ? std::fabs(width) : 1;
    height = Finite(height) ? std::fabs(height) : 1;
    const double longer = std::max(width, height);
    const int side = hint > 0 ? std::min(hint, maxSide) : maxSide;
    const double f = longer > side ? side / longer : 1.0;
    outW = std::clamp(static_cast<int>(std::lround(width * f)), 1, maxSide);
    outH = std::clamp(static_cast<int>(std::lround(height * f)), 1, maxSide);
}

ImageError DeliverMetafilePicture(MetafileCanvas& canvas, ImageHolder& holder, int fullWidth,
                                  int fullHeight) {
    RasterImage image;
    if (!canvas.Finish(image)) return ImageError::Damaged;
    FileParams& params = holder.Params;
    params.ImageWidth = fullWidth;
    params.ImageHeight = fullHeight;
    params.ChannelCount = image.HasAlpha() ? 4 : 3;
    params.BitsPerChannel = 8;
    params.HorizontalDpi = params.VerticalDpi = 96;
    params.Palette.clear();
    params.PaletteCount = 0;
    holder.Image = std::move(image);
    return ImageError::None;
}

}  // namespace gw
