#pragma once

#include <QString>

#include <functional>

enum class MsgBoxIcon { None, Exclamation };

// One message box as the program asked for it: a prompt, a title, an icon, an OK button.
struct MsgBoxRequest {
    QString prompt;
    QString title;  // empty: no title of its own (the application's name is shown)
    MsgBoxIcon icon = MsgBoxIcon::None;
};

// Every message of the program goes through here: a modal QMessageBox with an OK
// button, or, while a test has installed a hook, a call of that hook instead.
void MsgBox(const QString& prompt, MsgBoxIcon icon, const QString& title);

using MsgBoxHook = std::function<void(const MsgBoxRequest&)>;
// Installs a hook (an empty one restores the real boxes); returns the previous hook.
MsgBoxHook setMsgBoxHook(MsgBoxHook hook);
