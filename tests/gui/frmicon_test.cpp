// The main window started headless in a folder of its own.

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include "app/frmicon.h"
#include "app/widgets.h"
#include "catalogue/gui/thumbgrid.h"
#include "i18n/encoding.h"
#include "i18n/ini.h"
#include "support/fakedialogs.h"

using namespace gw;

namespace {

QString SourceDir() {
    return QString::fromLocal8Bit(qgetenv("GW_SOURCE_DIR"));
}

// A fresh program folder holding the shipped language file (or another one).
struct ProgramFolder {
    QTemporaryDir dir;
    explicit ProgramFolder(const QByteArray* languageUtf8 = nullptr) {
        QDir(dir.path()).mkpath("Languages");
        const QString target = dir.path() + "/Languages/Chinese.isl";
        if (languageUtf8) {
            QFile f(target);
            f.open(QIODevice::WriteOnly);
            f.write(QByteArray::fromStdString(EncodeCodePage936(languageUtf8->toStdString())));
        } else {
            QFile::copy(SourceDir() + "/Languages/Chinese.isl", target);
        }
    }
    std::string Path() const { return dir.path().toStdString() + "/"; }
    QString Options() const { return dir.path() + "/Options.ini"; }
    void WriteOptions(const QByteArray& text) const {
        QFile f(Options());
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
};

QString ShippedMessage(const char* key) {
    IniFile lang = LoadLanguageFile((SourceDir() + "/Languages/Chinese.isl").toStdString());
    return QString::fromStdString(lang.GetString("Messages", key, ""));
}

IconEntry Entry(const char* name, int number = 0) {
    return IconEntry{std::string("/f/") + name, name, number, nullptr};
}

}  // namespace

class FrmIconTest : public QObject {
    Q_OBJECT
  private slots:
    void startsWithTheShippedLanguage();
    void closeWritesTheLanguageSetting_data();
    void closeWritesTheLanguageSetting();
    void missingLanguageFileLeavesBuiltInTexts();
    void sectionLinesOverrideMessages();
    void statusLineCountsEntries();
    void busyPanelShowsProgress();
    void linkOpensTheGuidePage();
    void startupErrorIsShownAndTheWindowStillShows();
    void cellsKeepSmallPicturesAtTheirSize_data();
    void cellsKeepSmallPicturesAtTheirSize();
    void rightClickSelectsAndEnablesTheMenu();
    void hintFollowsThePointer();
    void captionCarriesTheNumberAnEllipsisAndMnemonics();
    void selectedCellFrameSpansTheWholeCell();
};

void FrmIconTest::startsWithTheShippedLanguage() {
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), QSize(742, 516));
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!ShippedMessage("MS_Ready_1").isEmpty());
    QCOMPARE(w.StatusText(), ShippedMessage("MS_Ready_1"));
    QCOMPARE(w.LanguageIndex(), 5);
    QCOMPARE(w.windowTitle(), QString("Glyphwright"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QString("Glyphwright"));
    QCOMPARE(w.font().family(), QString("SimSun"));
    QCOMPARE(w.font().pointSize(), 9);
    QVERIFY(!w.Label28->isVisible());
    QVERIFY(!w.RzURLLabel1->isVisible());
    QVERIFY(!w.BusyVisible());
    QVERIFY(w.BtnOpenFiles->isEnabled() && w.BtnOpenFolder->isEnabled() &&
            w.BtnExport->isEnabled());
    QCOMPARE(w.Label3->text(), ShippedMessage("MS_Ver").replace("%1", "2.1.8.0"));
    QCOMPARE(w.BtnOpenFiles->geometry(), QRect(228, 28, 82, 82));
    QCOMPARE(w.RzPanel1->geometry(), QRect(11, 120, 720, 360));
    QCOMPARE(w.ImageEnMView->geometry(), QRect(2, 2, 716, 356));
    QCOMPARE(w.RzURLLabel2->geometry().right() + 1, 726);
    QCOMPARE(w.Grid()->Model().Count(), 0);
    QVERIFY(!w.Grid()->ItemTextDrawing());
    QVERIFY(dialogs.errors.isEmpty());
    w.close();
}

void FrmIconTest::closeWritesTheLanguageSetting_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("no file") << QByteArray() << QByteArray("[LANGUAGE]\r\nDefault=5\r\n");
    QTest::newRow("stored 2") << QByteArray("[LANGUAGE]\r\nDefault=2\r\n")
                              << QByteArray("[LANGUAGE]\r\nDefault=5\r\n");
    QTest::newRow("stored -3") << QByteArray("[LANGUAGE]\r\nDefault=-3\r\n")
                               << QByteArray("[LANGUAGE]\r\nDefault=5\r\n");
    QTest::newRow("stored 99") << QByteArray("[LANGUAGE]\r\nDefault=99\r\n")
                               << QByteArray("[LANGUAGE]\r\nDefault=5\r\n");
    QTest::newRow("export settings kept")
        << QByteArray("[EXPORT]\r\nFormat=2\r\n\r\n[LANGUAGE]\r\nDefault=7\r\n")
        << QByteArray("[EXPORT]\r\nFormat=2\r\n\r\n[LANGUAGE]\r\nDefault=5\r\n");
}

void FrmIconTest::closeWritesTheLanguageSetting() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    ProgramFolder folder;
    if (!before.isEmpty()) folder.WriteOptions(before);
    FakeDialogs dialogs;
    {
        FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
        w.show();
        QCOMPARE(w.StatusText(), ShippedMessage("MS_Ready_1"));
        w.BtnSysClose->click();  // the same close steps as Alt+F4 or the taskbar
        QVERIFY(!w.isVisible());
    }
    QFile f(folder.Options());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), after);
    QVERIFY(dialogs.errors.isEmpty());
}

void FrmIconTest::missingLanguageFileLeavesBuiltInTexts() {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(dir.path().toStdString(), &dialogs));
    QCOMPARE(w.StatusText(), QString());
    QCOMPARE(w.Label3->text(), QString());
    QCOMPARE(w.RzURLLabel2->text(), QString());
    QCOMPARE(w.BtnOpenFiles->text(), QString("Open files"));
    QCOMPARE(w.PM_RemoveAll->text(), QString("Remove all"));
    QCOMPARE(w.LanguageIndex(), 5);
    QVERIFY(dialogs.errors.isEmpty());
}

void FrmIconTest::sectionLinesOverrideMessages() {
    const QByteArray lang =
        "[Messages]\nMS_Ver=V %1\nMS_Ready_1=empty\n[FrmIcon]\nLabel3.Caption=from section\n"
        "Caption=Main\nBtnExport.Left=$100\nPM_ExportAll.Caption=全部\nLabel1.Left="
        "abc\nBtnOpenFiles.Caption=X\n";
    ProgramFolder folder(&lang);
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    QCOMPARE(w.Label3->text(), QString("from section"));
    QCOMPARE(w.windowTitle(), QString("Main"));
    QCOMPARE(w.BtnExport->x(), 256);
    QCOMPARE(w.PM_ExportAll->text(), QString::fromUtf8("全部"));
    QCOMPARE(w.BtnOpenFiles->text(), QString("Open files"));  // after the bad integer: skipped
    QCOMPARE(w.StatusText(), QString("empty"));
}

void FrmIconTest::statusLineCountsEntries() {
    const QByteArray lang = "[Messages]\nMS_Ready_1=none\nMS_Ready_2=%1 icons, %1 in all\n";
    ProgramFolder folder(&lang);
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    w.Entries().Append(Entry("a.png"));
    w.BtnExport->setEnabled(false);
    w.RefreshStatus();
    QCOMPARE(w.StatusText(), QString("1 icons, 1 in all"));
    QVERIFY(w.BtnExport->isEnabled());
    for (int i = 0; i < 11; ++i) w.Entries().Append(Entry("b.png"));
    w.RefreshStatus();
    QCOMPARE(w.StatusText(), QString("12 icons, 12 in all"));
    w.Entries().RemoveAll();
    w.RefreshStatus();
    QCOMPARE(w.StatusText(), QString("none"));
}

void FrmIconTest::busyPanelShowsProgress() {
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    w.show();
    w.ShowBusy("working", 4);
    QVERIFY(w.BusyVisible());
    QCOMPARE(w.PanelState->geometry(), QRect(231, 219, 280, 60));
    QCOMPARE(w.Label25->text(), QString("working"));
    w.StepBusy();
    w.StepBusy();
    QCOMPARE(w.RzProgressBar1->PartsComplete(), 2);
    QCOMPARE(w.RzProgressBar1->TotalParts(), 4);
    w.HideBusy();
    QVERIFY(!w.BusyVisible());
    w.close();
}

void FrmIconTest::linkOpensTheGuidePage() {
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIconOptions options(folder.Path(), &dialogs);
    options.GuideUrl = "https://example.org/guide";
    FrmIcon w(options);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.RzURLLabel2, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(dialogs.openedUrls, QList<QUrl>{QUrl("https://example.org/guide")});
    w.close();
}

void FrmIconTest::startupErrorIsShownAndTheWindowStillShows() {
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIconOptions options(folder.Path(), &dialogs);
    options.PaintSkin = [](QPixmap&) { throw std::runtime_error("Out of system resources"); };
    FrmIcon w(options);
    QCOMPARE(dialogs.errors, QStringList{"Out of system resources"});
    // The steps after the failing one did not run; the language before it did.
    QCOMPARE(w.StatusText(), QString());
    QCOMPARE(w.LanguageIndex(), 5);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.close();
}

void FrmIconTest::cellsKeepSmallPicturesAtTheirSize_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("icon 32") << QSize(32, 32) << QRect(24, 14, 32, 32);
    QTest::newRow("79 x 59") << QSize(79, 59) << QRect(0, 0, 79, 59);
    QTest::newRow("77 x 57: halves go to the even neighbour")
        << QSize(77, 57) << QRect(2, 2, 77, 57);
    QTest::newRow("80 x 10 fits the area") << QSize(80, 10) << QRect(0, 0, 80, 60);
    QTest::newRow("16 x 200 fits the area") << QSize(16, 200) << QRect(0, 0, 80, 60);
    QTest::newRow("undecodable") << QSize(0, 0) << QRect(0, 0, 80, 60);
}

void FrmIconTest::cellsKeepSmallPicturesAtTheirSize() {
    QFETCH(QSize, picture);
    QFETCH(QRect, expected);
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    auto pic = std::make_shared<Picture>();
    pic->Width = picture.width();
    pic->Height = picture.height();
    pic->Failed = picture.isEmpty();
    w.Entries().Append(IconEntry{"/f/a.png", "a.png", 7, pic});
    QImage dest(100, 100, QImage::Format_RGB32);
    QPainter p(&dest);
    QRect thumb(0, 0, 80, 80);
    w.ImageEnMViewBeforeImageDrawEx(0, p, 0, 0, thumb);
    QCOMPARE(thumb, expected);
}

namespace {

// A point inside entry k of the grid, in its viewport's coordinates.
QPoint InEntry(ThumbGrid* grid, int k) {
    const int width = grid->viewport()->width();
    return {GridLayout::CellLeft(k, width) + 20, GridLayout::CellTop(k, width, 0) + 20};
}

QPoint EmptySpace(ThumbGrid* grid) {
    return {grid->viewport()->width() - 3, grid->viewport()->height() - 3};
}

}  // namespace

void FrmIconTest::rightClickSelectsAndEnablesTheMenu() {
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    for (const char* name : {"a.png", "b.png", "c.png", "d.png", "e.png"})
        w.Entries().Append(Entry(name));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    ThumbGrid* grid = w.Grid();
    auto rightClick = [&](const QPoint& at) {
        QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, at);
        QTRY_VERIFY(w.PopupMenu1->isVisible());
        w.PopupMenu1->hide();
    };
    auto enabled = [&w] {
        return QList<bool>{w.PM_ExportSel->isEnabled(), w.PM_ExportAll->isEnabled(),
                           w.PM_RemoveSel->isEnabled(), w.PM_RemoveAll->isEnabled()};
    };
    w.Entries().SelectOnly(0);
    w.Entries().ToggleSelection(1);
    w.Entries().ToggleSelection(2);
    rightClick(InEntry(grid, 1));  // one of the selection: all three stay
    QCOMPARE(w.Entries().SelectedCount(), 3);
    QCOMPARE(enabled(), (QList<bool>{true, true, true, true}));
    rightClick(InEntry(grid, 4));  // another entry: it alone
    QCOMPARE(w.Entries().SelectedCount(), 1);
    QVERIFY(w.Entries().IsSelected(4));
    rightClick(EmptySpace(grid));
    QCOMPARE(w.Entries().SelectedCount(), 0);
    QCOMPARE(enabled(), (QList<bool>{false, true, false, true}));
    w.Entries().SelectOnly(2);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, EmptySpace(grid));
    QCOMPARE(w.Entries().SelectedCount(), 0);
    w.PM_RemoveAllClick();
    rightClick(EmptySpace(grid));  // the menu opens over an empty catalogue, all disabled
    QCOMPARE(enabled(), (QList<bool>{false, false, false, false}));
    w.close();
}

void FrmIconTest::hintFollowsThePointer() {
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    w.Entries().Append(Entry("first.png"));
    w.Entries().Append(Entry("tools.exe", 3));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    ThumbGrid* grid = w.Grid();
    QWidget* view = grid->viewport();
    QTest::mouseMove(view, InEntry(grid, 1));
    QTRY_COMPARE(view->toolTip(), QString("tools.exe"));  // the name, without the number
    QToolTip::showText(view->mapToGlobal(InEntry(grid, 1)), view->toolTip(), view);
    QTRY_VERIFY(QToolTip::isVisible());
    QTest::mouseMove(view, EmptySpace(grid));
    QTRY_VERIFY(!QToolTip::isVisible());
    QCOMPARE(view->toolTip(), QString());
    w.close();
}

namespace {

// The caption strip of one painted cell at (10, 10), white background.
QImage PaintedCell(FrmIcon& w, bool selected, QRect* thumb = nullptr) {
    QImage dest(110, 110, QImage::Format_RGB32);
    dest.fill(Qt::white);
    QPainter p(&dest);
    if (selected)
        w.Entries().SelectOnly(0);
    else
        w.Entries().ClearSelection();
    QRect rect(0, 0, 80, 80);
    w.ImageEnMViewBeforeImageDrawEx(0, p, 10, 10, rect);
    if (thumb) *thumb = rect;
    return dest;
}

// What the system's text drawing gives for `text` in the caption strip of that cell.
QImage ExpectedCaption(const QFont& font, const QColor& color, const QString& text, int flags) {
    QImage dest(110, 110, QImage::Format_RGB32);
    dest.fill(Qt::white);
    QPainter p(&dest);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRect(QPoint(12, 72), QPoint(87, 87)),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | flags, text);
    return dest;
}

}  // namespace

void FrmIconTest::captionCarriesTheNumberAnEllipsisAndMnemonics() {
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    const QColor ink = w.palette().color(QPalette::WindowText);
    const QString longName = "a-very-long-file-name-that-does-not-fit.png";
    const QString elided =
        QFontMetrics(w.font()).elidedText("12 - " + longName, Qt::ElideRight, 76);
    QVERIFY(elided.endsWith(QChar(0x2026)));
    struct Case {
        QString name;
        int number;
        QString shown;
        int flags;
    };
    const Case cases[] = {
        {"a.png", 0, "a.png", 0},
        {"a.png", 7, "7 - a.png", 0},
        {longName, 12, elided, 0},
        {"a&b.png", 0, "a&b.png", Qt::TextShowMnemonic},  // "b" underlined, no "&"
        {"a&&b.png", 0, "a&b.png", 0},
    };
    for (const Case& c : cases) {
        w.Entries().RemoveAll();
        w.Entries().Append(IconEntry{"/f/x", c.name.toStdString(), c.number, nullptr});
        QVERIFY2(PaintedCell(w, false) == ExpectedCaption(w.font(), ink, c.shown, c.flags),
                 qPrintable(c.name));
    }
    // The mnemonic mark changes what is drawn: an underline instead of the "&".
    QVERIFY(ExpectedCaption(w.font(), ink, "a&b.png", Qt::TextShowMnemonic) !=
            ExpectedCaption(w.font(), ink, "a&b.png", 0));
}

void FrmIconTest::selectedCellFrameSpansTheWholeCell() {
    ProgramFolder folder;
    FakeDialogs dialogs;
    FrmIcon w(FrmIconOptions(folder.Path(), &dialogs));
    w.Entries().Append(Entry("a.png"));
    const QRgb frame = w.Grid()->SelectionColor().rgb();
    // The hook's frame: (left - 1, top - 1) to (left + 82, top + 82) exclusive, 2 pixels wide.
    const QImage cell = PaintedCell(w, true);
    auto framed = [&](int x, int y) { return cell.pixel(x, y) == frame; };
    for (int along : {9, 30, 91}) {
        QVERIFY(!framed(8, along) && framed(9, along) && framed(10, along));
        QVERIFY(framed(90, along) && framed(91, along) && !framed(92, along));
        QVERIFY(!framed(along, 8) && framed(along, 9) && framed(along, 10));
        QVERIFY(framed(along, 90) && framed(along, 91) && !framed(along, 92));
    }
    QVERIFY(!framed(11, 30) && !framed(89, 30));

    // In the grid, the picture's own frame stays within the cell's frame.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    w.Grid()->setFocus();
    QTRY_VERIFY(w.Grid()->hasFocus());
    QVERIFY(w.Grid()->EffectiveSelectionWidth() >= 2);
    const QImage grid = w.Grid()->viewport()->grab().toImage();
    const int left = GridLayout::CellLeft(0, w.Grid()->viewport()->width());
    const int top = GridLayout::CellTop(0, w.Grid()->viewport()->width(), 0);
    for (int y = top - 1; y < top + 82; ++y) QVERIFY(grid.pixel(left - 2, y) != frame);
    for (int x = left - 1; x < left + 82; ++x) QVERIFY(grid.pixel(x, top - 2) != frame);
    QCOMPARE(grid.pixel(left - 1, top + 30), frame);
    QCOMPARE(grid.pixel(left + 81, top + 30), frame);
    w.close();
}

QTEST_MAIN(FrmIconTest)
#include "frmicon_test.moc"
