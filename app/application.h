#pragma once
// The application object: loads Qt's own Chinese texts and keeps an error that escapes a window
// handler from ending the program.

#include <QApplication>
#include <functional>

class QTranslator;

namespace gw {

class Application : public QApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);
    ~Application() override;

    // Shows the text of an error that escaped a handler; the default is the error box of Qt's
    // own dialogs.
    void SetErrorHandler(std::function<void(const QString& text)> handler);

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    void ShowEscapedError(const QString& text);

    std::function<void(const QString&)> errorHandler_;
    bool showing_ = false;
};

// Installs Qt's Chinese translations (file, folder and colour dialogs, the buttons of message
// boxes) from `folder` (empty: Qt's own translations folder). False when none could be loaded.
bool LoadQtTranslations(QCoreApplication& app, const QString& folder = {});

}  // namespace gw
