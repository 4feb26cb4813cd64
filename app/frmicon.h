#pragma once
// The main window: command buttons, the catalogue grid, the status line and the busy panel.

#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "export/engine.h"
#include "i18n/components.h"
#include "i18n/messages.h"

class QLabel;
class QMenu;
class QAction;

namespace gw {

class AutoLabel;
class BitmapButton;
class DialogService;
class FormShadow;
class LinkLabel;
class ProgressBar;
class RoundedPanel;
class ThumbGrid;
class WindowDrag;

// The address the e-mail link opens: the maker's guide page.
inline constexpr const char* kGuideUrl = "https://glyphwright.org/guide";

struct FrmIconOptions {
    FrmIconOptions() = default;
    FrmIconOptions(std::string appFolder, DialogService* dialogs)
        : AppFolder(std::move(appFolder)), Dialogs(dialogs) {}

    std::string AppFolder;             // empty: the executable's folder
    DialogService* Dialogs = nullptr;  // null: Qt's own dialogs
    std::string GuideUrl = kGuideUrl;
    // Paints the window's background skin; null: the built-in one.
    std::function<void(QPixmap& background)> PaintSkin;
};

// The file-open dialog's settings, which the language file may change.
struct OpenDialogSettings {
    std::string Title = "Open";
    // Description and patterns alternate, separated by "|".
    std::string Filter;
    int FilterIndex = 1;  // 1-based
};

class FrmIcon : public QWidget {
    Q_OBJECT
  public:
    explicit FrmIcon(FrmIconOptions options = {}, QWidget* parent = nullptr);
    ~FrmIcon() override;

    const std::string& AppFolder() const { return appFolder_; }
    int LanguageIndex() const { return languageIndex_; }
    const MessageCatalogue& Messages() const { return messages_; }
    Catalogue& Entries() { return catalogue_; }
    FormShadow* Shadow() const { return shadow_.get(); }
    ThumbGrid* Grid() const { return ImageEnMView; }
    DialogService& Dialogs() { return *dialogs_; }
    const OpenDialogSettings& OpenDialog() const { return OpenDialog1; }
    QString StatusText() const;

    // Buttons enabled, status line from the entry count.
    void RefreshStatus();
    // The busy panel with its caption and a progress bar of `total` parts.
    void ShowBusy(const QString& caption, int total);
    void StepBusy();
    void HideBusy();
    bool BusyVisible() const;

    // Opens every path in turn behind the busy panel, then refreshes the status line.
    void AddSourceFiles(const std::vector<std::string>& paths);
    void BtnOpenFilesClick();
    void BtnOpenFolderClik();
    void BtnExportClick();
    void PopupMenu2Popup();
    // Cell painting: caption, cell frame, and small pictures at their own size.
    void ImageEnMViewBeforeImageDrawEx(int idx, QPainter& dest, int left, int top,
                                       QRect& thumbRect);
    void PM_ExportSelClick();
    void PM_ExportAllClick();
    void PM_RemoveSelClick();
    void PM_RemoveAllClick();

    // Runs a command; an error that escapes it is shown in the error box.
    template <typename F>
    void RunCommand(F&& command);

    // Components, by their designer names.
    QLabel* ImageBk = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* LabelMove = nullptr;
    BitmapButton* BtnSysMinSize = nullptr;
    BitmapButton* BtnSysClose = nullptr;
    BitmapButton* BtnOpenFiles = nullptr;
    BitmapButton* BtnOpenFolder = nullptr;
    BitmapButton* BtnExport = nullptr;
    AutoLabel* Label3 = nullptr;
    LinkLabel* RzURLLabel1 = nullptr;
    AutoLabel* Label2 = nullptr;
    LinkLabel* RzURLLabel2 = nullptr;
    AutoLabel* Label28 = nullptr;
    RoundedPanel* RzPanel1 = nullptr;
    ThumbGrid* ImageEnMView = nullptr;
    AutoLabel* Label1 = nullptr;
    QWidget* PanelState = nullptr;
    QLabel* Image2 = nullptr;
    AutoLabel* Label25 = nullptr;
    ProgressBar* RzProgressBar1 = nullptr;
    OpenDialogSettings OpenDialog1;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QMenu* PopupMenuView = nullptr;
    QAction* PM_ExportSel = nullptr;
    QAction* PM_ExportAll = nullptr;
    QAction* N1 = nullptr;
    QAction* PM_RemoveSel = nullptr;
    QAction* PM_RemoveAll = nullptr;
    QAction* PM_ExportSel2 = nullptr;
    QAction* PM_ExportAll2 = nullptr;

  signals:
    // After the first paint (used by the start-up timing).
    void FirstPainted();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void CreateComponents();
    ComponentTable BuildComponentTable();
    void FormCreate();
    void FormClose();
    void ReadLanguageSetting();
    void ApplyLanguage(int number);
    void LoadLanguageMessages(const IniFile& language);
    void WriteLanguageSetting();
    void ShowError(const std::exception& error);
    void ConfirmAndExport(const QString& title, const ExportRequest& request);

    void LabelMoveMouseDown(const QPoint& globalPos);
    void BtnSysMinSizeClick();
    void BtnSysCloseClick();
    void RzURLLabel2Click();
    void ImageEnMViewMouseDown(QMouseEvent* event);
    void ImageEnMViewMouseMove(QMouseEvent* event);

    FrmIconOptions options_;
    std::unique_ptr<FormShadow> shadow_;
    WindowDrag* drag_ = nullptr;
    std::unique_ptr<DialogService> ownDialogs_;
    DialogService* dialogs_ = nullptr;
    std::string appFolder_;
    int languageIndex_ = 7;
    MessageCatalogue messages_;
    Catalogue catalogue_;
    bool closed_ = false;
    bool painted_ = false;
    bool centred_ = false;
};

template <typename F>
void FrmIcon::RunCommand(F&& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

}  // namespace gw
