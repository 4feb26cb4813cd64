// The thumbnail grid over a catalogue: layout, painting of visible cells only, and its
// selection gestures.

#include <QPainter>
#include <QScrollBar>
#include <QtTest>

#include "catalogue/gui/thumbgrid.h"

using namespace gw;

namespace {

std::shared_ptr<const Picture> SolidPicture(int w, int h) {
    RasterImage img;
    img.Allocate(w, h, PixelFormat::ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.SetPixelRgb(x, y, {200, 10, 10});
    return std::make_shared<Picture>(Picture::FromImage(img));
}

struct Grid {
    Catalogue catalogue;
    ThumbGrid grid{catalogue, nullptr};
    explicit Grid(int entries) {
        for (int i = 0; i < entries; ++i) catalogue.Append(IconEntry{"/f", "f", 0, nullptr});
        catalogue.ClearSelection();
        catalogue.SetChangeListener([this] { grid.Refresh(); });
        grid.resize(716, 356);
        grid.show();
        grid.Refresh();
    }
    QPoint Cell(int k) const {
        return QPoint(GridLayout::CellLeft(k, grid.viewport()->width()) + 40,
                      GridLayout::CellTop(k, grid.viewport()->width(), grid.ScrollOffset()) + 40);
    }
    void Click(int k, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, mods, Cell(k));
    }
};

}  // namespace

class ThumbGridTest : public QObject {
    Q_OBJECT
  private slots:
    void clickGestures();
    void dragSelectsARun();
    void keyboardMovesAndExtends();
    void paintsOnlyVisibleCellsOfAHugeCatalogue();
    void hookSeesTheWholeCellAndMayShrinkIt();
    void selectionFrameFollowsFocus();
};

void ThumbGridTest::clickGestures() {
    Grid g(20);
    QVERIFY(QTest::qWaitForWindowExposed(&g.grid));
    QCOMPARE(GridLayout::Columns(g.grid.viewport()->width()), 8);
    g.Click(3);
    QCOMPARE(g.catalogue.Selection(), std::vector<int>{3});
    g.Click(5, Qt::ControlModifier);
    g.Click(1, Qt::ControlModifier);
    QCOMPARE(g.catalogue.Selection(), (std::vector<int>{3, 5, 1}));
    g.Click(5, Qt::ControlModifier);
    QCOMPARE(g.catalogue.Selection(), (std::vector<int>{3, 1}));
    QCOMPARE(g.catalogue.Current(), -1);
    g.Click(2);
    g.Click(6, Qt::ShiftModifier);
    QCOMPARE(g.catalogue.Selection(), (std::vector<int>{2, 3, 4, 5, 6}));
    QCOMPARE(g.catalogue.Current(), 6);
    // A click in a gap between cells selects nothing new.
    QTest::mouseClick(g.grid.viewport(), Qt::LeftButton, {}, QPoint(89, 40));
    QCOMPARE(g.catalogue.SelectedCount(), 5);
}

void ThumbGridTest::dragSelectsARun() {
    Grid g(20);
    QVERIFY(QTest::qWaitForWindowExposed(&g.grid));
    QTest::mousePress(g.grid.viewport(), Qt::LeftButton, {}, g.Cell(9));
    QMouseEvent move(QEvent::MouseMove, g.Cell(12), g.grid.viewport()->mapToGlobal(g.Cell(12)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(g.grid.viewport(), &move);
    QTest::mouseRelease(g.grid.viewport(), Qt::LeftButton, {}, g.Cell(12));
    QCOMPARE(g.catalogue.Selection(), (std::vector<int>{9, 10, 11, 12}));
}

void ThumbGridTest::keyboardMovesAndExtends() {
    Grid g(30);
    QVERIFY(QTest::qWaitForWindowExposed(&g.grid));
    g.grid.setFocus();
    g.Click(9);
    QTest::keyClick(&g.grid, Qt::Key_Right);
    QCOMPARE(g.catalogue.Selection(), std::vector<int>{10});
    QTest::keyClick(&g.grid, Qt::Key_Down);
    QCOMPARE(g.catalogue.Selection(), std::vector<int>{18});
    QTest::keyClick(&g.grid, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(g.catalogue.Selection(), (std::vector<int>{18, 17}));
    QTest::keyClick(&g.grid, Qt::Key_End);
    QCOMPARE(g.catalogue.Selection(), std::vector<int>{29});
    QTest::keyClick(&g.grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(g.catalogue.Selection(), (std::vector<int>{29, 0}));
    // Four rows fit: a page down from entry 0 would be entry 32, past the last one.
    QTest::keyClick(&g.grid, Qt::Key_PageDown);
    QCOMPARE(g.catalogue.Selection(), std::vector<int>{29});
}

void ThumbGridTest::paintsOnlyVisibleCellsOfAHugeCatalogue() {
    Grid g(0);
    auto pic = SolidPicture(32, 32);
    for (int i = 0; i < 100000; ++i) g.catalogue.Append(IconEntry{"/f", "f", i, pic});
    QVERIFY(QTest::qWaitForWindowExposed(&g.grid));
    QVERIFY(g.grid.verticalScrollBar()->maximum() > 0);
    g.grid.verticalScrollBar()->setValue(g.grid.verticalScrollBar()->maximum());
    g.grid.viewport()->repaint();
    QVERIFY(g.grid.LastPaintedCells() > 0);
    QVERIFY(g.grid.LastPaintedCells() <= 8 * 6);
    // The last entry is reachable at the bottom.
    const int last = g.grid.ItemAt(g.Cell(99999));
    QCOMPARE(last, 99999);
}

void ThumbGridTest::hookSeesTheWholeCellAndMayShrinkIt() {
    Grid g(0);
    g.catalogue.Append(IconEntry{"/f", "f", 0, SolidPicture(32, 32)});
    g.catalogue.Append(
        IconEntry{"/f", "bad", 0, std::make_shared<Picture>(Picture::Undecodable())});
    g.grid.SetItemTextDrawing(false);
    QList<QRect> seen;
    g.grid.SetBeforeImageDraw([&](int, QPainter&, int, int, QRect& thumb) {
        seen << thumb;
        thumb = QRect(24, 14, 32, 32);
    });
    QVERIFY(QTest::qWaitForWindowExposed(&g.grid));
    QImage shot = g.grid.viewport()->grab().toImage();
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.first(), QRect(0, 0, 80, 80));
    // The 32 × 32 picture is drawn pixel for pixel in the rectangle the hook chose.
    QCOMPARE(shot.pixelColor(6 + 24, 6 + 14), QColor(200, 10, 10));
    QCOMPARE(shot.pixelColor(6 + 24 + 31, 6 + 14 + 31), QColor(200, 10, 10));
    QCOMPARE(shot.pixelColor(6 + 23, 6 + 14), QColor(247, 245, 248));
}

void ThumbGridTest::selectionFrameFollowsFocus() {
    Grid g(2);
    g.grid.SetItemTextDrawing(false);
    g.grid.SetBeforeImageDraw(
        [](int, QPainter&, int, int, QRect& thumb) { thumb = QRect(10, 10, 60, 60); });
    g.catalogue.SelectOnly(0);
    QVERIFY(QTest::qWaitForWindowExposed(&g.grid));
    g.grid.setFocus();
    QTRY_VERIFY(g.grid.hasFocus());
    QImage focused = g.grid.viewport()->grab().toImage();
    const QColor frame(2, 127, 186);
    QCOMPARE(focused.pixelColor(6 + 10 - 3, 6 + 30), frame);
    QCOMPARE(focused.pixelColor(6 + 10 - 1, 6 + 30), frame);
    g.grid.clearFocus();
    QTRY_VERIFY(!g.grid.hasFocus());
    QImage unfocused = g.grid.viewport()->grab().toImage();
    QCOMPARE(unfocused.pixelColor(6 + 10 - 1, 6 + 30), frame);
    QVERIFY(unfocused.pixelColor(6 + 10 - 3, 6 + 30) != frame);
}

QTEST_MAIN(ThumbGridTest)
#include "thumbgrid_test.moc"
