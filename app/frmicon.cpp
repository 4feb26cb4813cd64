#include "app/frmicon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QToolTip>

#include "app/dialogs.h"
#include "app/shadow.h"
#include "app/skin.h"
#include "app/widgets.h"
#include "app/windowsystem.h"
#include "base/appfolder.h"
#include "base/paths.h"
#include "catalogue/gui/thumbgrid.h"
#include "catalogue/opening.h"
#include "export/gui/showexport.h"
#include "i18n/language.h"

namespace gw {
namespace {

const char* kOpenFilter =
    "Support file (*.exe;*.dll;*.ocx;*.cpl;*.icl;*.ico;*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.cur;*.png;"
    "*.wmf;*.emf;*.tga;*.pxm;*.wbmp;*.jp2;*.j2k;*.dcx;*.crw;*.psd)|"
    "*.exe;*.dll;*.ocx;*.cpl;*.icl;*.ico;*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.cur;*.png;*.wmf;*.emf;"
    "*.tga;*.pxm;*.wbmp;*.jp2;*.j2k;*.dcx;*.crw;*.psd|"
    "Exe file (*.exe)|*.exe|Dll file (*.dll)|*.dll|OCX file (*.ocx)|*.ocx|CPL file (*.cpl)|*.cpl|"
    "ICL file (*.icl)|*.icl|"
    "Image file (*.ico;*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.cur;*.png;*.wmf;*.emf;*.tga;*.pxm;*.wbmp;"
    "*.jp2;*.j2k;*.dcx;*.crw;*.psd)|"
    "*.ico;*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.cur;*.png;*.wmf;*.emf;*.tga;*.pxm;*.wbmp;*.jp2;*.j2k;"
    "*.dcx;*.crw;*.psd|"
    "Any file (*.*)|*.*";

void WhiteText(QWidget* w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    w->setPalette(pal);
    w->setFont(TahomaPixels(11));
}

void AddColor(Component& c, QWidget* w, QPalette::ColorRole role) {
    c.Properties.push_back({"Color",
                            PropertyKind::Integer,
                            [w, role](int v) {
                                QPalette pal = w->palette();
                                pal.setColor(role, WinColor(v));
                                w->setPalette(pal);
                                w->setAutoFillBackground(true);
                            },
                            {},
                            {}});
}

Component& AddLabel(ComponentTable& t, const char* name, AutoLabel* label) {
    Component& c = t.Add(name);
    AddGeometry(c, label);
    c.Properties.push_back({"Caption",
                            PropertyKind::String,
                            {},
                            [label](const std::string& v) { label->SetCaption(Q(v)); },
                            {}});
    return c;
}

void AddAction(ComponentTable& t, const char* name, QAction* action) {
    t.Add(name).Properties.push_back({"Caption",
                                      PropertyKind::String,
                                      {},
                                      [action](const std::string& v) { action->setText(Q(v)); },
                                      {}});
}

}  // namespace

FrmIcon::FrmIcon(FrmIconOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), options_(std::move(options)) {
    if (options_.Dialogs) {
        dialogs_ = options_.Dialogs;
    } else {
        ownDialogs_ = std::make_unique<QtDialogService>();
        dialogs_ = ownDialogs_.get();
    }
    setObjectName(QStringLiteral("FrmIcon"));
    setFixedSize(742, 516);
    setFont(TahomaPixels(11));
    OpenDialog1.Filter = kOpenFilter;
    CreateComponents();
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { FormClose(); });
    FormCreate();
}

FrmIcon::~FrmIcon() = default;

void FrmIcon::CreateComponents() {
    ImageBk = new QLabel(this);
    ImageBk->setGeometry(0, 0, 742, 516);
    Image1 = new QLabel(this);
    Image1->setGeometry(20, 29, 92, 83);
    Image1->setPixmap(QPixmap::fromImage(MainSkinPicture()));
    Image1->hide();
    LabelMove = new QLabel(this);
    LabelMove->setGeometry(0, 0, 742, 113);
    LabelMove->setAttribute(Qt::WA_TranslucentBackground);
    LabelMove->installEventFilter(this);
    drag_ = new WindowDrag(LabelMove, this);
    LabelMove->installEventFilter(drag_);

    auto sysButton = [this](int x, int w, const QString& hint, const QString& glyph) {
        auto* b = new BitmapButton(this);
        b->setGeometry(x, 1, w, 20);
        b->setToolTip(hint);
        const QColor face(40, 90, 140);
        b->SetPictures(MakeButtonPicture({w, 20}, face, glyph),
                       MakeButtonPicture({w, 20}, face.lighter(130), glyph),
                       MakeButtonPicture({w, 20}, Qt::gray, glyph));
        return b;
    };
    BtnSysMinSize = sysButton(654, 33, QStringLiteral("Minimize"), QStringLiteral("_"));
    BtnSysClose = sysButton(687, 47, QStringLiteral("Close"), QStringLiteral("x"));
    connect(BtnSysMinSize, &QAbstractButton::clicked, this, [this] { BtnSysMinSizeClick(); });
    connect(BtnSysClose, &QAbstractButton::clicked, this, [this] { BtnSysCloseClick(); });

    auto commandButton = [this](int x, const QString& caption, const QString& glyph) {
        auto* b = new BitmapButton(this);
        b->setGeometry(x, 28, 82, 82);
        b->setText(caption);
        b->setFont(TahomaPixels(11));
        const QColor face(70, 130, 180);
        b->SetPictures(MakeButtonPicture({82, 82}, face, glyph),
                       MakeButtonPicture({82, 82}, face.lighter(120), glyph),
                       MakeButtonPicture({82, 82}, QColor(140, 140, 150), glyph));
        return b;
    };
    BtnOpenFiles = commandButton(228, QStringLiteral("Open files"), QStringLiteral("+"));
    BtnOpenFolder = commandButton(318, QStringLiteral("Open folder"), QStringLiteral("\u25A4"));
    BtnExport = commandButton(408, QStringLiteral("Export"), QStringLiteral("\u2197"));

    Label3 = new AutoLabel(this);
    WhiteText(Label3);
    Label3->setText(QStringLiteral("Version "));
    Label3->Place(82, 90);
    RzURLLabel1 = new LinkLabel(this);
    WhiteText(RzURLLabel1);
    RzURLLabel1->setFont([] {
        QFont f = TahomaPixels(11);
        f.setUnderline(true);
        return f;
    }());
    RzURLLabel1->setText(QStringLiteral("Homepage: "));
    RzURLLabel1->Place(590, 90);
    Label2 = new AutoLabel(this, true);
    Label2->setFont(TahomaPixels(9));
    Label2->Place(726, 496);
    Label2->hide();
    RzURLLabel2 = new LinkLabel(this);
    WhiteText(RzURLLabel2);
    RzURLLabel2->setFont(RzURLLabel1->font());
    RzURLLabel2->setText(QStringLiteral("Email: "));
    RzURLLabel2->Place(726, 90);
    connect(RzURLLabel2, &LinkLabel::activated, this, [this] { RzURLLabel2Click(); });
    Label28 = new AutoLabel(this, true);
    Label28->setFont(TahomaPixels(11, true));
    Label28->setText(QStringLiteral(">> Language"));
    Label28->Place(649, 6);
    Label28->hide();

    RzPanel1 = new RoundedPanel(this, WinColor(15590619), WinColor(12222210));
    RzPanel1->setGeometry(11, 120, 720, 360);
    ImageEnMView = new ThumbGrid(catalogue_, RzPanel1);
    ImageEnMView->setObjectName(QStringLiteral("ImageEnMView"));
    ImageEnMView->setGeometry(2, 2, 716, 356);
    ImageEnMView->SetBeforeImageDraw(
        [this](int idx, QPainter& dest, int left, int top, QRect& thumb) {
            ImageEnMViewBeforeImageDrawEx(idx, dest, left, top, thumb);
        });
    catalogue_.SetChangeListener([this] { ImageEnMView->Refresh(); });
    connect(ImageEnMView, &ThumbGrid::MouseDown, this,
            [this](QMouseEvent* e) { ImageEnMViewMouseDown(e); });
    connect(ImageEnMView, &ThumbGrid::MouseMove, this,
            [this](QMouseEvent* e) { ImageEnMViewMouseMove(e); });
    connect(BtnOpenFiles, &QAbstractButton::clicked, this,
            [this] { RunCommand([this] { BtnOpenFilesClick(); }); });
    connect(BtnOpenFolder, &QAbstractButton::clicked, this,
            [this] { RunCommand([this] { BtnOpenFolderClik(); }); });
    connect(BtnExport, &QAbstractButton::clicked, this,
            [this] { RunCommand([this] { BtnExportClick(); }); });

    Label1 = new AutoLabel(this);
    WhiteText(Label1);
    Label1->Place(13, 495);

    PanelState = new QWidget(this);
    PanelState->setGeometry(231, 219, 280, 60);
    PanelState->setAutoFillBackground(true);
    QPalette statePalette = PanelState->palette();
    statePalette.setColor(QPalette::Window, WinColor(16315895));
    PanelState->setPalette(statePalette);
    Image2 = new QLabel(PanelState);
    Image2->setGeometry(0, 0, 280, 60);
    Image2->setPixmap(MakeButtonPicture({280, 60}, QColor(50, 100, 150)));
    Label25 = new AutoLabel(PanelState);
    WhiteText(Label25);
    Label25->setText(QStringLiteral("Processing......"));
    Label25->Place(30, 17);
    RzProgressBar1 = new ProgressBar(PanelState);
    RzProgressBar1->setGeometry(30, 34, 219, 11);
    PanelState->hide();

    PopupMenu1 = new QMenu(this);
    PM_ExportSel = PopupMenu1->addAction(QStringLiteral("Export selected"));
    PM_ExportAll = PopupMenu1->addAction(QStringLiteral("Export all"));
    N1 = PopupMenu1->addSeparator();
    PM_RemoveSel = PopupMenu1->addAction(QStringLiteral("Remove selected"));
    PM_RemoveAll = PopupMenu1->addAction(QStringLiteral("Remove all"));
    PopupMenu2 = new QMenu(this);
    PM_ExportSel2 = PopupMenu2->addAction(QStringLiteral("Export selected"));
    PM_ExportAll2 = PopupMenu2->addAction(QStringLiteral("Export all"));
    PopupMenuView = new QMenu(this);
    connect(PopupMenu2, &QMenu::aboutToShow, this, [this] { PopupMenu2Popup(); });
    for (QAction* a : {PM_ExportSel, PM_ExportSel2})
        connect(a, &QAction::triggered, this,
                [this] { RunCommand([this] { PM_ExportSelClick(); }); });
    for (QAction* a : {PM_ExportAll, PM_ExportAll2})
        connect(a, &QAction::triggered, this,
                [this] { RunCommand([this] { PM_ExportAllClick(); }); });
    connect(PM_RemoveSel, &QAction::triggered, this,
            [this] { RunCommand([this] { PM_RemoveSelClick(); }); });
    connect(PM_RemoveAll, &QAction::triggered, this,
            [this] { RunCommand([this] { PM_RemoveAllClick(); }); });
}

ComponentTable FrmIcon::BuildComponentTable() {
    ComponentTable t;
    Component& self = t.Add("");
    self.Properties.push_back({"Caption",
                               PropertyKind::String,
                               {},
                               [this](const std::string& v) { setWindowTitle(Q(v)); },
                               {}});
    self.Properties.push_back(
        {"Left", PropertyKind::Integer, [this](int v) { move(v, y()); }, {}, {}});
    self.Properties.push_back(
        {"Top", PropertyKind::Integer, [this](int v) { move(x(), v); }, {}, {}});
    self.Properties.push_back(
        {"Hint", PropertyKind::String, {}, [this](const std::string& v) { setToolTip(Q(v)); }, {}});

    auto picture = [&t](const char* name, QWidget* w) { AddGeometry(t.Add(name), w); };
    picture("ImageBk", ImageBk);
    picture("Image1", Image1);
    picture("Image2", Image2);
    picture("LabelMove", LabelMove);
    for (auto [name, button] : {std::pair{"BtnSysMinSize", BtnSysMinSize},
                                {"BtnSysClose", BtnSysClose},
                                {"BtnOpenFiles", BtnOpenFiles},
                                {"BtnOpenFolder", BtnOpenFolder},
                                {"BtnExport", BtnExport}}) {
        Component& c = t.Add(name);
        AddGeometry(c, button);
        BitmapButton* b = button;
        c.Properties.push_back({"Caption",
                                PropertyKind::String,
                                {},
                                [b](const std::string& v) { b->setText(Q(v)); },
                                {}});
    }
    AddLabel(t, "Label1", Label1);
    AddLabel(t, "Label2", Label2);
    AddLabel(t, "Label3", Label3);
    AddLabel(t, "Label25", Label25);
    AddLabel(t, "Label28", Label28);
    for (auto [name, link] :
         {std::pair{"RzURLLabel1", RzURLLabel1}, {"RzURLLabel2", RzURLLabel2}}) {
        LinkLabel* l = link;
        AddLabel(t, name, link)
            .Properties.push_back({"URL",
                                   PropertyKind::String,
                                   {},
                                   [l](const std::string& v) { l->SetUrl(Q(v)); },
                                   {}});
    }
    Component& panel = t.Add("RzPanel1");
    AddGeometry(panel, RzPanel1);
    panel.Properties.push_back({"Color",
                                PropertyKind::Integer,
                                [this](int v) { RzPanel1->SetFill(WinColor(v)); },
                                {},
                                {}});
    Component& state = t.Add("PanelState");
    AddGeometry(state, PanelState);
    AddColor(state, PanelState, QPalette::Window);
    AddGeometry(t.Add("ImageEnMView"), ImageEnMView);
    AddGeometry(t.Add("RzProgressBar1"), RzProgressBar1);
    Component& open = t.Add("OpenDialog1");
    open.Properties.push_back({"Title",
                               PropertyKind::String,
                               {},
                               [this](const std::string& v) { OpenDialog1.Title = v; },
                               {}});
    open.Properties.push_back({"Filter",
                               PropertyKind::String,
                               {},
                               [this](const std::string& v) { OpenDialog1.Filter = v; },
                               {}});
    open.Properties.push_back({"FilterIndex",
                               PropertyKind::Integer,
                               [this](int v) { OpenDialog1.FilterIndex = v; },
                               {},
                               {}});
    AddAction(t, "PM_ExportSel", PM_ExportSel);
    AddAction(t, "PM_ExportAll", PM_ExportAll);
    AddAction(t, "PM_RemoveSel", PM_RemoveSel);
    AddAction(t, "PM_RemoveAll", PM_RemoveAll);
    AddAction(t, "PM_ExportSel2", PM_ExportSel2);
    AddAction(t, "PM_ExportAll2", PM_ExportAll2);
    return t;
}

void FrmIcon::FormCreate() {
    try {
        appFolder_ = options_.AppFolder.empty() ? GetAppFolder() : options_.AppFolder;
        if (appFolder_.back() != '/') appFolder_ += '/';
        ReadLanguageSetting();
        RzURLLabel1->hide();
        ApplyLanguage(languageIndex_);
        QPixmap background(ImageBk->size());
        if (options_.PaintSkin) {
            options_.PaintSkin(background);
        } else {
            QPainter painter(&background);
            const QImage source = Image1->pixmap().toImage();
            gw::PaintSkin(this, painter, source,
                          MainWindowSkin(width(), height(), source.width(), source.height()),
                          width(), height());
        }
        ImageBk->setPixmap(background);
        shadow_ = std::make_unique<FormShadow>();
        shadow_->SetOwnerForm(this);
        shadow_->SetShadowColor(10582346);
        ImageEnMView->SetItemTextDrawing(false);
        RefreshStatus();
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void FrmIcon::ReadLanguageSetting() {
    languageIndex_ = gw::ReadLanguageSetting(OptionsIniPath(appFolder_));
}

void FrmIcon::ApplyLanguage(int) {
    QGuiApplication::setApplicationDisplayName(QString::fromUtf8(kApplicationTitle));
    setWindowTitle(QString::fromUtf8(kApplicationTitle));
    languageIndex_ = kChineseLanguage;
    Label28->hide();
    QFont face(QStringLiteral("SimSun"));
    face.setPointSize(9);
    setFont(face);
    const IniFile language = LoadLanguageFile(LanguageFilePath(appFolder_));
    LoadLanguageMessages(language);
    ApplyLanguageSection(BuildComponentTable(), "FrmIcon", language);
}

void FrmIcon::LoadLanguageMessages(const IniFile& language) {
    const MainWindowTexts texts = ReadMainWindowTexts(language);
    RzURLLabel1->SetCaption(Q(texts.HomepageCaption));
    RzURLLabel1->SetUrl(QString());
    RzURLLabel2->SetCaption(Q(texts.EmailCaption));
    RzURLLabel2->SetUrl(Q(options_.GuideUrl));
    Label3->SetCaption(Q(texts.VersionCaption));
    messages_.LoadFrom(language);
}

void FrmIcon::WriteLanguageSetting() {
    const std::string path = OptionsIniPath(appFolder_);
    IniError error = gw::WriteLanguageSetting(path, languageIndex_);
    if (error != IniError::None)
        dialogs_->ShowError(
            this,
            QStringLiteral("%1: \"%2\"").arg(QString::fromUtf8(IniErrorText(error)), Q(path)));
}

void FrmIcon::FormClose() {
    if (closed_) return;
    closed_ = true;
    shadow_.reset();
    WriteLanguageSetting();
}

void FrmIcon::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void FrmIcon::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_) return;
    centred_ = true;
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void FrmIcon::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!painted_) {
        painted_ = true;
        QMetaObject::invokeMethod(this, &FrmIcon::FirstPainted, Qt::QueuedConnection);
    }
}

void FrmIcon::ShowError(const std::exception& error) {
    dialogs_->ShowError(this, QString::fromUtf8(error.what()));
}

QString FrmIcon::StatusText() const {
    return Label1->text();
}

void FrmIcon::RefreshStatus() {
    BtnOpenFiles->setEnabled(true);
    BtnOpenFolder->setEnabled(true);
    BtnExport->setEnabled(true);
    const int count = catalogue_.Count();
    if (count == 0)
        Label1->SetCaption(Q(messages_.Get(Msg::MS_Ready_1)));
    else
        Label1->SetCaption(
            Q(ReplaceToken(messages_.Get(Msg::MS_Ready_2), "%1", std::to_string(count))));
}

void FrmIcon::ShowBusy(const QString& caption, int total) {
    RzProgressBar1->SetTotalParts(total);
    RzProgressBar1->SetPartsComplete(0);
    Label25->SetCaption(caption);
    PanelState->show();
    PanelState->raise();
    QCoreApplication::processEvents();
}

void FrmIcon::StepBusy() {
    RzProgressBar1->SetPartsComplete(RzProgressBar1->PartsComplete() + 1);
    QCoreApplication::processEvents();
}

void FrmIcon::HideBusy() {
    PanelState->hide();
}

bool FrmIcon::BusyVisible() const {
    return PanelState->isVisible();
}

void FrmIcon::ImageEnMViewBeforeImageDrawEx(int idx, QPainter& dest, int left, int top,
                                            QRect& thumbRect) {
    // Edges as right- and bottom-exclusive numbers, the way the cell rectangle is defined.
    int rl = thumbRect.left(), rt = thumbRect.top();
    int rr = thumbRect.right() + 1, rb = thumbRect.bottom() + 1;
    if (catalogue_.IsSelected(idx)) {
        dest.setPen(Qt::NoPen);
        dest.setBrush(ImageEnMView->SelectionColor());
        // Corners (left - 1, top - 1) and (right + 2, bottom + 2), the second exclusive.
        const QRect outer(QPoint(left + rl - 1, top + rt - 1), QPoint(left + rr + 1, top + rb + 1));
        dest.drawRect(QRect(outer.left(), outer.top(), outer.width(), 2));
        dest.drawRect(QRect(outer.left(), outer.bottom() - 1, outer.width(), 2));
        dest.drawRect(QRect(outer.left(), outer.top(), 2, outer.height()));
        dest.drawRect(QRect(outer.right() - 1, outer.top(), 2, outer.height()));
    }
    dest.setFont(font());
    const IconEntry& entry = catalogue_.Entry(idx);
    QString caption = Q(entry.DisplayName);
    if (entry.IconNumber > 0) caption = QString::number(entry.IconNumber) + " - " + caption;
    const QRect text(QPoint(left + rl + 2, top + rb - 18),
                     QPoint(left + rr - 2 - 1, top + rb - 2 - 1));
    dest.setPen(palette().color(QPalette::WindowText));
    const QString shown = QFontMetrics(font()).elidedText(caption, Qt::ElideRight, text.width(),
                                                          Qt::TextShowMnemonic);
    dest.drawText(text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic,
                  shown);
    rb -= 20;
    const int w = catalogue_.PictureWidth(idx), h = catalogue_.PictureHeight(idx);
    // An undecodable picture has no size and keeps the whole area for the fallback picture.
    if (w > 0 && h > 0 && w < GridLayout::ThumbWidth && h < GridLayout::ThumbHeight - 20) {
        // Half the free space, a half going to the even neighbour.
        auto half = [](int space) {
            return (space / 2) + ((space % 2 != 0 && (space / 2) % 2 != 0) ? 1 : 0);
        };
        rl = half(GridLayout::ThumbWidth - w);
        rt = half(GridLayout::ThumbHeight - 20 - h);
        rr = rl + w;
        rb = rt + h;
    }
    thumbRect = QRect(QPoint(rl, rt), QPoint(rr - 1, rb - 1));
}

void FrmIcon::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        SyncPositionWithWindowSystem(this);
}

bool FrmIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LabelMove && event->type() == QEvent::MouseButtonPress) {
        LabelMoveMouseDown(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmIcon::LabelMoveMouseDown(const QPoint& globalPos) {
    drag_->Start(globalPos);
}

void FrmIcon::BtnSysMinSizeClick() {
    showMinimized();
}

void FrmIcon::BtnSysCloseClick() {
    close();
}

void FrmIcon::RzURLLabel2Click() {
    const QString url = RzURLLabel2->Url();
    if (!url.isEmpty()) dialogs_->OpenUrl(QUrl(url));
}

}  // namespace gw

namespace gw {
namespace {

// "desc|patterns|desc|patterns" as Qt's "desc (pattern pattern);;..." filter list.
QString QtFilter(const std::string& filter) {
    const QStringList parts = Q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const int paren = description.lastIndexOf(" (");
        if (paren > 0 && description.endsWith(')')) description.truncate(paren);
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << description + " (" + patterns + ")";
    }
    return out.join(";;");
}

}  // namespace

void FrmIcon::BtnOpenFilesClick() {
    const QStringList files =
        dialogs_->GetOpenFileNames(this, Q(OpenDialog1.Title), QString(),
                                   QtFilter(OpenDialog1.Filter), OpenDialog1.FilterIndex - 1);
    if (files.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    AddSourceFiles(paths);
}

void FrmIcon::BtnOpenFolderClik() {
    QString folder;
    if (catalogue_.Count() > 0) folder = Q(FolderPart(catalogue_.Entry(0).SourcePath));
    if (!ChooseFolder(*dialogs_, Q(messages_.Get(Msg::MS_SelDir)), folder, this)) return;
    AddSourceFiles(ListSourceFiles(folder.toStdString()));
}

void FrmIcon::AddSourceFiles(const std::vector<std::string>& paths) {
    RzProgressBar1->SetTotalParts(static_cast<int>(paths.size()));
    RzProgressBar1->SetPartsComplete(0);
    const QString opening = Q(messages_.Get(Msg::MS_Opening));
    Label25->SetCaption(opening);
    Label1->SetCaption(opening);
    BtnOpenFiles->setEnabled(false);
    BtnOpenFolder->setEnabled(false);
    BtnExport->setEnabled(false);
    PanelState->show();
    PanelState->raise();
    QCoreApplication::processEvents();
    try {
        for (const std::string& path : paths) {
            RzProgressBar1->SetPartsComplete(RzProgressBar1->PartsComplete() + 1);
            QCoreApplication::processEvents();
            if (closed_) break;  // the window was closed while the batch ran
            AddSourceFile(catalogue_, path);
        }
        RefreshStatus();
    } catch (...) {
        HideBusy();
        BtnOpenFiles->setEnabled(true);
        BtnOpenFolder->setEnabled(true);
        BtnExport->setEnabled(true);
        throw;
    }
    HideBusy();
}

void FrmIcon::BtnExportClick() {
    PopupMenu2->popup(BtnExport->mapToGlobal(QPoint(0, BtnExport->height())));
}

void FrmIcon::PopupMenu2Popup() {
    PM_ExportAll2->setEnabled(catalogue_.Count() > 0);
    PM_ExportSel2->setEnabled(catalogue_.SelectedCount() > 0);
}

void FrmIcon::ImageEnMViewMouseDown(QMouseEvent* event) {
    const int idx = ImageEnMView->ItemAt(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        if (idx < 0)
            catalogue_.ClearSelection();
        else if (!catalogue_.IsSelected(idx))
            catalogue_.SelectOnly(idx);
        PM_ExportAll->setEnabled(catalogue_.Count() > 0);
        PM_ExportSel->setEnabled(catalogue_.SelectedCount() > 0);
        PM_RemoveAll->setEnabled(PM_ExportAll->isEnabled());
        PM_RemoveSel->setEnabled(PM_ExportSel->isEnabled());
        PopupMenu1->popup(ImageEnMView->viewport()->mapToGlobal(event->position().toPoint()));
    } else if (event->button() == Qt::LeftButton && idx < 0) {
        catalogue_.ClearSelection();
    }
}

void FrmIcon::ImageEnMViewMouseMove(QMouseEvent* event) {
    const int idx = ImageEnMView->ItemAt(event->position().toPoint());
    if (idx >= 0) {
        ImageEnMView->viewport()->setToolTip(Q(catalogue_.Entry(idx).DisplayName));
        return;
    }
    // Over empty space hints are off, and one already showing goes away.
    ImageEnMView->viewport()->setToolTip(QString());
    QToolTip::hideText();
}

void FrmIcon::PM_RemoveSelClick() {
    catalogue_.RemoveSelected();
    RefreshStatus();
}

void FrmIcon::PM_RemoveAllClick() {
    catalogue_.RemoveAll();
    RefreshStatus();
}

}  // namespace gw

namespace gw {
namespace {

// The busy panel as the export engine sees it.
class BusyPanelProgress : public ExportProgress {
  public:
    BusyPanelProgress(FrmIcon& window, const QString& label) : window_(window), label_(label) {}
    void Begin(int total) override { window_.ShowBusy(label_, total); }
    void Step() override {
        window_.RzProgressBar1->SetPartsComplete(window_.RzProgressBar1->PartsComplete() + 1);
    }
    void Pump() override { QCoreApplication::processEvents(); }
    // A plain pause: nothing the user does is handled until it is over.
    void Wait(int milliseconds) override {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
    void End() override { window_.HideBusy(); }

  private:
    FrmIcon& window_;
    QString label_;
};

}  // namespace

void FrmIcon::PM_ExportAllClick() {
    if (catalogue_.Count() == 0) return;
    const ExportRequest request = GatherEntries(catalogue_, true);
    // Nothing left on disk: there is no first entry for the dialog's sample.
    if (request.Empty()) return;
    ConfirmAndExport(Q(ReplaceToken(messages_.Get(Msg::MS_Export_1), "%1",
                                    std::to_string(request.Files.size()))),
                     request);
}

void FrmIcon::PM_ExportSelClick() {
    if (catalogue_.SelectedCount() == 0) return;
    const ExportRequest request = GatherEntries(catalogue_, false);
    if (request.Empty()) return;
    ConfirmAndExport(Q(ReplaceToken(messages_.Get(Msg::MS_Export_2), "%1",
                                    std::to_string(request.Files.size()))),
                     request);
}

void FrmIcon::ConfirmAndExport(const QString& title, const ExportRequest& request) {
    ExportOptions options;
    const int firstIndex = ParseIntegerText(request.Indexes.front()).value_or(0);
    if (!ShowExportDialog(appFolder_, messages_, *dialogs_, title, request.Files.front(),
                          firstIndex, options, this))
        return;
    std::string text =
        ReplaceToken(messages_.Get(Msg::MS_ConfirmMsg), "%1", std::to_string(request.Files.size()));
    text = ReplaceToken(text, "%2", options.SavePath);
    text = ReplaceToken(text, "%3", "\r\n");
    if (!dialogs_->AskYesNo(this, Q(messages_.Get(Msg::MS_Confirm)), Q(text))) return;
    BusyPanelProgress progress(*this, Q(messages_.Get(Msg::MS_Processing)));
    ExportEntries(request, options, progress,
                  [this](int index) { return SystemColorFromPalette(palette(), index); });
}

}  // namespace gw
