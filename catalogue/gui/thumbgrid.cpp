#include "catalogue/gui/thumbgrid.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace gw {
namespace {

QColor FromWin(int v) {
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

// The picture the grid shows for an entry it cannot decode: a page with a broken corner.
void PaintFallback(QPainter& p, const QRect& area) {
    const int side = std::min({area.width(), area.height(), 32});
    QRect r(0, 0, side * 3 / 4, side);
    r.moveCenter(area.center());
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 150, 160), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.drawLine(r.topLeft() + QPoint(4, 4), r.bottomRight() - QPoint(4, 4));
    p.drawLine(r.topRight() + QPoint(-4, 4), r.bottomLeft() + QPoint(4, -4));
    p.restore();
}

}  // namespace

ThumbGrid::ThumbGrid(Catalogue& catalogue, QWidget* parent)
    : QAbstractScrollArea(parent),
      catalogue_(catalogue),
      background_(FromWin(16315895)),
      thumbnailsBackground_(FromWin(16315895)),
      selectionColor_(FromWin(12222210)) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(GridLayout::PitchY / 2);
}

int ThumbGrid::ScrollOffset() const {
    return verticalScrollBar()->value();
}

int ThumbGrid::ItemAt(const QPoint& pt) const {
    return GridLayout::ItemAt(pt.x(), pt.y(), viewport()->width(), ScrollOffset(),
                              catalogue_.Count());
}

int ThumbGrid::VisibleRows() const {
    return std::max(1, viewport()->height() / GridLayout::PitchY);
}

void ThumbGrid::UpdateScrollBar() {
    const int content = GridLayout::ContentHeight(catalogue_.Count(), viewport()->width());
    verticalScrollBar()->setRange(0, std::max(0, content - viewport()->height()));
    verticalScrollBar()->setPageStep(std::max(1, viewport()->height()));
}

void ThumbGrid::Refresh() {
    UpdateScrollBar();
    viewport()->update();
}

void ThumbGrid::EnsureVisible(int idx) {
    if (!catalogue_.Valid(idx)) return;
    const int top = GridLayout::CellTop(idx, viewport()->width(), 0) - GridLayout::VertBorder;
    const int bottom = top + GridLayout::PitchY + GridLayout::VertBorder;
    QScrollBar* bar = verticalScrollBar();
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height())
        bar->setValue(bottom - viewport()->height());
}

void ThumbGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
}

void ThumbGrid::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    p.fillRect(event->rect(), background_);
    const int width = viewport()->width();
    const int columns = GridLayout::Columns(width);
    const int scroll = ScrollOffset();
    const QRect dirty = event->rect();
    // Only rows that meet the dirty rectangle are painted.
    const int firstRow =
        std::max(0, (dirty.top() + scroll - GridLayout::VertBorder) / GridLayout::PitchY);
    const int lastRow = (dirty.bottom() + scroll - GridLayout::VertBorder) / GridLayout::PitchY;
    int painted = 0;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int col = 0; col < columns; ++col) {
            const long long k = static_cast<long long>(row) * columns + col;
            if (k >= catalogue_.Count()) break;
            const int idx = static_cast<int>(k);
            PaintCell(p, idx, GridLayout::CellLeft(idx, width),
                      GridLayout::CellTop(idx, width, scroll));
            ++painted;
        }
    }
    lastPaintedCells_ = painted;
}

void ThumbGrid::PaintCell(QPainter& p, int idx, int left, int top) {
    p.fillRect(QRect(left, top, GridLayout::ThumbWidth, GridLayout::ThumbHeight),
               thumbnailsBackground_);
    QRect thumb(0, 0, GridLayout::ThumbWidth, GridLayout::ThumbHeight);
    if (itemTexts_) thumb.setBottom(thumb.bottom() - 16);
    if (beforeImageDraw_) {
        p.save();
        beforeImageDraw_(idx, p, left, top, thumb);
        p.restore();
    }
    const QRect area = thumb.translated(left, top);
    p.fillRect(area, thumbnailsBackground_);

    const IconEntry& entry = catalogue_.Entry(idx);
    const Picture* pic = entry.Image.get();
    if (!pic || pic->Failed || pic->Bgra.empty()) {
        PaintFallback(p, area);
    } else {
        QImage img(pic->Bgra.data(), pic->DisplayWidth, pic->DisplayHeight, pic->DisplayWidth * 4,
                   QImage::Format_ARGB32);
        // Fit the picture's own size into the area, aspect kept and centred; an exact fit is
        // drawn pixel for pixel.
        QSize fitted = QSize(pic->Width, pic->Height).scaled(area.size(), Qt::KeepAspectRatio);
        fitted = fitted.expandedTo(QSize(1, 1));
        QRect target(QPoint(0, 0), fitted);
        target.moveLeft(area.left() + (area.width() - fitted.width()) / 2);
        target.moveTop(area.top() + (area.height() - fitted.height()) / 2);
        p.setRenderHint(QPainter::SmoothPixmapTransform, fitted != img.size());
        p.drawImage(target, img);
    }
    if (catalogue_.IsSelected(idx)) {
        const int w = EffectiveSelectionWidth();
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(selectionColor_);
        // Never beyond the cell's own frame, which reaches one pixel left of and above the cell
        // and two pixels right of and below it.
        const QRect cellFrame(left - 1, top - 1, GridLayout::ThumbWidth + 3,
                              GridLayout::ThumbHeight + 3);
        const QRect outer = area.adjusted(-w, -w, w, w).intersected(cellFrame);
        p.drawRect(QRect(outer.left(), outer.top(), outer.width(), w));
        p.drawRect(QRect(outer.left(), outer.bottom() - w + 1, outer.width(), w));
        p.drawRect(QRect(outer.left(), outer.top(), w, outer.height()));
        p.drawRect(QRect(outer.right() - w + 1, outer.top(), w, outer.height()));
        p.restore();
    }
}

void ThumbGrid::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event);
    if (event->button() != Qt::LeftButton) return;
    const int idx = ItemAt(event->position().toPoint());
    if (idx < 0) return;
    const auto mods = event->modifiers();
    if (mods & Qt::ShiftModifier) {
        catalogue_.SelectRange(anchor_ >= 0 ? anchor_ : idx, idx);
    } else if (mods & Qt::ControlModifier) {
        catalogue_.ToggleSelection(idx);
        anchor_ = idx;
    } else {
        catalogue_.SelectOnly(idx);
        anchor_ = idx;
    }
    dragStart_ = idx;
    dragLast_ = idx;
    viewport()->update();
}

void ThumbGrid::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMove(event);
    if (!(event->buttons() & Qt::LeftButton) || dragStart_ < 0) return;
    const int idx = ItemAt(event->position().toPoint());
    if (idx < 0 || idx == dragLast_) return;
    dragLast_ = idx;
    catalogue_.SelectRange(dragStart_, idx);
    viewport()->update();
}

void ThumbGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragStart_ = -1;
    event->accept();
}

void ThumbGrid::MoveTo(int target, Qt::KeyboardModifiers mods) {
    const int count = catalogue_.Count();
    if (count == 0) return;
    target = std::clamp(target, 0, count - 1);
    if (mods & Qt::ShiftModifier) {
        catalogue_.SelectRange(anchor_ >= 0 ? anchor_ : target, target);
    } else if (mods & Qt::ControlModifier) {
        catalogue_.AddRange(target, target);
    } else {
        catalogue_.SelectOnly(target);
        anchor_ = target;
    }
    EnsureVisible(target);
    viewport()->update();
}

void ThumbGrid::keyPressEvent(QKeyEvent* event) {
    const int count = catalogue_.Count();
    const int columns = GridLayout::Columns(viewport()->width());
    int from = catalogue_.Current();
    if (from < 0) from = catalogue_.SelectedCount() > 0 ? catalogue_.Selection().back() : 0;
    int target;
    switch (event->key()) {
        case Qt::Key_Left:
            target = from - 1;
            break;
        case Qt::Key_Right:
            target = from + 1;
            break;
        case Qt::Key_Up:
            target = from - columns;
            break;
        case Qt::Key_Down:
            target = from + columns;
            break;
        case Qt::Key_PageUp:
            target = from - columns * VisibleRows();
            break;
        case Qt::Key_PageDown:
            target = from + columns * VisibleRows();
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = count - 1;
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        if (target < 0 || target >= count) target = from;  // no wrap past the first or last row
    }
    MoveTo(target, event->modifiers());
}

void ThumbGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void ThumbGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

}  // namespace gw
