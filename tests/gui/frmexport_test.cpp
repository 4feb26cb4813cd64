// The export dialog: stored settings, the panels per format, the sample and the OK checks.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/widgets.h"
#include "export/gui/frmexport.h"
#include "i18n/ini.h"
#include "imagefile/formats/registry.h"
#include "imagefile/ops/imageops.h"
#include "imagefile/ops/resample.h"
#include "support/fakedialogs.h"
#include "support/pebuilder.h"
#include "support/picture_fixtures.h"

using namespace gw;

namespace {

const char* kLanguage =
    "[Messages]\nMS_Sample=Sample\nMS_Info=Info\nMS_Check_1=pick a size\nMS_Check_2=give a size\n"
    "MS_Check_3=no such folder\nMS_SelDir=where\n"
    "[FrmExport]\nRzComboBox1.Items=ico||bmp||png||gif||jpg||tif||psd||tga||pcx\nLabel6.Caption="
    "Folder\n";

struct Fixture {
    QTemporaryDir program;
    FakeDialogs dialogs;
    MessageCatalogue messages;
    Fixture() {
        QDir(program.path()).mkpath("Languages");
        QFile f(program.path() + "/Languages/Chinese.isl");
        f.open(QIODevice::WriteOnly);
        f.write(kLanguage);
        f.close();
        messages.LoadFrom(IniFile::FromText(kLanguage));
    }
    std::string Folder() const { return program.path().toStdString() + "/"; }
    void Options(const QByteArray& text) const {
        QFile f(program.path() + "/Options.ini");
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    IniFile Stored() const { return IniFile::Load(Folder() + "Options.ini"); }
    std::unique_ptr<FrmExport> Dialog() {
        auto d = std::make_unique<FrmExport>(Folder(), messages, dialogs);
        d->show();
        return d;
    }
};

}  // namespace

class FrmExportTest : public QObject {
    Q_OBJECT
  private slots:
    void defaultsWithoutSettings();
    void storedSettingsAreLoaded();
    void formatArrangesThePanels();
    void okChecksInOrder();
    void settingsAreStoredHoweverItCloses();
    void sampleIsDrawnOncePerRow();
    void languageAndTheWholeRun();
    void pictureSampleFollowsTheExportSteps();
    void regressionUnreadableSampleLeavesTheViewAsItWas();
    void spinEditsStepAndClamp();
    void centredOnTheScreen();
};

void FrmExportTest::defaultsWithoutSettings() {
    Fixture f;
    auto d = f.Dialog();
    const ExportOptions r = d->Result();
    QCOMPARE(r.Format, 0);
    QCOMPARE(r.Size, std::string("000000000"));
    QVERIFY(!r.Transparent);
    QCOMPARE(r.SavePath, std::string());
    QCOMPARE(r.Width, 128);
    QCOMPARE(r.Height, 128);
    QCOMPARE(r.GradualColor, 16777215);
    QVERIFY(!d->PanelColor->isVisible());
    QVERIFY(!d->Label8->isVisible());
    QCOMPARE(d->LastSampleRow(), -1);
    QCOMPARE(d->size(), QSize(472, 331));
    QCOMPARE(d->RzCheckList1->item(2)->text(), QString("32 * 32"));
}

void FrmExportTest::storedSettingsAreLoaded() {
    Fixture f;
    f.Options(
        "[EXPORT]\nFormat=2\nTransparent=1\nSize=1011111111111\nSavePath=/"
        "tmp\nWidth=64\nHeight=48\n"
        "GradualColor=255\n");
    auto d = f.Dialog();
    const ExportOptions r = d->Result();
    QCOMPARE(r.Format, 2);
    QVERIFY(r.Transparent);
    QCOMPARE(r.Size, std::string("101111111"));
    QCOMPARE(r.SavePath, std::string("/tmp"));
    QCOMPARE(r.Width, 64);
    QCOMPARE(r.Height, 48);
    QCOMPARE(r.GradualColor, 255);
    QVERIFY(d->PanelColor->isVisibleTo(d->RzPanel1));
    QVERIFY(d->Label8->isVisibleTo(d->RzPanel1));

    Fixture g;
    g.Options("[EXPORT]\nSize=101\nFormat=12\n");
    auto e = g.Dialog();
    QCOMPARE(e->Result().Size, std::string("101000000"));
    QCOMPARE(e->Result().Format, -1);  // a stored format outside the list selects none
}

void FrmExportTest::formatArrangesThePanels() {
    Fixture f;
    auto d = f.Dialog();
    QCOMPARE(d->RzButtonEdit1->y(), 266);
    QCOMPARE(d->Label6->y(), 270);
    QVERIFY(d->RzPanel1->isVisible() && !d->RzPanel2->isVisible());
    d->RzComboBox1->setCurrentIndex(1);
    QCOMPARE(d->RzButtonEdit1->y(), 138);
    QCOMPARE(d->Label6->y(), 142);
    QVERIFY(!d->RzPanel1->isVisible() && d->RzPanel2->isVisible());
    d->RzComboBox1->setCurrentIndex(0);
    QCOMPARE(d->RzButtonEdit1->y(), 266);
    QVERIFY(d->RzPanel1->isVisible());
}

void FrmExportTest::okChecksInOrder() {
    Fixture f;
    auto d = f.Dialog();
    d->RzButtonEdit1->setText("/no/such/folder");
    d->RzButton1Click();  // ICO without a size: the first check wins over the missing folder
    QCOMPARE(f.dialogs.informations.value(0), QString("Info|pick a size"));
    d->RzComboBox1->setCurrentIndex(2);
    d->RzSpinEdit1->SetText("");
    d->RzButton1Click();
    QCOMPARE(f.dialogs.informations.value(1), QString("Info|give a size"));
    d->RzSpinEdit1->SetText("0");
    d->RzButton1Click();
    QCOMPARE(f.dialogs.informations.value(2), QString("Info|give a size"));
    d->RzSpinEdit1->SetText("10");
    d->RzButton1Click();
    QCOMPARE(f.dialogs.informations.value(3),
             QString("Info|\"/no/such/folder\"\r\nno such folder"));
    QVERIFY(d->isVisible());
    d->RzButtonEdit1->setText(f.program.path());
    d->RzButton1Click();
    QCOMPARE(f.dialogs.informations.size(), 4);
    QCOMPARE(d->result(), int(QDialog::Accepted));
}

void FrmExportTest::settingsAreStoredHoweverItCloses() {
    Fixture f;
    {
        auto d = f.Dialog();
        d->RzComboBox1->setCurrentIndex(3);
        d->RzSpinEdit2->SetText("");
        d->reject();  // Cancel still stores what was changed
    }
    const IniFile stored = f.Stored();
    QCOMPARE(stored.GetInteger("EXPORT", "Format", -9), 3);
    QCOMPARE(stored.GetInteger("EXPORT", "Height", -9), 128);  // a blank size counts as 128
    QCOMPARE(stored.GetString("EXPORT", "Size", "?"), std::string("000000000"));
    auto again = f.Dialog();
    QCOMPARE(again->Result().Format, 3);
}

void FrmExportTest::sampleIsDrawnOncePerRow() {
    Fixture f;
    pefix::ResourceBuilder res;
    res.AddIconGroup(1, {pefix::MakeDibIcon(32, 32, 32, pefix::Rgba{200, 0, 0, 255})});
    const std::string exe = f.Folder() + "one.exe";
    pefix::WriteBytes(exe, res.BuildPe());
    auto d = f.Dialog();
    d->Prepare("Export 1", exe, 0);
    d->RzCheckList1->setCurrentRow(2);
    QCOMPARE(d->SamplesDrawn(), 1);
    QCOMPARE(d->ImageEnView1->Holder().Image.Width(), 32);
    QCOMPARE(d->Label5->text(), QString("Sample - 32 * 32"));
    d->RzCheckList1Click();  // the same row again: not drawn again
    QCOMPARE(d->SamplesDrawn(), 1);
    d->RzCheckBox1->setChecked(true);  // toggling transparency redraws it
    QCOMPARE(d->SamplesDrawn(), 2);
    f.dialogs.colorToChoose = QColor(0, 0, 0);
    d->PanelColorClick();
    QCOMPARE(d->SamplesDrawn(), 3);
    QCOMPARE(d->SwatchColor(), 0);
    d->PanelColorClick();  // the same colour changes nothing
    QCOMPARE(d->SamplesDrawn(), 3);
    d->RzCheckList1->setCurrentRow(8);
    QCOMPARE(d->ImageEnView1->Holder().Image.Width(), 256);
}

void FrmExportTest::languageAndTheWholeRun() {
    Fixture f;
    f.dialogs.folderToChoose = f.program.path();
    f.dialogs.answerDialog = [](QDialog& dialog) {
        auto& d = static_cast<FrmExport&>(dialog);
        QCOMPARE(d.RzComboBox1->itemText(1), QString("bmp"));
        QCOMPARE(d.Label6->text(), QString("Folder"));
        QCOMPARE(d.Label7->text(), QString("Export 2 entries"));
        d.RzCheckList1->item(0)->setCheckState(Qt::Checked);
        d.RzButtonEdit1ButtonClick();
        d.RzButton1Click();
    };
    ExportOptions options;
    QVERIFY(ShowExportDialog(f.Folder(), f.messages, f.dialogs, "Export 2 entries", "/x/a.png", 0,
                             options));
    QCOMPARE(options.Size, std::string("100000000"));
    QCOMPARE(options.SavePath, f.program.path().toStdString());
    QCOMPARE(f.dialogs.lastFolderPrompt, QString("where"));
    f.dialogs.answerDialog = nullptr;  // cancelled
    QVERIFY(!ShowExportDialog(f.Folder(), f.messages, f.dialogs, "t", "/x/a.png", 0, options));
}

namespace {

// White with a red square, 12 × 12: the square from (3, 3) to (8, 8).
std::string SquarePicture(const std::string& path) {
    ImageHolder holder;
    holder.Image.Allocate(12, 12, PixelFormat::ie24RGB);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            holder.Image.SetPixelRgb(
                x, y, x >= 3 && x < 9 && y >= 3 && y < 9 ? Rgb{220, 30, 30} : Rgb{255, 255, 255});
    if (!SaveImageFile(holder, path).ok()) qFatal("cannot write %s", path.c_str());
    return path;
}

}  // namespace

void FrmExportTest::pictureSampleFollowsTheExportSteps() {
    Fixture f;
    f.Options("[EXPORT]\nTransparent=1\nGradualColor=0\n");
    const std::string png = SquarePicture(f.Folder() + "square.png");
    auto d = f.Dialog();
    d->Prepare("Export 1", png, 0);
    d->RzCheckList1->setCurrentRow(0);  // 16 × 16
    const RasterImage& shown = d->ImageEnView1->Holder().Image;
    QCOMPARE(shown.Width(), 16);
    QVERIFY(shown.HasAlpha());
    // The background is transparent; the soft edge is tinted by the black gradual colour
    // through the fast linear filter.
    QCOMPARE(int(shown.AlphaRow(0)[0]), 0);
    QCOMPARE(int(shown.AlphaRow(8)[8]), 255);
    QCOMPARE(shown.PixelRgb(8, 8), (Rgb{220, 30, 30}));
    ImageHolder expected;
    QVERIFY(LoadImageFile(expected, png).ok());
    MakeBackgroundTransparent(expected, Rgb{0, 0, 0});
    ImageHolder hermite = expected;
    ResampleImage(expected, 16, 16, ResampleFilter::rfFastLinear);
    ResampleImage(hermite, 16, 16, ResampleFilter::rfHermite);
    const Rgb pinnedEdge{55, 7, 7};
    QCOMPARE(shown.PixelRgb(3, 8), pinnedEdge);
    QCOMPARE(int(shown.AlphaRow(8)[3]), 63);
    QVERIFY(hermite.Image.PixelRgb(3, 8) != pinnedEdge);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            QCOMPARE(shown.PixelRgb(x, y), expected.Image.PixelRgb(x, y));
            QCOMPARE(shown.AlphaRow(y)[x], expected.Image.AlphaRow(y)[x]);
        }
    // A white gradual colour lightens the same edge pixel.
    f.dialogs.colorToChoose = QColor(255, 255, 255);
    d->PanelColorClick();
    const Rgb light = d->ImageEnView1->Holder().Image.PixelRgb(3, 8);
    QVERIFY(light.g > pinnedEdge.g && light.b > pinnedEdge.b);
}

void FrmExportTest::regressionUnreadableSampleLeavesTheViewAsItWas() {
    Fixture f;
    const std::string png = SquarePicture(f.Folder() + "gone.png");
    auto d = f.Dialog();
    d->Prepare("Export 1", png, 0);
    d->RzCheckList1->setCurrentRow(2);
    const RasterImage before = d->ImageEnView1->Holder().Image;
    QCOMPARE(before.Width(), 32);
    QVERIFY(QFile::remove(QString::fromStdString(png)));
    // A click on another size row: no error escapes, no message, the view keeps its picture.
    const QRect row = d->RzCheckList1->visualItemRect(d->RzCheckList1->item(4));
    QTest::mouseClick(d->RzCheckList1->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(d->RzCheckList1->currentRow(), 4);
    QCOMPARE(d->Label5->text(), QString("Sample - 64 * 64"));
    const RasterImage& after = d->ImageEnView1->Holder().Image;
    QCOMPARE(after.Width(), 32);
    QCOMPARE(test::FirstColourDifference(after, before), std::string());
    QVERIFY(f.dialogs.errors.isEmpty() && f.dialogs.informations.isEmpty());
    QVERIFY(d->isVisible());
}

void FrmExportTest::spinEditsStepAndClamp() {
    Fixture f;
    auto d = f.Dialog();
    d->RzComboBox1->setCurrentIndex(1);
    SpinEdit* width = d->RzSpinEdit1;
    width->setFocus();
    QTest::keyClick(width, Qt::Key_Up);
    QCOMPARE(width->Text(), QString("129"));
    width->SetText("");  // blank counts as 128
    QTest::keyClick(width, Qt::Key_Down);
    QCOMPARE(width->Text(), QString("127"));
    width->SetValue(10000);
    QVERIFY(!(width->stepEnabled() & QAbstractSpinBox::StepUpEnabled));
    QTest::keyClick(width, Qt::Key_Up);
    QCOMPARE(width->Text(), QString("10000"));
    width->SetValue(0);
    QVERIFY(!(width->stepEnabled() & QAbstractSpinBox::StepDownEnabled));
    // Typed: letters are refused; a value above 10000 shows the 10000 it counts as.
    width->SetText("");
    QTest::keyClicks(width, "2x5");
    QCOMPARE(width->Text(), QString("25"));
    width->SetText("");
    QTest::keyClicks(width, "12345");
    QCOMPARE(width->Value(), 10000);
    QTest::keyClick(width, Qt::Key_Enter);
    QCOMPARE(width->Text(), QString("10000"));
    QCOMPARE(d->Result().Width, 10000);
}

void FrmExportTest::centredOnTheScreen() {
    Fixture f;
    QWidget owner;
    owner.setGeometry(10, 20, 300, 200);
    owner.show();
    FrmExport d(f.Folder(), f.messages, f.dialogs, &owner);
    d.show();
    const QRect screen = d.screen()->availableGeometry();
    QCOMPARE(d.pos(), screen.center() - QPoint(236, 165));
    QVERIFY(d.pos() != owner.geometry().center() - QPoint(236, 165));
}

QTEST_MAIN(FrmExportTest)
#include "frmexport_test.moc"
