// Export from the main window: gathering, the dialog, the confirmation and the files written.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/frmicon.h"
#include "app/widgets.h"
#include "export/gui/frmexport.h"
#include "support/fakedialogs.h"
#include "support/pebuilder.h"

using namespace gw;

namespace {

const QByteArray kLanguage =
    "[Messages]\nMS_Export_1=All %1\nMS_Export_2=Selected %1\nMS_Confirm=Sure?\n"
    "MS_ConfirmMsg=Export %1 to%3%2\nMS_Processing=busy\nMS_Ready_2=%1 entries\n";

struct Fixture {
    QTemporaryDir program, files, out;
    FakeDialogs dialogs;
    std::unique_ptr<FrmIcon> window;
    QString seenTitle;

    Fixture() {
        QDir(program.path()).mkpath("Languages");
        QFile lang(program.path() + "/Languages/Chinese.isl");
        lang.open(QIODevice::WriteOnly);
        lang.write(kLanguage);
        lang.close();
        FrmIconOptions options(program.path().toStdString(), &dialogs);
        window = std::make_unique<FrmIcon>(options);
        window->show();
        for (const char* name : {"a.dll", "b.dll"}) {
            pefix::ResourceBuilder res;
            res.AddIconGroup(1, {pefix::MakeDibIcon(32, 32, 32, pefix::Rgba{200, 10, 10, 255})});
            res.AddIconGroup(2, {pefix::MakeDibIcon(48, 48, 32, pefix::Rgba{10, 200, 10, 255})});
            pefix::WriteBytes((files.path() + "/" + name).toStdString(), res.BuildPe());
        }
        dialogs.filesToOpen = {files.path() + "/a.dll", files.path() + "/b.dll"};
        window->BtnOpenFiles->click();
        // The user picks ICO at 16 and 32 into the output folder and confirms.
        dialogs.answerDialog = [this](QDialog& dialog) {
            auto& d = static_cast<FrmExport&>(dialog);
            seenTitle = d.Label7->text();
            d.RzComboBox1->setCurrentIndex(0);
            d.RzCheckList1->item(0)->setCheckState(Qt::Checked);
            d.RzCheckList1->item(2)->setCheckState(Qt::Checked);
            d.RzButtonEdit1->setText(out.path());
            d.RzButton1Click();
        };
    }
    QStringList Written() const { return QDir(out.path()).entryList(QDir::Files, QDir::Name); }
};

}  // namespace

class ExportTest : public QObject {
    Q_OBJECT
  private slots:
    void exportAllWritesOneIconFilePerEntry();
    void exportSelectedFollowsTheSelection();
    void answeringNoWritesNothing();
    void nothingToExportDoesNothing();
    void pauseAfterThePanelIsAPlainWait();
};

void ExportTest::exportAllWritesOneIconFilePerEntry() {
    Fixture f;
    QCOMPARE(f.window->Entries().Count(), 4);
    f.window->PM_ExportAllClick();
    QCOMPARE(f.seenTitle, QString("All 4"));
    QCOMPARE(f.dialogs.questions.value(0), "Sure?|Export 4 to\r\n" + f.out.path());
    QCOMPARE(f.Written(),
             (QStringList{"a_00001.ico", "a_00002.ico", "b_00001.ico", "b_00002.ico"}));
    QVERIFY(!f.window->BusyVisible());
    QCOMPARE(f.window->RzProgressBar1->PartsComplete(), 4);
    QCOMPARE(f.window->StatusText(), QString("4 entries"));  // export leaves the status line alone
    QVERIFY(f.dialogs.errors.isEmpty());
    // Again into the same folder: new names, nothing overwritten.
    f.window->PM_ExportAllClick();
    QCOMPARE(f.Written().size(), 8);
    QVERIFY(f.Written().contains("a_00001_1.ico"));
}

void ExportTest::exportSelectedFollowsTheSelection() {
    Fixture f;
    f.window->Entries().SelectOnly(3);
    f.window->Entries().ToggleSelection(0);
    f.window->PM_ExportSelClick();
    QCOMPARE(f.seenTitle, QString("Selected 2"));
    QCOMPARE(f.Written(), (QStringList{"a_00001.ico", "b_00002.ico"}));
}

void ExportTest::answeringNoWritesNothing() {
    Fixture f;
    f.dialogs.answerYes = false;
    f.window->PM_ExportAllClick();
    QCOMPARE(f.dialogs.questions.size(), 1);
    QVERIFY(f.Written().isEmpty());
    // The dialog's choice was stored all the same.
    QFile options(f.program.path() + "/Options.ini");
    QVERIFY(options.open(QIODevice::ReadOnly));
    QVERIFY(options.readAll().contains("Size=101000000"));
}

void ExportTest::nothingToExportDoesNothing() {
    Fixture f;
    f.window->Entries().ClearSelection();
    f.window->PM_ExportSelClick();
    QCOMPARE(f.dialogs.dialogsShown, 0);
    f.window->PM_RemoveAllClick();
    f.window->PM_ExportAllClick();
    QCOMPARE(f.dialogs.dialogsShown, 0);
    QVERIFY(f.Written().isEmpty());
}

void ExportTest::pauseAfterThePanelIsAPlainWait() {
    Fixture f;
    // A timer due while the pause runs fires only after it: nothing is handled meanwhile.
    QElapsedTimer clock;
    qint64 firedAt = -1;
    const auto answer = f.dialogs.answerDialog;
    f.dialogs.answerDialog = [&](QDialog& dialog) {
        answer(dialog);
        clock.start();
        QTimer::singleShot(50, [&] { firedAt = clock.elapsed(); });
    };
    f.window->PM_ExportAllClick();
    QCOMPARE(f.Written().size(), 4);
    QVERIFY(firedAt >= 500);
}

QTEST_MAIN(ExportTest)
#include "export_test.moc"
