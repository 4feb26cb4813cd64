// Glyphwright: collect icons and pictures into a grid and write them out again.

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/frmicon.h"
#include "base/appfolder.h"

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if ((!platform || !*platform) && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "glyphwright: no display found (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                     "Start it on a virtual display instead: xvfb-run -a glyphwright\n");
        return 1;
    }
    gw::SetProgramArgv0(argc > 0 ? argv[0] : nullptr);
    gw::Application app(argc, argv);
    gw::LoadQtTranslations(app);
    // The installed theme icon when there is one, else the copy built into the program.
    QIcon builtIn;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(GW_APP_ID), builtIn));
    QGuiApplication::setDesktopFileName(QStringLiteral(GW_APP_ID));
    gw::FrmIcon window;
    app.SetErrorHandler([&window](const QString& text) {
        QWidget* owner = QApplication::activeWindow();
        window.Dialogs().ShowError(owner ? owner : &window, text);
    });
    // Start-up timing: leave as soon as the window has been painted once.
    if (std::getenv("GW_QUIT_AFTER_FIRST_PAINT"))
        QObject::connect(&window, &gw::FrmIcon::FirstPainted, &app, &QApplication::quit,
                         Qt::QueuedConnection);
    window.show();
    return app.exec();
}
