#pragma once
// What Qt leaves to the window system, asked of it directly: the stacking of a shadow window
// and where a window really stands. On X11 only; elsewhere these do nothing.

#include <QPoint>
#include <optional>

class QWidget;

namespace gw {

// Puts `window` (a top-level that the window manager does not manage) directly below the
// top-level window that holds `owner` (its window manager's frame, when it has one).
void StackDirectlyBelow(QWidget* window, QWidget* owner);

// The screen position of the window's top-left corner as the window system has it.
std::optional<QPoint> WindowSystemPosition(QWidget* window);

// Tells Qt where the window really stands when its idea differs (a window manager that placed
// the window without reporting it): pop-ups and message boxes are placed from Qt's idea.
void SyncPositionWithWindowSystem(QWidget* window);

}  // namespace gw
