#include "export/gui/frmexport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include "app/dialogs.h"
#include "app/shadow.h"
#include "app/skin.h"
#include "app/widgets.h"
#include "app/windowsystem.h"
#include "base/appfolder.h"
#include "base/paths.h"
#include "export/engine.h"
#include "export/settings.h"
#include "i18n/language.h"
#include "imagefile/ops/imageops.h"
#include "imagefile/ops/resample.h"

namespace gw {
namespace {

const char* const kFormatItems[] = {"ICO (*.ico)", "BMP (*.bmp)",  "PNG (*.png)",
                                    "GIF (*.gif)", "JPEG (*.jpg)", "TIF (*.tif)",
                                    "PSD (*.psd)", "TGA (*.tga)",  "PCX (*.pcx)"};

AutoLabel* RightLabel(QWidget* parent, const QString& text, int right, int top) {
    auto* l = new AutoLabel(parent, true);
    l->setText(text);
    l->Place(right, top);
    return l;
}

}  // namespace

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setGeometry(0, 0, 65, 21);
    setAccelerated(true);
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] { ShowStoredValue(); });
}

QString SpinEdit::Text() const {
    return lineEdit()->text();
}

void SpinEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
}

int SpinEdit::Value() const {
    const QString text = Text().trimmed();
    if (text.isEmpty()) return kBlankValue;
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok) return text.startsWith('-') ? kMinimum : kMaximum;
    return static_cast<int>(std::clamp<qlonglong>(v, kMinimum, kMaximum));
}

void SpinEdit::SetValue(int value) {
    SetText(QString::number(std::clamp(value, kMinimum, kMaximum)));
}

void SpinEdit::stepBy(int steps) {
    SetValue(Value() + steps);
    selectAll();
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    StepEnabled enabled = StepNone;
    if (Value() < kMaximum) enabled |= StepUpEnabled;
    if (Value() > kMinimum) enabled |= StepDownEnabled;
    return enabled;
}

QValidator::State SpinEdit::validate(QString& input, int&) const {
    // Digits only, or nothing at all.
    for (const QChar c : input)
        if (!c.isDigit()) return QValidator::Invalid;
    return input.size() <= 9 ? QValidator::Acceptable : QValidator::Invalid;
}

void SpinEdit::ShowStoredValue() {
    if (!Text().trimmed().isEmpty() && Text().trimmed() != QString::number(Value()))
        SetValue(Value());
}

SampleView::SampleView(QWidget* parent) : QWidget(parent) {}

void SampleView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Chessboard behind the picture, so transparent pixels show as such.
    for (int y = 0; y < height(); y += 8)
        for (int x = 0; x < width(); x += 8)
            p.fillRect(x, y, 8, 8, ((x / 8 + y / 8) % 2) ? QColor(204, 204, 204) : Qt::white);
    const RasterImage& img = holder_.Image;
    if (img.Empty() || (img.Width() == 1 && img.Height() == 1)) return;
    QImage q(img.Width(), img.Height(), QImage::Format_ARGB32);
    for (int y = 0; y < img.Height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(q.scanLine(y));
        const std::uint8_t* alpha = img.HasAlpha() ? img.AlphaRow(y) : nullptr;
        for (int x = 0; x < img.Width(); ++x) {
            const Rgb c = img.PixelRgb(x, y);
            line[x] = qRgba(c.r, c.g, c.b, alpha ? alpha[x] : 255);
        }
    }
    QSize shown = q.size();
    if (shown.width() > width() || shown.height() > height())
        shown.scale(size(), Qt::KeepAspectRatio);
    const QRect target((width() - shown.width()) / 2, (height() - shown.height()) / 2,
                       shown.width(), shown.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform, shown != q.size());
    p.drawImage(target, q);
}

FrmExport::FrmExport(const std::string& appFolder, const MessageCatalogue& messages,
                     DialogService& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      appFolder_(appFolder),
      messages_(messages),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("FrmExport"));
    setFixedSize(472, 331);
    setFont(TahomaPixels(11));
    CreateComponents();
    // FormCreate: blank sample, then the stored settings.
    lastSampleRow_ = -1;
    BlankView(ImageEnView1->Holder());
    LoadExportSettings();
}

FrmExport::~FrmExport() = default;

void FrmExport::CreateComponents() {
    ImageBk = new QLabel(this);
    ImageBk->setGeometry(0, 0, 472, 331);
    Image1 = new QLabel(this);
    Image1->setPixmap(QPixmap::fromImage(DialogSkinPicture()));
    Image1->hide();
    {
        QPixmap skin(472, 331);
        QPainter p(&skin);
        const QImage source = Image1->pixmap().toImage();
        PaintSkin(this, p, source, DialogSkin(472, 331, source.width(), source.height()), 472, 331);
        ImageBk->setPixmap(skin);
    }
    shadow_ = std::make_unique<FormShadow>();
    shadow_->SetOwnerForm(this);
    shadow_->SetShadowColor(10582346);
    LabelMove = new QLabel(this);
    LabelMove->setGeometry(0, 0, 472, 32);
    LabelMove->installEventFilter(this);
    drag_ = new WindowDrag(LabelMove, this);
    LabelMove->installEventFilter(drag_);
    Label7 = new AutoLabel(this);
    Label7->setFont(TahomaPixels(12, true));
    QPalette white = Label7->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label7->setPalette(white);
    Label7->Place(16, 8);
    BtnSysClose = new BitmapButton(this);
    BtnSysClose->setGeometry(417, 1, 47, 20);
    BtnSysClose->setToolTip(QStringLiteral("Close"));
    const QColor face(40, 90, 140);
    BtnSysClose->SetPictures(MakeButtonPicture({47, 20}, face, "x"),
                             MakeButtonPicture({47, 20}, face.lighter(130), "x"),
                             MakeButtonPicture({47, 20}, Qt::gray, "x"));
    connect(BtnSysClose, &QAbstractButton::clicked, this, &QDialog::reject);

    Label1 = RightLabel(this, QStringLiteral("Format"), 83, 46);
    RzComboBox1 = new QComboBox(this);
    RzComboBox1->setGeometry(124, 42, 161, 21);
    for (const char* item : kFormatItems) RzComboBox1->addItem(QString::fromUtf8(item));
    connect(RzComboBox1, &QComboBox::currentIndexChanged, this, [this] { RzComboBox1Change(); });

    RzPanel1 = new QWidget(this);
    RzPanel1->setGeometry(24, 70, 437, 182);
    RzCheckBox1 = new QCheckBox(QStringLiteral("Set transparent"), RzPanel1);
    RzCheckBox1->move(106, 0);
    RzCheckBox1->adjustSize();
    connect(RzCheckBox1, &QCheckBox::toggled, this, [this] { RzCheckBox1Click(); });
    Label8 = RightLabel(RzPanel1, QStringLiteral("Gradual color"), 326, 1);
    Label8->hide();
    PanelColor = new QPushButton(RzPanel1);
    PanelColor->setGeometry(394, 0, 33, 17);
    PanelColor->setFlat(true);
    PanelColor->hide();
    connect(PanelColor, &QPushButton::clicked, this, [this] { PanelColorClick(); });
    Label2 = RightLabel(RzPanel1, QStringLiteral("Size"), 73, 25);
    RzCheckList1 = new QListWidget(RzPanel1);
    RzCheckList1->setGeometry(100, 22, 161, 160);
    for (int s : IconSizes) {
        auto* item = new QListWidgetItem(QStringLiteral("%1 * %1").arg(s), RzCheckList1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setSizeHint(QSize(150, 17));
    }
    connect(RzCheckList1, &QListWidget::currentRowChanged, this, [this] { RzCheckList1Click(); });
    RzPanel3 = new QWidget(RzPanel1);
    RzPanel3->setGeometry(268, 22, 160, 160);
    RzPanel3->setStyleSheet(QStringLiteral("border: 1px solid #999;"));
    RzPanel4 = new QWidget(RzPanel3);
    RzPanel4->setGeometry(1, 1, 158, 20);
    RzPanel4->setAutoFillBackground(true);
    RzPanel4->setStyleSheet(QStringLiteral("background: white; border: none;"));
    Label5 = new AutoLabel(RzPanel4);
    Label5->setText(QStringLiteral("Sample"));
    Label5->setStyleSheet(QStringLiteral("border: none;"));
    Label5->Place(4, 3);
    ImageEnView1 = new SampleView(RzPanel3);
    ImageEnView1->setGeometry(1, 21, 158, 138);
    ImageEnView1->setStyleSheet(QStringLiteral("border: none;"));

    RzPanel2 = new QWidget(this);
    RzPanel2->setGeometry(64, 74, 149, 57);
    Label3 = RightLabel(RzPanel2, QStringLiteral("Width"), 25, 4);
    RzSpinEdit1 = new SpinEdit(RzPanel2);
    RzSpinEdit1->move(60, 0);
    Label4 = RightLabel(RzPanel2, QStringLiteral("Height"), 22, 32);
    RzSpinEdit2 = new SpinEdit(RzPanel2);
    RzSpinEdit2->move(60, 28);

    Label6 = RightLabel(this, QStringLiteral("Save path"), 67, 264);
    RzButtonEdit1 = new QLineEdit(this);
    RzButtonEdit1->setGeometry(124, 260, 329, 21);
    RzButtonEdit1Button = new QToolButton(RzButtonEdit1);
    RzButtonEdit1Button->setText(QStringLiteral("\u2026"));
    RzButtonEdit1Button->setGeometry(329 - 22, 1, 21, 19);
    RzButtonEdit1->setTextMargins(0, 0, 22, 0);
    connect(RzButtonEdit1Button, &QToolButton::clicked, this,
            [this] { RzButtonEdit1ButtonClick(); });

    RzButton1 = new QPushButton(QStringLiteral("&Ok"), this);
    RzButton1->setGeometry(291, 296, 79, 23);
    RzButton1->setDefault(true);
    connect(RzButton1, &QPushButton::clicked, this, [this] { RzButton1Click(); });
    RzButton2 = new QPushButton(QStringLiteral("&Cancel"), this);
    RzButton2->setGeometry(375, 296, 79, 23);
    connect(RzButton2, &QPushButton::clicked, this, &QDialog::reject);
}

ComponentTable FrmExport::BuildComponentTable() {
    ComponentTable t;
    t.Add("").Properties.push_back({"Caption",
                                    PropertyKind::String,
                                    {},
                                    [this](const std::string& v) { setWindowTitle(Q(v)); },
                                    {}});
    for (auto [name, label] : {std::pair{"Label1", Label1},
                               {"Label2", Label2},
                               {"Label3", Label3},
                               {"Label4", Label4},
                               {"Label5", Label5},
                               {"Label6", Label6},
                               {"Label7", Label7},
                               {"Label8", Label8}}) {
        Component& c = t.Add(name);
        AddGeometry(c, label);
        AutoLabel* l = label;
        c.Properties.push_back({"Caption",
                                PropertyKind::String,
                                {},
                                [l](const std::string& v) { l->SetCaption(Q(v)); },
                                {}});
    }
    for (auto [name, button] :
         {std::pair<const char*, QAbstractButton*>{"RzCheckBox1", RzCheckBox1},
          {"RzButton1", RzButton1},
          {"RzButton2", RzButton2},
          {"BtnSysClose", BtnSysClose}}) {
        Component& c = t.Add(name);
        AddGeometry(c, button);
        QAbstractButton* b = button;
        c.Properties.push_back({"Caption",
                                PropertyKind::String,
                                {},
                                [b](const std::string& v) {
                                    b->setText(Q(v));
                                    if (auto* box = qobject_cast<QCheckBox*>(b)) box->adjustSize();
                                },
                                {}});
    }
    Component& combo = t.Add("RzComboBox1");
    AddGeometry(combo, RzComboBox1);
    combo.Properties.push_back(
        {"Items", PropertyKind::Strings, {}, {}, [this](const std::vector<std::string>& items) {
             const int selected = RzComboBox1->currentIndex();
             QSignalBlocker block(RzComboBox1);
             RzComboBox1->clear();
             for (const auto& i : items) RzComboBox1->addItem(Q(i));
             RzComboBox1->setCurrentIndex(selected < RzComboBox1->count() ? selected : -1);
         }});
    Component& list = t.Add("RzCheckList1");
    AddGeometry(list, RzCheckList1);
    list.Properties.push_back(
        {"Items", PropertyKind::Strings, {}, {}, [this](const std::vector<std::string>& items) {
             for (int i = 0; i < RzCheckList1->count() && i < static_cast<int>(items.size()); ++i)
                 RzCheckList1->item(i)->setText(Q(items[static_cast<std::size_t>(i)]));
         }});
    for (auto [name, w] : {std::pair<const char*, QWidget*>{"PanelColor", PanelColor},
                           {"RzPanel1", RzPanel1},
                           {"RzPanel2", RzPanel2},
                           {"RzPanel3", RzPanel3},
                           {"RzPanel4", RzPanel4},
                           {"ImageEnView1", ImageEnView1},
                           {"RzSpinEdit1", RzSpinEdit1},
                           {"RzSpinEdit2", RzSpinEdit2},
                           {"RzButtonEdit1", RzButtonEdit1}})
        AddGeometry(t.Add(name), w);
    return t;
}

void FrmExport::Prepare(const QString& title, const std::string& sourceFile, int sourceIconIndex) {
    Label7->SetCaption(title);
    sourceFile_ = sourceFile;
    sourceIconIndex_ = sourceIconIndex;
}

void FrmExport::SetSwatchColor(int color) {
    gradualColor_ = color;
    const Rgb c = ColorToTriple(static_cast<ColorValue>(color));
    PanelColor->setStyleSheet(
        QStringLiteral("background-color: rgb(%1,%2,%3); border: 1px solid black;")
            .arg(c.r)
            .arg(c.g)
            .arg(c.b));
}

void FrmExport::LoadExportSettings() {
    const ExportOptions s = gw::LoadExportSettings(IniFile::Load(OptionsIniPath(appFolder_)));
    {
        QSignalBlocker block(RzComboBox1);
        RzComboBox1->setCurrentIndex(s.Format >= 0 && s.Format < RzComboBox1->count() ? s.Format
                                                                                      : -1);
    }
    RzCheckBox1->setChecked(s.Transparent);  // runs RzCheckBox1Click when the state changes
    for (int p = 0; p < static_cast<int>(s.Size.size()) && p < RzCheckList1->count(); ++p)
        RzCheckList1->item(p)->setCheckState(
            s.Size[static_cast<std::size_t>(p)] == '1' ? Qt::Checked : Qt::Unchecked);
    RzButtonEdit1->setText(Q(s.SavePath));
    RzSpinEdit1->SetValue(s.Width);
    RzSpinEdit2->SetValue(s.Height);
    SetSwatchColor(s.GradualColor);
    RzComboBox1Change();
}

std::string FrmExport::BuildSizeString() const {
    std::string size;
    for (int i = 0; i < RzCheckList1->count(); ++i)
        size += RzCheckList1->item(i)->checkState() == Qt::Checked ? '1' : '0';
    return size;
}

ExportOptions FrmExport::Result() const {
    ExportOptions r;
    r.Format = RzComboBox1->currentIndex();
    r.Width = RzSpinEdit1->Value();
    r.Height = RzSpinEdit2->Value();
    r.GradualColor = gradualColor_;
    r.SavePath = RzButtonEdit1->text().toStdString();
    r.Transparent = RzCheckBox1->isChecked();
    r.Size = BuildSizeString();
    return r;
}

void FrmExport::SaveExportSettings() {
    const std::string path = OptionsIniPath(appFolder_);
    IniFile ini = IniFile::Load(path);
    gw::SaveExportSettings(ini, Result());
    if (ini.Save(path) != IniError::None)
        dialogs_.ShowError(
            this, QStringLiteral("%1: \"%2\"")
                      .arg(QString::fromUtf8(IniErrorText(IniError::CannotWrite)), Q(path)));
}

void FrmExport::RzComboBox1Change() {
    const bool ico = RzComboBox1->currentIndex() == 0;
    RzButtonEdit1->move(RzButtonEdit1->x(), ico ? 266 : 138);
    Label6->move(Label6->x(), ico ? 270 : 142);
    RzPanel1->setVisible(ico);
    RzPanel2->setVisible(!RzPanel1->isVisibleTo(this));
    ImageEnView1->setVisible(RzPanel1->isVisibleTo(this));
}

void FrmExport::RzCheckList1Click() {
    const int row = RzCheckList1->currentRow();
    ShowSample(row, false);
    const QString caption = row >= 0 ? RzCheckList1->item(row)->text() : QString();
    Label5->SetCaption(Q(messages_.Get(Msg::MS_Sample)) + " - " + caption);
}

void FrmExport::RzCheckBox1Click() {
    PanelColor->setVisible(RzCheckBox1->isChecked());
    Label8->setVisible(PanelColor->isVisibleTo(RzPanel1));
    ShowSample(RzCheckList1->currentRow(), true);
}

void FrmExport::PanelColorClick() {
    const QColor chosen = dialogs_.ChooseColor(this, WinColor(gradualColor_));
    if (!chosen.isValid()) return;
    const int value = ToWinColor(chosen);
    if (value == gradualColor_) return;
    SetSwatchColor(value);
    ShowSample(RzCheckList1->currentRow(), true);
}

void FrmExport::RzButtonEdit1ButtonClick() {
    QString folder = RzButtonEdit1->text();
    if (ChooseFolder(dialogs_, Q(messages_.Get(Msg::MS_SelDir)), folder, this))
        RzButtonEdit1->setText(folder);
}

void FrmExport::RzButton1Click() {
    const int format = RzComboBox1->currentIndex();
    QString message;
    if (format == 0 && BuildSizeString().find('1') == std::string::npos) {
        message = Q(messages_.Get(Msg::MS_Check_1));
    } else if (format > 0 && (RzSpinEdit1->Text().trimmed().isEmpty() ||
                              RzSpinEdit2->Text().trimmed().isEmpty() || RzSpinEdit1->Value() < 1 ||
                              RzSpinEdit2->Value() < 1)) {
        message = Q(messages_.Get(Msg::MS_Check_2));
    } else if (!QFileInfo(RzButtonEdit1->text()).isDir()) {
        message = "\"" + RzButtonEdit1->text() + "\"\r\n" + Q(messages_.Get(Msg::MS_Check_3));
    }
    if (!message.isEmpty()) {
        dialogs_.ShowInformation(this, Q(messages_.Get(Msg::MS_Info)), message);
        return;
    }
    RzButton1->setFocus();
    accept();
}

void FrmExport::ShowSample(int row, bool force) {
    if (row < 0 || (!force && row == lastSampleRow_)) return;
    lastSampleRow_ = row;
    const int s = IconSizes[static_cast<std::size_t>(row)];
    ImageHolder& view = ImageEnView1->Holder();
    ImageEnView1->setUpdatesEnabled(false);
    struct Resume {
        QWidget* w;
        ~Resume() {
            w->setUpdatesEnabled(true);
            w->update();
        }
    } resume{ImageEnView1};
    IconSteps steps;
    steps.Transparent = RzCheckBox1->isChecked();
    steps.Fill = ColorToTriple(static_cast<ColorValue>(gradualColor_));
    steps.Filter = ResampleFilter::rfFastLinear;
    // Made aside, so that a sample that cannot be had leaves the view as it was.
    ImageHolder sample;
    if (!PrepareEntryIcon(sourceFile_, sourceIconIndex_, s, steps, sample)) return;
    view.Image = std::move(sample.Image);
    view.Selection.clear();
    ++samplesDrawn_;
}

void FrmExport::setVisible(bool visible) {
    if (visible && !placed_) {
        placed_ = true;
        // Centred on the screen, wherever the main window stands; placed before the window is
        // mapped, so that the window system and Qt agree on where it is from the start.
        QScreen* screen =
            parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::setVisible(visible);
}

void FrmExport::done(int result) {
    if (!closed_) {
        closed_ = true;
        shadow_.reset();
        SaveExportSettings();
    }
    QDialog::done(result);
}

void FrmExport::LabelMoveMouseDown(const QPoint& globalPos) {
    drag_->Start(globalPos);
}

void FrmExport::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        SyncPositionWithWindowSystem(this);
}

bool FrmExport::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LabelMove && event->type() == QEvent::MouseButtonPress) {
        LabelMoveMouseDown(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool ShowExportDialog(const std::string& appFolder, const MessageCatalogue& messages,
                      DialogService& dialogs, const QString& title, const std::string& sourceFile,
                      int sourceIconIndex, ExportOptions& options, QWidget* parent) {
    FrmExport dialog(appFolder, messages, dialogs, parent);
    ApplyDialogLanguage(dialog.BuildComponentTable(), appFolder, kChineseLanguage);
    dialog.Prepare(title, sourceFile, sourceIconIndex);
    if (dialogs.ExecDialog(dialog) != QDialog::Accepted) return false;
    options = dialog.Result();
    return true;
}

}  // namespace gw
