// The painted skin, the rounded outline and the drop shadow of the borderless windows.

#include <QMouseEvent>
#include <QPainter>
#include <QtTest>

#include "app/shadow.h"
#include "app/skin.h"
#include "app/widgets.h"

using namespace gw;

namespace {

std::vector<int> Walk(const std::vector<std::uint8_t>& a, int w, int x, int y, int dx, int dy,
                      int steps) {
    std::vector<int> v;
    for (int i = 0; i < steps; ++i, x += dx, y += dy)
        v.push_back(a[static_cast<std::size_t>(y) * w + x]);
    return v;
}

// A source picture whose every pixel tells where it came from.
QImage CoordinatePicture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, x >> 8));
    return img;
}

}  // namespace

class SkinTest : public QObject {
    Q_OBJECT
  private slots:
    void glowFallsOffAsItShould_data();
    void glowFallsOffAsItShould();
    void piecesAreCopiedAndStretched();
    void outlineIsRoundedAndLeavesTheFirstRowAndColumnOut();
    void shadowFollowsItsOwner();
    void regressionOutlineAndRegionAgreeToThePixel();
    void shadowFollowsADragStepByStep();
};

void SkinTest::glowFallsOffAsItShould_data() {
    QTest::addColumn<bool>("withRegion");
    QTest::newRow("rounded region") << true;
    QTest::newRow("no region") << false;
}

void SkinTest::glowFallsOffAsItShould() {
    QFETCH(bool, withRegion);
    // The values do not depend on the owner's size.
    for (QSize owner : {QSize(200, 100), QSize(742, 516)}) {
        const int W = owner.width(), H = owner.height(), w = W + 32;
        const auto a = ShadowAlpha(W, H, withRegion ? RoundedWindowRegion(W, H) : QRegion());
        const int cx = 16 + W / 2, cy = 16 + H / 2;
        const int top = withRegion ? 16 : 15, left = withRegion ? 16 : 15;
        QCOMPARE(Walk(a, w, cx, top, 0, -1, 7), (std::vector<int>{140, 121, 99, 71, 47, 31, 0}));
        QCOMPARE(Walk(a, w, cx, 16 + H, 0, 1, 16),
                 (std::vector<int>{91, 76, 63, 51, 41, 34, 27, 21, 17, 14, 10, 8, 7, 5, 4, 4}));
        const std::vector<int> side{113, 97, 79, 64, 48, 37, 24, 17, 11, 7, 4, 3, 1, 1, 0};
        QCOMPARE(Walk(a, w, left, cy, -1, 0, 15), side);
        QCOMPARE(Walk(a, w, 16 + W, cy, 1, 0, 15), side);
        // Inside the owner the glow is fully transparent.
        QCOMPARE(int(a[static_cast<std::size_t>(cy) * w + cx]), 0);
        QCOMPARE(int(a[static_cast<std::size_t>(16 + 6) * w + 16 + 6]), 0);
        // At a rounded corner the glow follows the rounding into the corner's cut.
        QCOMPARE(a[static_cast<std::size_t>(16 + 1) * w + 16 + 1] != 0, withRegion);
    }
}

void SkinTest::piecesAreCopiedAndStretched() {
    const QImage source = CoordinatePicture(300, 200);
    QImage target(742, 516, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter p(&target);
    PaintSkin(nullptr, p, source, MainWindowSkin(742, 516, 300, 200), 742, 516);
    p.end();
    // Copied pieces, pixel for pixel.
    QCOMPARE(target.pixel(10, 10), source.pixel(10, 10));
    QCOMPARE(target.pixel(219, 129), source.pixel(219, 129));
    QCOMPARE(target.pixel(741, 0), source.pixel(299, 0));
    QCOMPARE(target.pixel(0, 515), source.pixel(0, 199));
    QCOMPARE(target.pixel(741, 515), source.pixel(299, 199));
    // The top edge is stretched from columns 221..280 and the header band is never scaled down.
    const int column = qRed(target.pixel(400, 5));
    QVERIFY(column >= 221 && column <= 280);
    QCOMPARE(qGreen(target.pixel(400, 5)), 5);
    // The centre comes from the source's centre piece.
    const QRgb centre = target.pixel(371, 300);
    QVERIFY(qRed(centre) >= 20 && qRed(centre) < 280 && qGreen(centre) >= 130 &&
            qGreen(centre) < 170);
}

void SkinTest::outlineIsRoundedAndLeavesTheFirstRowAndColumnOut() {
    QWidget w(nullptr, Qt::FramelessWindowHint);
    w.resize(472, 331);
    QImage target(472, 331, QImage::Format_RGB32);
    QPainter p(&target);
    PaintSkin(&w, p, CoordinatePicture(100, 100), DialogSkin(472, 331, 100, 100), 472, 331);
    const QRegion mask = w.mask();
    QVERIFY(!mask.contains(QPoint(0, 0)));
    QVERIFY(!mask.contains(QPoint(200, 0)));
    QVERIFY(!mask.contains(QPoint(0, 200)));
    QVERIFY(mask.contains(QPoint(1, 200)));
    QVERIFY(mask.contains(QPoint(200, 1)));
    QVERIFY(mask.contains(QPoint(471, 200)));
    QVERIFY(!mask.contains(QPoint(472, 200)));
    // Rounded corners.
    QVERIFY(!mask.contains(QPoint(1, 1)));
    QVERIFY(!mask.contains(QPoint(471, 330)));
    QVERIFY(mask.contains(QPoint(6, 6)));
    QVERIFY(mask.contains(QPoint(466, 325)));
}

void SkinTest::shadowFollowsItsOwner() {
    QWidget owner(nullptr, Qt::FramelessWindowHint);
    owner.resize(300, 200);
    owner.move(100, 100);
    FormShadow shadow;
    QVERIFY(shadow.windowFlags() & Qt::WindowTransparentForInput);
    QVERIFY(shadow.windowFlags() & Qt::WindowDoesNotAcceptFocus);
    shadow.SetOwnerForm(&owner);
    shadow.SetShadowColor(10582346);
    QVERIFY(!shadow.isVisible());
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QTRY_VERIFY(shadow.isVisible());
    QCOMPARE(shadow.size(), QSize(332, 232));
    QCOMPARE(shadow.pos(), owner.frameGeometry().topLeft() - QPoint(16, 16));
    QCOMPARE(shadow.Rebuilds(), 1);
    // Tinted and premultiplied: red 74, green 121, blue 161 at the alpha of the glow.
    const QRgb below = shadow.Picture().pixel(16 + 150, 16 + 200);
    QCOMPARE(qAlpha(below), 91);
    QCOMPARE(qRed(below), 74 * 91 / 255);
    QCOMPARE(qBlue(below), 161 * 91 / 255);
    owner.move(150, 120);
    QTRY_COMPARE(shadow.pos(), owner.frameGeometry().topLeft() - QPoint(16, 16));
    QCOMPARE(shadow.Rebuilds(), 1);  // moving does not rebuild the picture
    shadow.SetShadowColor(0xFF);     // re-tinted without a rebuild
    QCOMPARE(qRed(shadow.Picture().pixel(16 + 150, 16 + 200)), 255 * 91 / 255);
    QCOMPARE(shadow.Rebuilds(), 1);
    owner.resize(320, 200);
    QTRY_COMPARE(shadow.Rebuilds(), 2);
    owner.hide();
    QVERIFY(!shadow.isVisible());
    owner.show();
    QTRY_VERIFY(shadow.isVisible());
    shadow.SetOwnerForm(nullptr);
    QVERIFY(!shadow.isVisible());
}

void SkinTest::regressionOutlineAndRegionAgreeToThePixel() {
    // Light pixels of the skin showed outside its outline at the rounded bottom corners.
    struct Case {
        const char* name;
        QImage source;
        int W, H;
        std::array<SkinPiece, 9> pieces;
    };
    const QImage main = MainSkinPicture(), dialog = DialogSkinPicture();
    const Case cases[] = {
        {"main window", main, 742, 516, MainWindowSkin(742, 516, main.width(), main.height())},
        {"export dialog", dialog, 472, 331, DialogSkin(472, 331, dialog.width(), dialog.height())},
    };
    const QRgb outline = kSkinOutline.rgb();
    for (const Case& c : cases) {
        QWidget w(nullptr, Qt::FramelessWindowHint);
        w.resize(c.W, c.H);
        QImage target(c.W, c.H, QImage::Format_RGB32);
        QPainter p(&target);
        PaintSkin(&w, p, c.source, c.pieces, c.W, c.H);
        p.end();
        const QRegion mask = w.mask();
        QCOMPARE(mask, RoundedWindowRegion(c.W, c.H));
        int edges = 0;
        for (int y = 0; y < c.H; ++y)
            for (int x = 0; x < c.W; ++x) {
                if (!mask.contains(QPoint(x, y))) continue;
                // The visible edge is the outline, and the outline is only the visible edge.
                const bool edge =
                    !mask.contains(QPoint(x - 1, y)) || !mask.contains(QPoint(x + 1, y)) ||
                    !mask.contains(QPoint(x, y - 1)) || !mask.contains(QPoint(x, y + 1));
                edges += edge;
                if (edge != (target.pixel(x, y) == outline))
                    QFAIL(qPrintable(QString("%1: pixel %2,%3").arg(c.name).arg(x).arg(y)));
            }
        QVERIFY(edges > 2 * (c.W + c.H) - 40);
    }
}

void SkinTest::shadowFollowsADragStepByStep() {
    QWidget owner(nullptr, Qt::FramelessWindowHint);
    owner.setGeometry(100, 100, 300, 200);
    QWidget strip(&owner);
    strip.setGeometry(0, 0, 300, 30);
    auto* drag = new WindowDrag(&strip, &owner);
    strip.installEventFilter(drag);
    FormShadow shadow;
    shadow.SetOwnerForm(&owner);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QTRY_VERIFY(shadow.isVisible());
    const QPoint start = owner.pos();
    auto send = [&strip](QEvent::Type type, const QPoint& global, Qt::MouseButtons buttons) {
        QMouseEvent e(type, strip.mapFromGlobal(global), global,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, {});
        QApplication::sendEvent(&strip, &e);
    };
    QPoint at = strip.mapToGlobal(QPoint(50, 10));
    drag->Start(at);
    for (int step = 1; step <= 3; ++step) {
        at += QPoint(7, 5);
        send(QEvent::MouseMove, at, Qt::LeftButton);
        // Window and glow have followed before the button is released.
        QCOMPARE(owner.pos(), start + step * QPoint(7, 5));
        QCOMPARE(shadow.pos(), owner.frameGeometry().topLeft() - QPoint(16, 16));
    }
    send(QEvent::MouseButtonRelease, at, Qt::NoButton);
    QVERIFY(!drag->Dragging());
    send(QEvent::MouseMove, at + QPoint(20, 20), Qt::NoButton);
    QCOMPARE(owner.pos(), start + QPoint(21, 15));
    QCOMPARE(shadow.Rebuilds(), 1);
}

QTEST_MAIN(SkinTest)
#include "skin_test.moc"
