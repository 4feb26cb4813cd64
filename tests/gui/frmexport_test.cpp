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
#include "support/fakedialogs.h"
#include "support/pebuilder.h"

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

QTEST_MAIN(FrmExportTest)
#include "frmexport_test.moc"
