#pragma once

#include "BatchStop.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

// Ends the program on SIGINT, SIGTERM or SIGHUP (Ctrl-C, kill, the session logging out)
// as closing its main window does: the window's unload handler runs, so a camera it
// opened is released at once instead of staying controlled until its heartbeat lapses.
// The signal handler only wakes the event loop (BatchStop's pipe); the windows close
// there: every other window first (a modal dialog is dismissed as its close button
// would, which ends its event loop), then the main window, which ends the program's. A second signal ends the
// process at once, through the handler that was there before.
class SignalClose : public QObject {
public:
    // Handles the signals from here on; the main window is named once it exists.
    SignalClose();
    explicit SignalClose(QWidget& mainWindow) : SignalClose() { setMainWindow(mainWindow); }
    void setMainWindow(QWidget& mainWindow) { mainWindow_ = &mainWindow; }
    ~SignalClose() override;
    SignalClose(const SignalClose&) = delete;
    SignalClose& operator=(const SignalClose&) = delete;

    // True once a signal asked the program to end; the windows are closed by then (now,
    // if the event loop has not come round to it yet).
    bool ending();

private:
    void closeAll();

    QPointer<QWidget> mainWindow_;
    BatchStop stop_;
    QSocketNotifier* notifier_ = nullptr;
    bool closed_ = false;
};
