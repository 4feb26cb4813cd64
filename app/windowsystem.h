#pragma once
// What Qt leaves to the window system, asked of it directly: the stacking of a shadow window
// and where a window really stands. On X11 only; elsewhere these do nothing.

#include <QAbstractNativeEventFilter>
#include <QPoint>
#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace gw {

// Puts `window` (a top-level that the window manager does not manage) directly below the
// top-level window that holds `owner` (its window manager's frame, when it has one).
void StackDirectlyBelow(QWidget* window, QWidget* owner);

// Calls `restacked` whenever the window manager restacks, moves or re-frames the top-level window
// that holds `owner` (a raise on a click, a modal dialog raised with its parent). Watches from
// its creation until its destruction; does nothing off X11.
class StackWatcher : public QAbstractNativeEventFilter {
  public:
    StackWatcher(QWidget* owner, std::function<void()> restacked);
    ~StackWatcher() override;
    StackWatcher(const StackWatcher&) = delete;
    StackWatcher& operator=(const StackWatcher&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    void WatchFrame();

    std::function<void()> restacked_;
    std::uint32_t client_ = 0;
    std::uint32_t frame_ = 0;
    bool active_ = false;
};

// The screen position of the window's top-left corner as the window system has it.
std::optional<QPoint> WindowSystemPosition(QWidget* window);

// Tells Qt where the window really stands when its idea differs (a window manager that placed
// the window without reporting it): pop-ups and message boxes are placed from Qt's idea.
void SyncPositionWithWindowSystem(QWidget* window);

}  // namespace gw
