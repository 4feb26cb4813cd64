#include "app/skin.h"

#include <QList>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace gw {

QRegion RoundedWindowRegion(int W, int H) {
    // A pixel belongs when its centre lies inside the rounded rectangle from (1, 1) to (W, H)
    // whose corners are quarter circles of radius 4.5; rows are cut symmetrically.
    constexpr double r = 4.5;
    QList<QRect> rows;
    for (int y = 1; y < H; ++y) {
        const double centre = y + 0.5;
        const double dy = std::max({0.0, (1 + r) - centre, centre - (H - r)});
        int left = 1;
        if (dy > 0) {
            const double dx = std::sqrt(std::max(0.0, r * r - dy * dy));
            left = std::max(1, static_cast<int>(std::ceil((1 + r) - dx - 0.5)));
        }
        const int right = W - left;  // mirror image of `left`
        if (right >= left) rows.append(QRect(left, y, right - left + 1, 1));
    }
    QRegion region;
    region.setRects(rows.constData(), static_cast<int>(rows.size()));
    return region;
}

std::array<SkinPiece, 9> MainWindowSkin(int W, int H, int BW, int BH) {
    return {{
        {EdgeRect(0, 0, 220, 130), EdgeRect(0, 0, 220, 130), false},
        {EdgeRect(BW - 20, 0, BW, 130), EdgeRect(W - 20, 0, W, 130), false},
        {EdgeRect(221, 0, 281, 130), EdgeRect(220, 0, W - 20, 130), true},
        {EdgeRect(0, BH - 30, 20, BH), EdgeRect(0, H - 30, 20, H), false},
        {EdgeRect(BW - 20, BH - 30, BW, BH), EdgeRect(W - 20, H - 30, W, H), false},
        {EdgeRect(0, 130, 20, 170), EdgeRect(0, 130, 20, H - 30), true},
        {EdgeRect(BW - 20, 130, BW, 170), EdgeRect(W - 20, 130, W, H - 30), true},
        {EdgeRect(20, BH - 30, BW - 20, BH), EdgeRect(20, H - 30, W - 20, H), true},
        {EdgeRect(20, 130, BW - 20, BH - 30), EdgeRect(20, 130, W - 20, H - 30), true},
    }};
}

std::array<SkinPiece, 9> DialogSkin(int W, int H, int BW, int BH) {
    return {{
        {EdgeRect(0, 0, 40, 40), EdgeRect(0, 0, 40, 40), false},
        {EdgeRect(BW - 40, 0, BW, 40), EdgeRect(W - 40, 0, W, 40), false},
        {EdgeRect(41, 0, 61, 40), EdgeRect(40, 0, W - 40, 40), true},
        {EdgeRect(0, BH - 20, 20, BH), EdgeRect(0, H - 20, 20, H), false},
        {EdgeRect(BW - 20, BH - 20, BW, BH), EdgeRect(W - 20, H - 20, W, H), false},
        {EdgeRect(0, 40, 20, 80), EdgeRect(0, 40, 20, H - 20), true},
        {EdgeRect(BW - 20, 40, BW, 80), EdgeRect(W - 20, 40, W, H - 20), true},
        {EdgeRect(20, BH - 20, BW - 20, BH), EdgeRect(20, H - 20, W - 20, H), true},
        {EdgeRect(20, 40, BW - 20, BH - 20), EdgeRect(20, 40, W - 20, H - 20), true},
    }};
}

void PaintSkin(QWidget* window, QPainter& target, const QImage& source,
               const std::array<SkinPiece, 9>& pieces, int W, int H) {
    if (window) window->setMask(RoundedWindowRegion(W, H));
    target.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const SkinPiece& piece : pieces) {
        if (piece.Destination.isEmpty()) continue;
        if (!piece.Stretched) {
            target.drawImage(piece.Destination.topLeft(), source, piece.Source);
            continue;
        }
        const QImage part = source.copy(piece.Source);
        target.drawImage(
            piece.Destination,
            part.scaled(piece.Destination.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }
}

namespace {

// Outline, header band and body shared by both pictures.
QImage SkinBase(int w, int h, int headerRows, const QColor& body) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(body);
    QPainter p(&img);
    QLinearGradient header(0, 0, 0, headerRows);
    header.setColorAt(0, QColor(70, 130, 185));
    header.setColorAt(1, QColor(30, 80, 135));
    p.fillRect(0, 0, w, headerRows, header);
    p.setPen(Qt::white);
    p.drawLine(0, headerRows, w - 1, headerRows);
    return img;
}

// The dark outline, drawn last: exactly the edge pixels of the window region a window of the
// picture's size gets. The corner pieces are copied unscaled and the edges stretched along
// themselves, so in the painted window the outline is exactly the edge of its region.
void DrawOutline(QImage& img) {
    const QRegion region = RoundedWindowRegion(img.width(), img.height());
    const QRgb outline = kSkinOutline.rgb();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (!region.contains(QPoint(x, y))) continue;
            if (!region.contains(QPoint(x - 1, y)) || !region.contains(QPoint(x + 1, y)) ||
                !region.contains(QPoint(x, y - 1)) || !region.contains(QPoint(x, y + 1)))
                img.setPixel(x, y, outline);
        }
}

}  // namespace

QImage MainSkinPicture() {
    QImage img = SkinBase(300, 200, 111, QColor(220, 228, 237));
    QPainter p(&img);
    // Footer from row 173.
    p.fillRect(1, 173, 298, 26, QColor(30, 70, 120));
    // Logo and lettering in the left part of the header, which is never stretched.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawRoundedRect(QRectF(18, 22, 44, 44), 8, 8);
    p.setBrush(QColor(60, 168, 210));
    p.drawRoundedRect(QRectF(26, 30, 28, 28), 5, 5);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(17);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QPointF(70, 51), QStringLiteral("Glyphwright"));
    p.end();
    DrawOutline(img);
    return img;
}

QImage DialogSkinPicture() {
    QImage img = SkinBase(100, 100, 32, QColor(220, 228, 237));
    DrawOutline(img);
    return img;
}

}  // namespace gw
