#include "app/windowsystem.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>

namespace gw {
namespace {

xcb_connection_t* X11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// The child of the root window that holds `window`: the window manager's frame, or the window
// itself when nothing frames it.
xcb_window_t TopLevelOf(xcb_connection_t* c, xcb_window_t window) {
    for (int depth = 0; depth < 16; ++depth) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree || tree->parent == XCB_NONE || tree->parent == tree->root) return window;
        window = tree->parent;
    }
    return window;
}

}  // namespace

void StackDirectlyBelow(QWidget* window, QWidget* owner) {
    xcb_connection_t* c = X11Connection();
    if (!c || !window || !owner || !window->windowHandle() || !owner->windowHandle()) return;
    const xcb_window_t sibling = TopLevelOf(c, static_cast<xcb_window_t>(owner->winId()));
    const xcb_window_t self = static_cast<xcb_window_t>(window->winId());
    if (sibling == self) return;
    const std::uint32_t values[] = {sibling, XCB_STACK_MODE_BELOW};
    xcb_configure_window(c, self, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    xcb_flush(c);
}

StackWatcher::StackWatcher(QWidget* owner, std::function<void()> restacked)
    : restacked_(std::move(restacked)) {
    xcb_connection_t* c = X11Connection();
    if (!c || !owner || !owner->windowHandle()) return;
    client_ = static_cast<std::uint32_t>(owner->winId());
    active_ = true;
    WatchFrame();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

StackWatcher::~StackWatcher() {
    if (active_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void StackWatcher::WatchFrame() {
    xcb_connection_t* c = X11Connection();
    if (!c) return;
    frame_ = TopLevelOf(c, client_);
    // The client window itself already reports to Qt; a frame is asked to report to us too.
    if (frame_ != client_) {
        const std::uint32_t mask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_change_window_attributes(c, frame_, XCB_CW_EVENT_MASK, mask);
        xcb_flush(c);
    }
}

bool StackWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7F) {
        case XCB_CONFIGURE_NOTIFY:
            if (reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window == frame_)
                restacked_();
            break;
        case XCB_REPARENT_NOTIFY:
            if (reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window == client_) {
                WatchFrame();
                restacked_();
            }
            break;
        default:
            break;
    }
    return false;  // Qt handles every event as usual
}

std::optional<QPoint> WindowSystemPosition(QWidget* window) {
    xcb_connection_t* c = X11Connection();
    if (!c || !window || !window->windowHandle()) return std::nullopt;
    const xcb_window_t id = static_cast<xcb_window_t>(window->winId());
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr));
    if (!geometry) return std::nullopt;
    Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, geometry->root, 0, 0), nullptr));
    if (!at) return std::nullopt;
    const qreal ratio = window->devicePixelRatioF();
    return QPoint(qRound(at->dst_x / ratio), qRound(at->dst_y / ratio));
}

void SyncPositionWithWindowSystem(QWidget* window) {
    const std::optional<QPoint> real = WindowSystemPosition(window);
    if (real && *real != window->geometry().topLeft()) window->move(*real);
}

}  // namespace gw
