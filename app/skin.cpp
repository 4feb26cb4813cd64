#include "app/skin.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace gw {

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
    if (window) {
        // Rows and columns from 1 to W - 1 / H - 1, with 9 × 9 corner ellipses.
        QPainterPath outline;
        outline.addRoundedRect(QRectF(1, 1, W - 1, H - 1), 4.5, 4.5);
        window->setMask(QRegion(outline.toFillPolygon().toPolygon()));
    }
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
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 45, 75), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 4, 4);
    return img;
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
    return img;
}

QImage DialogSkinPicture() {
    return SkinBase(100, 100, 32, QColor(220, 228, 237));
}

}  // namespace gw
