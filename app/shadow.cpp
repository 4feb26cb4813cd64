#include "app/shadow.h"

#include <QEvent>
#include <QPainter>

#include "app/widgets.h"
#include "app/windowsystem.h"

namespace gw {
namespace {

// Every shadow that exists: when the window manager restacks one owner it may restack others
// with it (a modal dialog is raised with its parent), so all glows are put back together.
std::vector<FormShadow*>& Shadows() {
    static std::vector<FormShadow*> shadows;
    return shadows;
}

void RestackAllShadows() {
    for (FormShadow* shadow : Shadows())
        if (shadow->OwnerForm() && shadow->isVisible())
            StackDirectlyBelow(shadow, shadow->OwnerForm());
}

void BlurPass(std::vector<std::uint8_t>& v, int w, int h, int r) {
    auto at = [&](int x, int y) {
        x = x < 0 ? 0 : x >= w ? w - 1 : x;
        y = y < 0 ? 0 : y >= h ? h - 1 : y;
        return static_cast<unsigned>(v[static_cast<std::size_t>(y) * w + x]);
    };
    // In place: samples above and to the left already hold this pass's values.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            v[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(
                (at(x - r, y - r) + at(x + r, y - r) + at(x - r, y + r) + at(x + r, y + r)) >> 2);
}

}  // namespace

std::vector<std::uint8_t> ShadowAlpha(int width, int height, const QRegion& ownerRegion) {
    const int w = width + 2 * kShadowMargin, h = height + 2 * kShadowMargin;
    std::vector<std::uint8_t> v(static_cast<std::size_t>(w) * h, 0);
    const QRegion shape = ownerRegion.isEmpty() ? QRegion(0, 0, width, height) : ownerRegion;
    const QRegion placed = shape.translated(kShadowMargin, kShadowMargin);
    auto fill = [&](std::uint8_t value) {
        for (const QRect& r : placed)
            for (int y = std::max(0, r.top()); y <= std::min(h - 1, r.bottom()); ++y)
                for (int x = std::max(0, r.left()); x <= std::min(w - 1, r.right()); ++x)
                    v[static_cast<std::size_t>(y) * w + x] = value;
    };
    fill(255);
    for (int radius : {1, 2, 3}) BlurPass(v, w, h, radius);
    fill(0);
    return v;
}

QImage ShadowPicture(const std::vector<std::uint8_t>& alpha, int width, int height,
                     const QColor& color) {
    const int w = width + 2 * kShadowMargin, h = height + 2 * kShadowMargin;
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const unsigned a = alpha[static_cast<std::size_t>(y) * w + x];
            line[x] =
                qRgba(color.red() * a / 255, color.green() * a / 255, color.blue() * a / 255, a);
        }
    }
    return img;
}

FormShadow::FormShadow()
    // Not managed by the window manager, which would keep a tool window above the windows of
    // its program; the shadow puts itself directly below its owner instead.
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint |
                           Qt::X11BypassWindowManagerHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    Shadows().push_back(this);
}

FormShadow::~FormShadow() {
    SetOwnerForm(nullptr);
    std::erase(Shadows(), this);
}

void FormShadow::SetOwnerForm(QWidget* owner) {
    if (owner == owner_) return;
    if (owner_) owner_->removeEventFilter(this);
    watcher_.reset();
    owner_ = owner;
    if (owner_) owner_->installEventFilter(this);
    dirty_ = true;
    OwnerChanged();
}

void FormShadow::SetShadowVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    OwnerChanged();
}

void FormShadow::SetShadowColor(int color) {
    if (color == color_) return;
    color_ = color;
    PresentShadow();
}

bool FormShadow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == owner_) {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowStateChange:
                OwnerChanged();
                break;
            case QEvent::Show:
                SetShadowVisible(true);
                break;
            case QEvent::Hide:
                SetShadowVisible(false);
                break;
            case QEvent::WindowActivate:
                // The window manager raised the owner: back directly below it.
                if (isVisible()) StackDirectlyBelow(this, owner_);
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FormShadow::OwnerChanged() {
    const bool normal =
        owner_ && !(owner_->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    if (!owner_ || !visible_ || !normal) {
        hide();
        return;
    }
    RebuildShadow();
    const QRect frame = owner_->frameGeometry();
    setGeometry(frame.x() - kShadowMargin, frame.y() - kShadowMargin, picture_.width(),
                picture_.height());
    if (!isVisible()) show();
    StackDirectlyBelow(this, owner_);
    // From the first showing on, every restacking of the owner by the window manager puts the
    // glows back directly below their owners.
    if (!watcher_) watcher_ = std::make_unique<StackWatcher>(owner_, [] { RestackAllShadows(); });
}

void FormShadow::RebuildShadow() {
    if (!visible_ || !owner_) return;
    if (built_ != owner_->size()) dirty_ = true;
    if (!dirty_) return;
    dirty_ = false;
    built_ = owner_->size();
    alpha_ = ShadowAlpha(built_.width(), built_.height(), owner_->mask());
    ++rebuilds_;
    PresentShadow();
}

void FormShadow::PresentShadow() {
    if (alpha_.empty()) return;
    picture_ = ShadowPicture(alpha_, built_.width(), built_.height(), WinColor(color_));
    update();
}

void FormShadow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, picture_);
}

}  // namespace gw
