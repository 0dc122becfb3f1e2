#include "SignalClose.h"

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <unistd.h>

SignalClose::SignalClose()
{
    if (BatchStop::wakeHandle() < 0)
        return;  // no pipe: ending() still answers where the program asks
    notifier_ = new QSocketNotifier(BatchStop::wakeHandle(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char drained[16];
        while (::read(BatchStop::wakeHandle(), drained, sizeof drained) > 0) {
        }
        closeAll();
    });
}

SignalClose::~SignalClose()
{
    delete notifier_;  // before BatchStop closes the pipe
}

bool SignalClose::ending()
{
    if (BatchStop::requested() == 0)
        return false;
    closeAll();
    return true;
}

void SignalClose::closeAll()
{
    if (closed_)
        return;
    closed_ = true;
    if (notifier_)
        notifier_->setEnabled(false);
    // Dialogs and message boxes first: each one closed ends its own event loop when
    // control comes back to it.
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != mainWindow_)
            windows.prepend(window);
    for (const QPointer<QWidget>& window : windows)  // one may take another with it
        if (window && window->isVisible())
            window->close();
    // Its unload handler releases the camera; the event loop ends with the last window.
    if (mainWindow_)
        mainWindow_->close();
}
