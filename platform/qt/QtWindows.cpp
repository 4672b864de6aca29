#include "platform/qt/QtWindows.h"

#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QThread>
#include <QVariant>
#include <QWidget>

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer's annotations (its runtime defines them).
extern "C" void AnnotateIgnoreWritesBegin(const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char* file, int line);
#endif

namespace platform::qt {

namespace {

const char* const kDispatcherName = "platformGuiQueue";
const char* const kHandleProperty = "platformHwnd";

// A wake-up event, made on any thread. Qt hands a posted event to the GUI thread under
// locks of its own, which ThreadSanitizer does not see (Debian's Qt is not
// instrumented); events that Qt makes itself are fresh memory to the sanitizer, and under
// it this one is made the same way, so that reading it on the GUI thread (event filters
// look at every event) is not taken for a race with its making.
QEvent* NewWakeUpEvent(QEvent::Type type)
{
#if defined(__SANITIZE_THREAD__)
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
#endif
    auto* event = new QEvent(type);
#if defined(__SANITIZE_THREAD__)
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
#endif
    return event;
}

// The event type of a wake-up of the GUI thread's queue.
QEvent::Type WakeUpEvent()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// Owns the GUI thread's queue; a child of the application object, so it goes with it.
// Every wake-up of the queue becomes one posted event that delivers one message.
class GuiDispatcher : public QObject {
public:
    GuiDispatcher()
        : QObject(QCoreApplication::instance()),
          queue_([this] { QCoreApplication::postEvent(this, NewWakeUpEvent(WakeUpEvent())); })
    {
        setObjectName(kDispatcherName);
        SetGuiQueue(&queue_);
        // Once the event loop has ended nobody delivers any more: release the senders.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { queue_.Close(); });
    }

    ~GuiDispatcher() override
    {
        queue_.Close(); // no more wake-ups reach this object
        SetGuiQueue(nullptr);
    }

    const MessageQueue& Queue() const { return queue_; }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != WakeUpEvent())
            return QObject::event(e);
        queue_.DispatchOne();
        return true;
    }

private:
    MessageQueue queue_;
};

GuiDispatcher* Dispatcher()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app ? app->findChild<GuiDispatcher*>(kDispatcherName, Qt::FindDirectChildrenOnly) : nullptr;
}

} // namespace

bool EnsureGuiQueue()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return false;
    if (!Dispatcher())
        new GuiDispatcher;
    return true;
}

HWND RegisterWidget(QWidget* widget, MessageHandler handler)
{
    if (!EnsureGuiQueue())
        throw Exception("Windows are made on the GUI thread of an application");
    if (WidgetHandle(widget) != 0)
        throw Exception("The widget has a window handle already");
    QPointer<QWidget> guard(widget);
    const HWND hwnd = RegisterWindow(
        [guard, handler = std::move(handler)](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (!guard)
                return 0;
            if (handler)
                return handler(h, msg, wParam, lParam);
            return DefWidgetProc(guard.data(), msg, wParam, lParam);
        },
        Dispatcher()->Queue(), widget);
    widget->setProperty(kHandleProperty, QVariant::fromValue<quint32>(hwnd));
    QObject::connect(widget, &QObject::destroyed, [hwnd] { UnregisterWindow(hwnd); });
    return hwnd;
}

HWND RegisterMainWindow(QWidget* widget, MessageHandler handler)
{
    const HWND hwnd = RegisterWidget(widget, std::move(handler));
    SetMainWindow(hwnd);
    QObject::connect(widget, &QObject::destroyed, [hwnd] {
        if (MainWindow() == hwnd)
            SetMainWindow(0);
    });
    return hwnd;
}

void UnregisterWidget(QWidget* widget)
{
    const HWND hwnd = WidgetHandle(widget);
    if (hwnd == 0)
        return;
    UnregisterWindow(hwnd);
    widget->setProperty(kHandleProperty, QVariant());
}

HWND WidgetHandle(const QWidget* widget)
{
    if (!widget)
        return 0;
    const QVariant value = widget->property(kHandleProperty);
    if (!value.isValid())
        return 0;
    const HWND hwnd = value.value<quint32>();
    return WindowObject(hwnd) == widget ? hwnd : 0;
}

QWidget* WidgetFromHandle(HWND hwnd)
{
    if (hwnd == 0)
        return nullptr;
    auto* widget = static_cast<QWidget*>(WindowObject(hwnd));
    // Only widgets register with an object on the GUI thread's queue.
    GuiDispatcher* dispatcher = Dispatcher();
    if (!widget || !dispatcher || WindowThreadId(hwnd) != dispatcher->Queue().Thread())
        return nullptr;
    return widget;
}

QWidget* OwnerWidget(HWND owner)
{
    if (QWidget* widget = WidgetFromHandle(owner))
        return widget;
    return WidgetFromHandle(MainWindow());
}

LRESULT DefWidgetProc(QWidget* widget, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_CLOSE && widget)
        widget->close();
    return 0;
}

} // namespace platform::qt

namespace {

// Runs when the application object is created, on its thread.
void InstallGuiQueueAtStartup()
{
    platform::qt::EnsureGuiQueue();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallGuiQueueAtStartup)
