#pragma once
// The export dialog: format, icon sizes with a live sample, transparency and its gradual colour,
// picture size and the output folder. Its choice is kept in Options.ini.

#include <QDialog>
#include <memory>
#include <string>

#include "export/options.h"
#include "i18n/components.h"
#include "i18n/messages.h"
#include "imagefile/raster.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace gw {

class AutoLabel;
class BitmapButton;
class DialogService;
class FormShadow;

// A number field that also takes a blank text, which counts as 128.
class SpinEdit : public QWidget {
    Q_OBJECT
  public:
    explicit SpinEdit(QWidget* parent);
    QString Text() const;
    void SetText(const QString& text);
    int Value() const;
    void SetValue(int value);

  private:
    QLineEdit* edit_;
};

// The sample: the holder's picture over a chessboard.
class SampleView : public QWidget {
    Q_OBJECT
  public:
    explicit SampleView(QWidget* parent);
    ImageHolder& Holder() { return holder_; }
    void Refresh() { update(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    ImageHolder holder_;
};

class FrmExport : public QDialog {
    Q_OBJECT
  public:
    FrmExport(const std::string& appFolder, const MessageCatalogue& messages,
              DialogService& dialogs, QWidget* parent = nullptr);
    ~FrmExport() override;

    // The dialog's title line and the first entry, for the sample.
    void Prepare(const QString& title, const std::string& sourceFile, int sourceIconIndex);
    // The choice as the dialog holds it now.
    ExportOptions Result() const;
    int LastSampleRow() const { return lastSampleRow_; }
    int SamplesDrawn() const { return samplesDrawn_; }
    ComponentTable BuildComponentTable();

    QLabel* ImageBk = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* LabelMove = nullptr;
    AutoLabel* Label7 = nullptr;
    BitmapButton* BtnSysClose = nullptr;
    AutoLabel* Label1 = nullptr;
    QComboBox* RzComboBox1 = nullptr;
    QWidget* RzPanel1 = nullptr;
    QCheckBox* RzCheckBox1 = nullptr;
    AutoLabel* Label8 = nullptr;
    QPushButton* PanelColor = nullptr;
    AutoLabel* Label2 = nullptr;
    QListWidget* RzCheckList1 = nullptr;
    QWidget* RzPanel3 = nullptr;
    QWidget* RzPanel4 = nullptr;
    AutoLabel* Label5 = nullptr;
    SampleView* ImageEnView1 = nullptr;
    QWidget* RzPanel2 = nullptr;
    AutoLabel* Label3 = nullptr;
    SpinEdit* RzSpinEdit1 = nullptr;
    AutoLabel* Label4 = nullptr;
    SpinEdit* RzSpinEdit2 = nullptr;
    AutoLabel* Label6 = nullptr;
    QLineEdit* RzButtonEdit1 = nullptr;
    QToolButton* RzButtonEdit1Button = nullptr;
    QPushButton* RzButton1 = nullptr;
    QPushButton* RzButton2 = nullptr;

    FormShadow* Shadow() const { return shadow_.get(); }
    int SwatchColor() const { return gradualColor_; }
    void SetSwatchColor(int color);

    void RzComboBox1Change();
    void RzCheckList1Click();
    void RzCheckBox1Click();
    void PanelColorClick();
    void RzButtonEdit1ButtonClick();
    void RzButton1Click();

  protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateComponents();
    void LoadExportSettings();
    void SaveExportSettings();
    std::string BuildSizeString() const;
    void ShowSample(int row, bool force);

    std::unique_ptr<FormShadow> shadow_;
    std::string appFolder_;
    const MessageCatalogue& messages_;
    DialogService& dialogs_;
    std::string sourceFile_;
    int sourceIconIndex_ = 0;
    int lastSampleRow_ = -1;
    int samplesDrawn_ = 0;
    int gradualColor_ = 16777215;
    bool closed_ = false;
};

// Creates the dialog, applies the language, shows it modally and frees it. True with the
// options when it ended with OK.
bool ShowExportDialog(const std::string& appFolder, const MessageCatalogue& messages,
                      DialogService& dialogs, const QString& title, const std::string& sourceFile,
                      int sourceIconIndex, ExportOptions& options, QWidget* parent = nullptr);

}  // namespace gw
