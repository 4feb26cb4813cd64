#pragma once
// Dialogs answered by the test instead of a user.

#include <QDialog>
#include <QStringList>
#include <functional>

#include "app/dialogs.h"

namespace gw {

class FakeDialogs : public DialogService {
  public:
    QStringList errors;
    QStringList informations;
    QList<QUrl> openedUrls;
    QStringList questions;
    bool answerYes = true;
    QStringList filesToOpen;
    QString folderToChoose;
    QString lastFolderPrompt, lastFolderInitial;
    QString lastOpenTitle, lastOpenFilter;
    int folderRequests = 0, openRequests = 0;
    QColor colorToChoose;

    void ShowError(QWidget*, const QString& text) override { errors << text; }
    void ShowInformation(QWidget*, const QString& caption, const QString& text) override {
        informations << caption + "|" + text;
    }
    bool AskYesNo(QWidget*, const QString& caption, const QString& text) override {
        questions << caption + "|" + text;
        return answerYes;
    }
    QStringList GetOpenFileNames(QWidget*, const QString& title, const QString&,
                                 const QString& filter, int) override {
        ++openRequests;
        lastOpenTitle = title;
        lastOpenFilter = filter;
        return filesToOpen;
    }
    QString ChooseFolder(QWidget*, const QString& prompt, const QString& initial) override {
        ++folderRequests;
        lastFolderPrompt = prompt;
        lastFolderInitial = initial;
        return folderToChoose;
    }
    QColor ChooseColor(QWidget*, const QColor&) override { return colorToChoose; }
    void OpenUrl(const QUrl& url) override { openedUrls << url; }
    // Plays the user's part in a modal dialog; without it the dialog is cancelled.
    std::function<void(QDialog&)> answerDialog;
    int dialogsShown = 0;
    int ExecDialog(QDialog& dialog) override {
        ++dialogsShown;
        dialog.show();
        if (answerDialog) answerDialog(dialog);
        if (dialog.isVisible()) dialog.reject();
        return dialog.result();
    }
};

}  // namespace gw
