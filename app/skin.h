#pragma once
// The painted skin of the borderless windows: a small source picture cut into nine pieces and
// stretched over the window's background, and the rounded outline that clips the window.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <array>

class QPainter;
class QWidget;

namespace gw {

struct SkinPiece {
    QRect Source;       // right and bottom exclusive, as in the tables
    QRect Destination;  // likewise
    bool Stretched;
};

// The nine pieces in painting order for a W × H window from a BW × BH source picture.
std::array<SkinPiece, 9> MainWindowSkin(int W, int H, int BW, int BH);
std::array<SkinPiece, 9> DialogSkin(int W, int H, int BW, int BH);

// A rectangle with right and bottom exclusive, as a QRect.
inline QRect EdgeRect(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

// The colour of the skins' one-pixel outline.
inline const QColor kSkinOutline{20, 45, 75};

// The visible shape of a W × H skinned window: columns 1 .. W - 1 and rows 1 .. H - 1, the
// corners rounded with a 9 × 9 ellipse.
QRegion RoundedWindowRegion(int W, int H);

// Clips the window to the rounded rectangle (1, 1)–(W, H), corner ellipses 9 × 9, and paints
// the pieces onto the target; stretched pieces are scaled without smoothing.
void PaintSkin(QWidget* window, QPainter& target, const QImage& source,
               const std::array<SkinPiece, 9>& pieces, int W, int H);

// The windows' skin source pictures: 300 × 200 for the main window, 100 × 100 for the dialog.
QImage MainSkinPicture();
QImage DialogSkinPicture();

}  // namespace gw
