#pragma once
// The small components the skinned windows are built from.

#include <QAbstractButton>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QWidget>
#include <string>

namespace gw {

struct Component;

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
// Tahoma at a pixel height (8 points is 11 pixels).
QFont TahomaPixels(int pixels, bool bold = false);
// Gives the language file a widget's position, size and hint by their property names.
void AddGeometry(Component& component, QWidget* widget);

// A colour value with red in the low byte, green in the middle and blue in the high byte.
QColor WinColor(int value);
int ToWinColor(const QColor& color);
// A system colour (by its index in the Windows scheme) from the widget palette, as a colour value.
int SystemColorFromPalette(const QPalette& palette, int index);

// Moves a window with the mouse while a button is held on its drag strip, step by step, so that
// what follows the window (its shadow) follows it during the drag and Qt always knows where the
// window stands.
class WindowDrag : public QObject {
    Q_OBJECT
  public:
    WindowDrag(QWidget* strip, QWidget* window);
    // A press at this screen position starts a drag.
    void Start(const QPoint& globalPos);
    bool Dragging() const { return dragging_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* window_;
    QPoint offset_;
    bool dragging_ = false;
};

// A label that sizes itself to its text; anchored to its right edge, it grows to the left.
class AutoLabel : public QLabel {
    Q_OBJECT
  public:
    explicit AutoLabel(QWidget* parent, bool anchorRight = false);
    void SetCaption(const QString& text);
    // Places the label: left (or the right edge when anchored right) and top.
    void Place(int x, int top);

  private:
    bool anchorRight_;
    int anchorX_ = 0;
};

// A link label: underlined, right-aligned, opens its address when clicked.
class LinkLabel : public AutoLabel {
    Q_OBJECT
  public:
    explicit LinkLabel(QWidget* parent);
    QString Url() const { return url_; }
    void SetUrl(const QString& url) { url_ = url; }

  signals:
    void activated(const QString& url);

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QString url_;
};

// A button drawn from pictures: normal, hover and disabled, with an optional white caption
// centred horizontally whose lower edge sits 7 pixels above the button's.
class BitmapButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit BitmapButton(QWidget* parent);
    void SetPictures(const QPixmap& normal, const QPixmap& hover, const QPixmap& disabled);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QPixmap normal_, hover_, disabled_;
    bool hovered_ = false;
};

// A flat progress bar: parts complete of total as a filled fraction, no text.
class ProgressBar : public QWidget {
    Q_OBJECT
  public:
    explicit ProgressBar(QWidget* parent);
    void SetTotalParts(int total);
    void SetPartsComplete(int parts);
    int TotalParts() const { return total_; }
    int PartsComplete() const { return parts_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int total_ = 100;
    int parts_ = 0;
};

// A panel with a flat rounded border.
class RoundedPanel : public QWidget {
    Q_OBJECT
  public:
    RoundedPanel(QWidget* parent, const QColor& fill, const QColor& border);
    void SetFill(const QColor& fill);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor fill_, border_;
};

// Placeholder pictures of the stated sizes until the skin provides real ones.
QPixmap MakeButtonPicture(QSize size, const QColor& face, const QString& glyph = {});

}  // namespace gw
