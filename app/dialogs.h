#pragma once
// Every dialog and message box the windows show goes through this interface, so tests can
// answer them.

#include <QColor>
#include <QString>
#include <QStringList>
#include <QUrl>

class QDialog;
class QWidget;

namespace gw {

class DialogService {
  public:
    virtual ~DialogService() = default;
    // The application's error box, with the error's own text.
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    virtual void ShowInformation(QWidget* parent, const QString& caption, const QString& text) = 0;
    virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
    // Multiple selection; empty when cancelled.
    virtual QStringList GetOpenFileNames(QWidget* parent, const QString& title,
                                         const QString& folder, const QString& filter,
                                         int filterIndex) = 0;
    // Empty when cancelled.
    virtual QString ChooseFolder(QWidget* parent, const QString& prompt,
                                 const QString& initial) = 0;
    // Invalid when cancelled.
    virtual QColor ChooseColor(QWidget* parent, const QColor& initial) = 0;
    virtual void OpenUrl(const QUrl& url) = 0;
    // Shows a dialog modally and returns its result code.
    virtual int ExecDialog(QDialog& dialog) = 0;
};

// The folder chooser: false when cancelled. On entry `folder` is the folder to preselect (cleared
// when it does not exist); on success the chosen folder, without a trailing "/" unless it is "/".
bool ChooseFolder(DialogService& dialogs, const QString& title, QString& folder, QWidget* owner);

// Qt's own dialogs, message boxes and QDesktopServices.
class QtDialogService : public DialogService {
  public:
    void ShowError(QWidget* parent, const QString& text) override;
    void ShowInformation(QWidget* parent, const QString& caption, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    QStringList GetOpenFileNames(QWidget* parent, const QString& title, const QString& folder,
                                 const QString& filter, int filterIndex) override;
    QString ChooseFolder(QWidget* parent, const QString& prompt, const QString& initial) override;
    QColor ChooseColor(QWidget* parent, const QColor& initial) override;
    void OpenUrl(const QUrl& url) override;
    int ExecDialog(QDialog& dialog) override;
};

}  // namespace gw
