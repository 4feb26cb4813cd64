#include "app/application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

#include "app/dialogs.h"

namespace gw {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

Application::~Application() = default;

void Application::SetErrorHandler(std::function<void(const QString&)> handler) {
    errorHandler_ = std::move(handler);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowEscapedError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowEscapedError(QStringLiteral("Unknown error"));
    }
    return true;
}

void Application::ShowEscapedError(const QString& text) {
    // An error raised while its box is up is not stacked on top of it.
    if (showing_) return;
    showing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{showing_};
    try {
        if (errorHandler_) {
            errorHandler_(text);
        } else {
            QtDialogService dialogs;
            dialogs.ShowError(activeWindow(), text);
        }
    } catch (...) {
        // The box itself failed: nothing more can be shown, and the program goes on.
    }
}

bool LoadQtTranslations(QCoreApplication& app, const QString& folder) {
    const QString from =
        folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    // The interface is Chinese whatever the system's locale says.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    auto* translator = new QTranslator(&app);
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), from)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace gw
