#pragma once
// The soft glow around a borderless window: a click-through, never-activated translucent
// window 16 pixels larger than its owner on every side, following it as it moves, hides and shows.

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <memory>
#include <vector>

namespace gw {

class StackWatcher;

inline constexpr int kShadowMargin = 16;

// Alpha of the glow for a W × H owner, (W + 32) × (H + 32) values row by row: the owner's
// silhouette (its region, or its whole rectangle when the region is empty) white on black,
// blurred in place with radii 1, 2 and 3, then cut out where the owner lies.
std::vector<std::uint8_t> ShadowAlpha(int width, int height, const QRegion& ownerRegion);
// The glow tinted with a colour, premultiplied.
QImage ShadowPicture(const std::vector<std::uint8_t>& alpha, int width, int height,
                     const QColor& color);

class FormShadow : public QWidget {
    Q_OBJECT
  public:
    FormShadow();
    ~FormShadow() override;

    void SetOwnerForm(QWidget* owner);
    QWidget* OwnerForm() const { return owner_; }
    void SetShadowVisible(bool visible);
    bool ShadowVisible() const { return visible_; }
    void SetShadowColor(int color);
    int ShadowColor() const { return color_; }
    const QImage& Picture() const { return picture_; }
    int Rebuilds() const { return rebuilds_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void OwnerChanged();
    void RebuildShadow();
    void PresentShadow();

    QPointer<QWidget> owner_;
    std::unique_ptr<StackWatcher> watcher_;
    bool visible_ = false;
    int color_ = 0;
    bool dirty_ = true;
    QSize built_;
    std::vector<std::uint8_t> alpha_;
    QImage picture_;
    int rebuilds_ = 0;
};

}  // namespace gw
