// The application object: errors that escape window handlers, Qt's Chinese texts, and the
// confirmation box of Qt's own dialogs.

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

#include "app/application.h"
#include "app/dialogs.h"

using namespace gw;

class ApplicationTest : public QObject {
    Q_OBJECT
  private slots:
    void errorEscapingAHandlerIsShownAndTheProgramGoesOn();
    void qtTextsAreChinese();
    void confirmationCarriesTheInformationIcon();
};

namespace {

// A button whose click handler fails.
class FailingButton : public QPushButton {
  public:
    int clicks = 0;
    FailingButton() {
        connect(this, &QPushButton::clicked, this, [this] {
            ++clicks;
            throw std::runtime_error("Cannot open file \"/x/gone.png\". No such file or directory");
        });
    }
};

}  // namespace

void ApplicationTest::errorEscapingAHandlerIsShownAndTheProgramGoesOn() {
    auto* app = static_cast<Application*>(qApp);
    QStringList shown;
    app->SetErrorHandler([&shown](const QString& text) { shown << text; });
    FailingButton button;
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(button.clicks, 2);
    QCOMPARE(shown, (QStringList{"Cannot open file \"/x/gone.png\". No such file or directory",
                                 "Cannot open file \"/x/gone.png\". No such file or directory"}));
    // The event loop still runs.
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    QTRY_VERIFY(ran);
    app->SetErrorHandler({});
}

void ApplicationTest::qtTextsAreChinese() {
    QVERIFY(LoadQtTranslations(*qApp));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QString::fromUtf8("是(&Y)"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Open"), QString::fromUtf8("打开"));
    // The file dialog's type column, which the catalogue lacks.
    QCOMPARE(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"),
             QString::fromUtf8("文件夹"));
}

void ApplicationTest::confirmationCarriesTheInformationIcon() {
    QtDialogService dialogs;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&icon] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    QVERIFY(!dialogs.AskYesNo(nullptr, "Confirm", "Export 3 files?"));
    QCOMPARE(icon, QMessageBox::Information);
}

int main(int argc, char** argv) {
    Application app(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
