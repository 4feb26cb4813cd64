#pragma once
// The thumbnail grid: flat 80 × 80 cells over the catalogue, its own selection gestures, and
// hooks for the window's painting and pointer handlers.

#include <QAbstractScrollArea>
#include <QColor>
#include <functional>

#include "catalogue/catalogue.h"

class QPainter;

namespace gw {

class ThumbGrid : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // Called for every cell before its picture is drawn; may draw on the painter and change
    // thumbRect (relative to the cell's corner, on entry 0, 0, 80, 80).
    using BeforeImageDraw =
        std::function<void(int idx, QPainter& dest, int left, int top, QRect& thumbRect)>;

    ThumbGrid(Catalogue& catalogue, QWidget* parent);

    Catalogue& Model() { return catalogue_; }
    void SetBeforeImageDraw(BeforeImageDraw handler) { beforeImageDraw_ = std::move(handler); }

    QColor Background() const { return background_; }
    QColor ThumbnailsBackground() const { return thumbnailsBackground_; }
    QColor SelectionColor() const { return selectionColor_; }
    int SelectionWidth() const { return selectionWidth_; }
    // Width of the selection frame as painted now: the full width with focus, else 1.
    int EffectiveSelectionWidth() const { return hasFocus() ? selectionWidth_ : 1; }

    // The grid's own item-text drawing; once off the cells reserve no text space.
    void SetItemTextDrawing(bool on) {
        itemTexts_ = on;
        viewport()->update();
    }
    bool ItemTextDrawing() const { return itemTexts_; }

    int ItemAt(const QPoint& clientPoint) const;
    int ScrollOffset() const;
    void EnsureVisible(int idx);
    // The catalogue changed: relayout and repaint.
    void Refresh();

    // Number of cells painted by the last paint (for checking that only visible ones are).
    int LastPaintedCells() const { return lastPaintedCells_; }

  signals:
    // Before the grid's own handling; coordinates are the grid's client coordinates.
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void UpdateScrollBar();
    void PaintCell(QPainter& p, int idx, int left, int top);
    void MoveTo(int target, Qt::KeyboardModifiers modifiers);
    int VisibleRows() const;

    Catalogue& catalogue_;
    BeforeImageDraw beforeImageDraw_;
    QColor background_;
    QColor thumbnailsBackground_;
    QColor selectionColor_;
    int selectionWidth_ = 3;
    bool itemTexts_ = true;
    int anchor_ = -1;     // last clicked entry, start of Shift ranges
    int dragStart_ = -1;  // entry where a left-button drag began
    int dragLast_ = -1;
    int lastPaintedCells_ = 0;
};

}  // namespace gw
