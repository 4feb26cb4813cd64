#include "app/widgets.h"

#include "i18n/components.h"
#include "imagefile/ops/imageops.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace gw {

WindowDrag::WindowDrag(QWidget* strip, QWidget* window) : QObject(strip), window_(window) {}

void WindowDrag::Start(const QPoint& globalPos) {
    offset_ = globalPos - window_->pos();
    dragging_ = true;
}

bool WindowDrag::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseMove:
            if (dragging_) {
                auto* e = static_cast<QMouseEvent*>(event);
                window_->move(e->globalPosition().toPoint() - offset_);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (dragging_ && static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton) {
                dragging_ = false;
                return true;
            }
            break;
        default:
            break;
    }
    return false;
}

QColor WinColor(int value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int ToWinColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

QFont TahomaPixels(int pixels, bool bold) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void AddGeometry(Component& c, QWidget* w) {
    c.Properties.push_back(
        {"Left", PropertyKind::Integer, [w](int v) { w->move(v, w->y()); }, {}, {}});
    c.Properties.push_back(
        {"Top", PropertyKind::Integer, [w](int v) { w->move(w->x(), v); }, {}, {}});
    c.Properties.push_back(
        {"Width", PropertyKind::Integer, [w](int v) { w->resize(v, w->height()); }, {}, {}});
    c.Properties.push_back(
        {"Height", PropertyKind::Integer, [w](int v) { w->resize(w->width(), v); }, {}, {}});
    c.Properties.push_back(
        {"Hint", PropertyKind::String, {}, [w](const std::string& v) { w->setToolTip(Q(v)); }, {}});
}

int SystemColorFromPalette(const QPalette& palette, int index) {
    struct Entry {
        int index;
        QPalette::ColorRole role;
    };
    static constexpr Entry kRoles[] = {
        {4, QPalette::Window},  {5, QPalette::Base},         {7, QPalette::WindowText},
        {8, QPalette::Text},    {13, QPalette::Highlight},   {14, QPalette::HighlightedText},
        {15, QPalette::Button}, {16, QPalette::Dark},        {18, QPalette::ButtonText},
        {20, QPalette::Light},  {23, QPalette::ToolTipText}, {24, QPalette::ToolTipBase},
    };
    for (const Entry& e : kRoles)
        if (e.index == index) return ToWinColor(palette.color(e.role));
    return DefaultSystemColor(index);
}

AutoLabel::AutoLabel(QWidget* parent, bool anchorRight)
    : QLabel(parent), anchorRight_(anchorRight) {
    setAttribute(Qt::WA_TranslucentBackground);
    setTextFormat(Qt::PlainText);
}

void AutoLabel::SetCaption(const QString& text) {
    setText(text);
    Place(anchorRight_ ? anchorX_ : x(), y());
}

void AutoLabel::Place(int x, int top) {
    anchorX_ = x;
    adjustSize();
    move(anchorRight_ ? x - width() : x, top);
}

LinkLabel::LinkLabel(QWidget* parent) : AutoLabel(parent, true) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setAlignment(Qt::AlignRight | Qt::AlignTop);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit activated(url_);
    AutoLabel::mouseReleaseEvent(event);
}

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
}

void BitmapButton::SetPictures(const QPixmap& normal, const QPixmap& hover,
                               const QPixmap& disabled) {
    normal_ = normal;
    hover_ = hover;
    disabled_ = disabled;
    update();
}

QSize BitmapButton::sizeHint() const {
    return normal_.isNull() ? QSize(82, 82) : normal_.size();
}

void BitmapButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void BitmapButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void BitmapButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& pic = !isEnabled() ? disabled_ : (hovered_ || isDown()) ? hover_ : normal_;
    if (!pic.isNull()) p.drawPixmap(rect(), pic);
    if (text().isEmpty()) return;
    p.setFont(font());
    p.setPen(Qt::white);
    QFontMetrics fm(font());
    const int bottom = height() - 7;
    QRect textRect(0, bottom - fm.height(), width(), fm.height());
    p.drawText(textRect, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextShowMnemonic, text());
}

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {}

void ProgressBar::SetTotalParts(int total) {
    total_ = total < 1 ? 1 : total;
    update();
}

void ProgressBar::SetPartsComplete(int parts) {
    parts_ = parts < 0 ? 0 : parts > total_ ? total_ : parts;
    update();
}

void ProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), WinColor(16315895));
    QRect inner = rect().adjusted(1, 1, -1, -1);
    const int filled = static_cast<int>(static_cast<long long>(inner.width()) * parts_ / total_);
    p.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), WinColor(13805628));
    p.setPen(Qt::white);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

RoundedPanel::RoundedPanel(QWidget* parent, const QColor& fill, const QColor& border)
    : QWidget(parent), fill_(fill), border_(border) {}

void RoundedPanel::SetFill(const QColor& fill) {
    fill_ = fill;
    update();
}

void RoundedPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(border_, 1));
    p.setBrush(fill_);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
}

QPixmap MakeButtonPicture(QSize size, const QColor& face, const QString& glyph) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, face.lighter(125));
    g.setColorAt(1, face.darker(115));
    p.setPen(QPen(face.darker(140), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 5, 5);
    if (!glyph.isEmpty()) {
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(size.height() > 40 ? 26 : 12);
        f.setBold(true);
        p.setFont(f);
        QRect r = size.height() > 40 ? QRect(0, 8, size.width(), 40) : QRect(QPoint(0, 0), size);
        p.drawText(r, Qt::AlignCenter, glyph);
    }
    return pm;
}

}  // namespace gw
