#pragma once

#include "ModalScript.h"
#include "MsgBox.h"

#include <QListWidget>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

// Helpers shared by the tests of the list widgets and the dialogs.

// Records every message instead of showing it, while it lives.
struct MessageLog {
    std::vector<MsgBoxRequest> shown;
    MsgBoxHook previous = setMsgBoxHook([this](const MsgBoxRequest& request) { shown.push_back(request); });
    ~MessageLog() { setMsgBoxHook(previous); }
};

// Creates an empty file.
void touch(const QString& path);
// The texts of a list's rows, in order.
QStringList texts(const QListWidget& list);
void click(QWidget* window, const char* button);
void pressKey(QWidget* target, Qt::Key key);
// The texts of the window's labels, buttons, check boxes, frame captions and combo box
// entries that their controls cut at the controls' sizes in the controls' fonts, each as
// "object name: text". A combo box entry counts as whole when its open list shows it whole.
QStringList cutTexts(QWidget* window);

// The window's child of that name and type; a test failure when there is none.
template <class T>
T* control(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Shows the dialog once and runs step on its window.
template <class Dialog>
void showWith(Dialog& dialog, const ModalScript::Step& step)
{
    ModalScript script;
    script.then(step);
    dialog.showModal();
    EXPECT_TRUE(script.done());
}
