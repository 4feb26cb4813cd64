// "Open files", "Open folder" and the removal commands of the main window.

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/frmicon.h"
#include "app/widgets.h"
#include "catalogue/gui/thumbgrid.h"
#include "i18n/messages.h"
#include "support/fakedialogs.h"
#include "support/icobuilder.h"
#include "support/pebuilder.h"

using namespace gw;

namespace {

const QByteArray kLanguage =
    "[Messages]\nMS_Ready_1=empty\nMS_Ready_2=%1 entries\nMS_Opening=opening\nMS_SelDir=pick a "
    "folder\n"
    "[FrmIcon]\nOpenDialog1.Title=Choose\n";

struct Fixture {
    QTemporaryDir program, files;
    FakeDialogs dialogs;
    std::unique_ptr<FrmIcon> window;

    Fixture() {
        QDir(program.path()).mkpath("Languages");
        QFile lang(program.path() + "/Languages/Chinese.isl");
        lang.open(QIODevice::WriteOnly);
        lang.write(kLanguage);
        lang.close();
        window = std::make_unique<FrmIcon>(FrmIconOptions(program.path().toStdString(), &dialogs));
        window->show();
    }
    QString File(const QString& name) const { return files.path() + "/" + name; }
    void Library(const QString& name, int icons) const {
        pefix::ResourceBuilder res;
        for (int i = 0; i < icons; ++i)
            res.AddIconGroup(static_cast<std::uint32_t>(i + 1),
                             {pefix::MakeDibIcon(32, 32, 32, pefix::Rgba{9, 9, 9, 255})});
        QDir().mkpath(QFileInfo(File(name)).path());
        pefix::WriteBytes(File(name).toStdString(), res.BuildPe());
    }
    void Png(const QString& name) const {
        QDir().mkpath(QFileInfo(File(name)).path());
        pefix::WriteBytes(File(name).toStdString(),
                          test::BuildPng(4, 4, std::vector<std::uint32_t>(16, 0xFF102030u)));
    }
    void Text(const QString& name) const {
        pefix::WriteBytes(File(name).toStdString(), {'h', 'i'});
    }
};

}  // namespace

class OpeningTest : public QObject {
    Q_OBJECT
  private slots:
    void openFilesAddsEntriesBehindTheBusyPanel();
    void cancelledDialogsChangeNothing();
    void openFolderStartsAtTheFirstEntrysFolder();
    void folderTakesSupportedFilesOnly();
    void removeCommandsRefreshTheStatus();
};

void OpeningTest::openFilesAddsEntriesBehindTheBusyPanel() {
    Fixture f;
    f.Library("three.dll", 3);
    f.Png("pic.PNG");
    f.Text("notes.txt");
    f.dialogs.filesToOpen = {f.File("three.dll"), f.File("pic.PNG"), f.File("notes.txt")};
    QString statusDuring;
    bool buttonsDisabled = false, panelShown = false;
    QTimer::singleShot(0, [&] {
        statusDuring = f.window->StatusText();
        buttonsDisabled = !f.window->BtnOpenFiles->isEnabled() && !f.window->BtnExport->isEnabled();
        panelShown = f.window->BusyVisible();
    });
    f.window->BtnOpenFiles->click();
    QCOMPARE(f.dialogs.lastOpenTitle, QString("Choose"));
    QVERIFY(f.dialogs.lastOpenFilter.startsWith("Support file (*.exe *.dll"));
    QCOMPARE(f.dialogs.lastOpenFilter.count(";;"), 7);
    QCOMPARE(statusDuring, QString("opening"));
    QVERIFY(buttonsDisabled);
    QVERIFY(panelShown);
    QCOMPARE(f.window->Entries().Count(), 4);
    QCOMPARE(f.window->StatusText(), QString("4 entries"));
    QVERIFY(!f.window->BusyVisible());
    QVERIFY(f.window->BtnOpenFiles->isEnabled() && f.window->BtnOpenFolder->isEnabled());
    QCOMPARE(f.window->RzProgressBar1->PartsComplete(), 3);
    // Choosing the same file again adds its entries again.
    f.dialogs.filesToOpen = {f.File("three.dll")};
    f.window->BtnOpenFiles->click();
    QCOMPARE(f.window->Entries().Count(), 7);
    QCOMPARE(f.window->Entries().Entry(6).IconNumber, 3);
}

void OpeningTest::cancelledDialogsChangeNothing() {
    Fixture f;
    f.window->BtnOpenFiles->click();
    f.window->BtnOpenFolder->click();
    QCOMPARE(f.dialogs.openRequests, 1);
    QCOMPARE(f.dialogs.folderRequests, 1);
    QCOMPARE(f.dialogs.lastFolderPrompt, QString("pick a folder"));
    QCOMPARE(f.dialogs.lastFolderInitial, QString());
    QCOMPARE(f.window->StatusText(), QString("empty"));
    QVERIFY(f.dialogs.errors.isEmpty());
}

void OpeningTest::openFolderStartsAtTheFirstEntrysFolder() {
    Fixture f;
    f.Png("A/one.png");
    f.Png("B/two.png");
    f.dialogs.filesToOpen = {f.File("A/one.png")};
    f.window->BtnOpenFiles->click();
    f.dialogs.filesToOpen = {f.File("B/two.png")};
    f.window->BtnOpenFiles->click();
    f.window->BtnOpenFolder->click();
    QCOMPARE(f.dialogs.lastFolderInitial, f.File("A/"));
    // A first folder that has gone away is not preselected.
    QDir(f.File("A")).removeRecursively();
    f.window->BtnOpenFolder->click();
    QCOMPARE(f.dialogs.lastFolderInitial, QString());
}

void OpeningTest::folderTakesSupportedFilesOnly() {
    Fixture f;
    f.Library("app.EXE", 2);
    f.Png(".hidden.png");
    f.Text("readme.txt");
    f.Library("sub/inner.dll", 4);
    QDir().mkpath(f.File("folder.exe"));
    f.dialogs.folderToChoose = f.files.path();
    f.window->BtnOpenFolder->click();
    QCOMPARE(f.window->Entries().Count(), 3);
    QCOMPARE(f.window->StatusText(), QString("3 entries"));
    // An empty folder runs an empty batch: the count stays.
    QDir().mkpath(f.File("empty"));
    f.dialogs.folderToChoose = f.File("empty");
    f.window->BtnOpenFolder->click();
    QCOMPARE(f.window->StatusText(), QString("3 entries"));
    QVERIFY(!f.window->BusyVisible());
}

void OpeningTest::removeCommandsRefreshTheStatus() {
    Fixture f;
    f.Library("five.dll", 5);
    f.dialogs.filesToOpen = {f.File("five.dll")};
    f.window->BtnOpenFiles->click();
    Catalogue& c = f.window->Entries();
    c.SelectOnly(1);
    c.ToggleSelection(3);
    f.window->PM_RemoveSelClick();
    QCOMPARE(c.Count(), 3);
    QCOMPARE(c.Selection(), std::vector<int>{2});  // the entry that followed the current one
    QCOMPARE(f.window->StatusText(), QString("3 entries"));
    f.window->PM_RemoveAllClick();
    QCOMPARE(f.window->StatusText(), QString("empty"));
    QVERIFY(f.window->BtnExport->isEnabled());
}

QTEST_MAIN(OpeningTest)
#include "opening_test.moc"
