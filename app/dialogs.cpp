#include "app/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace gw {

void QtDialogService::ShowError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), text);
}

void QtDialogService::ShowInformation(QWidget* parent, const QString& caption,
                                      const QString& text) {
    QMessageBox::information(parent, caption, text);
}

bool QtDialogService::AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    // The information icon, not the question mark: the box confirms what is about to happen.
    return QMessageBox::information(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QStringList QtDialogService::GetOpenFileNames(QWidget* parent, const QString& title,
                                              const QString& folder, const QString& filter,
                                              int filterIndex) {
    QStringList filters = filter.split(";;");
    QString selected =
        filterIndex >= 0 && filterIndex < filters.size() ? filters[filterIndex] : QString();
    return QFileDialog::getOpenFileNames(parent, title, folder, filter, &selected);
}

QString QtDialogService::ChooseFolder(QWidget* parent, const QString& prompt,
                                      const QString& initial) {
    return QFileDialog::getExistingDirectory(parent, prompt, initial);
}

QColor QtDialogService::ChooseColor(QWidget* parent, const QColor& initial) {
    return QColorDialog::getColor(initial, parent);
}

bool ChooseFolder(DialogService& dialogs, const QString& title, QString& folder, QWidget* owner) {
    if (!QFileInfo(folder).isDir()) folder.clear();
    QString chosen = dialogs.ChooseFolder(owner, title, folder);
    if (chosen.isEmpty()) return false;
    while (chosen.size() > 1 && chosen.endsWith('/')) chosen.chop(1);
    folder = chosen;
    return true;
}

int QtDialogService::ExecDialog(QDialog& dialog) {
    return dialog.exec();
}

void QtDialogService::OpenUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

}  // namespace gw
