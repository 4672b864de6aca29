#pragma once

#include "tests/support/Wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace qttest {

// One application object for all tests of a program, offscreen; never destroyed (Qt
// does not tear down cleanly during static destruction).
inline QApplication& App()
{
    static int argc = 1;
    static char name[] = "platformqt_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// WaitUntil for a test on the GUI thread: handles events until done() holds; false when
// it still does not after the deadline (kWaitDeadline unless given), so that a fault
// fails the test instead of hanging it.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds deadline = testsupport::kWaitDeadline)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > deadline.count())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Handles the events posted so far: a marker posted behind them has come through. A test
// asserts after it what those events did not do.
inline bool PumpPosted()
{
    auto reached = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        &App(), [reached] { *reached = true; }, Qt::QueuedConnection);
    return PumpUntil([&] { return *reached; });
}

// Acts on the next modal dialog from inside its own event loop, so that a test can
// answer a dialog that runs modally without ever waiting on it.
inline void WhenModal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

// Acts on the next modal dialog with that object name, from inside its event loop.
inline void WhenModalNamed(const QString& name, std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, name, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != name) return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

} // namespace qttest
