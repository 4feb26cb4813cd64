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

namespace {

// Texts of Qt's file dialogs that the installed Chinese catalogue may lack (it names their
// context after an older class); asked only after the catalogue.
class FileTypeTexts : public QTranslator {
  public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        static const struct {
            const char* source;
            const char* text;
        } kTexts[] = {{"Folder", "文件夹"}, {"File Folder", "文件夹"}, {"Drive", "驱动器"},
                      {"File", "文件"},     {"%1 File", "%1 文件"},    {"Shortcut", "快捷方式"},
                      {"Alias", "替身"}};
        for (const auto& t : kTexts)
            if (qstrcmp(source, t.source) == 0) return QString::fromUtf8(t.text);
        return {};
    }
};

}  // namespace

bool LoadQtTranslations(QCoreApplication& app, const QString& folder) {
    const QString from =
        folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    // The interface is Chinese whatever the system's locale says.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    // Installed first, so that the catalogue installed after it is asked first.
    QCoreApplication::installTranslator(new FileTypeTexts(&app));
    auto* translator = new QTranslator(&app);
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), from)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace gw
