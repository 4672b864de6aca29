#pragma once

#include "platform/PlatformApi.h"
#include "platform/Windows.h"

class QWidget;

namespace platform::qt {

// The GUI thread's message queue is delivered by Qt's event loop: one queued call per
// message, in queue order. It is installed when the application object is created (on
// its thread), ends when the event loop is about to quit and goes with the application
// object. EnsureGuiQueue installs it now when that has not happened yet (GUI thread
// only); false without an application object or on another thread.
PLATFORM_API bool EnsureGuiQueue();

// Gives a widget a window handle on the GUI thread's queue; its messages go to handler,
// or to DefWidgetProc when handler is empty. The handle goes with the widget. GUI
// thread only; a widget registers once (a second call raises).
PLATFORM_API HWND RegisterWidget(QWidget* widget, MessageHandler handler = {});
// RegisterWidget, and the widget becomes the application's main window as long as it lives.
PLATFORM_API HWND RegisterMainWindow(QWidget* widget, MessageHandler handler = {});
PLATFORM_API void UnregisterWidget(QWidget* widget);
// The handle of a registered widget; 0 for any other.
PLATFORM_API HWND WidgetHandle(const QWidget* widget);
// The widget behind a handle; nullptr when the handle is no registered widget. GUI
// thread only.
PLATFORM_API QWidget* WidgetFromHandle(HWND hwnd);
// The widget dialogs of owner are modal to: its own widget, else the main window's,
// else none.
PLATFORM_API QWidget* OwnerWidget(HWND owner);

// The default handling of a message: WM_CLOSE closes the widget; everything else is
// ignored. Returns 0.
PLATFORM_API LRESULT DefWidgetProc(QWidget* widget, UINT msg, WPARAM wParam, LPARAM lParam);

} // namespace platform::qt
