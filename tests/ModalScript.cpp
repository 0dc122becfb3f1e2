#include "ModalScript.h"

#include <QApplication>
#include <QDialog>

#include <gtest/gtest.h>

ModalScript::ModalScript(int timeLimitMs)
{
    poller_.setInterval(10);
    connect(&poller_, &QTimer::timeout, this, &ModalScript::poll);
    poller_.start();
    guard_.setSingleShot(true);
    connect(&guard_, &QTimer::timeout, this, &ModalScript::giveUp);
    guard_.start(timeLimitMs);
}

ModalScript::~ModalScript()
{
    if (!steps_.empty())
        ADD_FAILURE() << steps_.size() << " modal step(s) never ran";
}

ModalScript& ModalScript::then(Step step)
{
    steps_.push_back(std::move(step));
    return *this;
}

void ModalScript::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == lastHandled_ || steps_.empty())
        return;
    lastHandled_ = modal;
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(modal);
}

void ModalScript::giveUp()
{
    poller_.stop();
    int closed = 0;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (++closed > 20 || QApplication::activeModalWidget() == modal)
            break;
    }
    ADD_FAILURE() << "modal script timed out; closed " << closed << " window(s)";
}
