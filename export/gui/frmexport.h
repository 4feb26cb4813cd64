#pragma once
// The export dialog: format, icon sizes with a live sample, transparency and its gradual colour,
// picture size and the output folder. Its choice is kept in Options.ini.

#include <QAbstractSpinBox>
#include <QDialog>
#include <memory>
#include <string>

#include "export/gui/showexport.h"
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
class WindowDrag;

// A spin edit from 0 to 10000 (arrows, Up and Down keys) that also takes a blank text, which
// counts as 128. A typed value above 10000 is shown as the 10000 it counts as once typing ends.
class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
  public:
    static constexpr int kMinimum = 0, kMaximum = 10000, kBlankValue = 128;

    explicit SpinEdit(QWidget* parent);
    QString Text() const;
    void SetText(const QString& text);
    int Value() const;
    void SetValue(int value);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    StepEnabled stepEnabled() const override;

  private:
    void ShowStoredValue();
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
    void LabelMoveMouseDown(const QPoint& globalPos);

    void setVisible(bool visible) override;

  protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void CreateComponents();
    void LoadExportSettings();
    void SaveExportSettings();
    std::string BuildSizeString() const;
    void ShowSample(int row, bool force);

    std::unique_ptr<FormShadow> shadow_;
    WindowDrag* drag_ = nullptr;
    std::string appFolder_;
    const MessageCatalogue& messages_;
    DialogService& dialogs_;
    std::string sourceFile_;
    int sourceIconIndex_ = 0;
    int lastSampleRow_ = -1;
    int samplesDrawn_ = 0;
    int gradualColor_ = 16777215;
    bool closed_ = false;
    bool placed_ = false;
};

}  // namespace gw
