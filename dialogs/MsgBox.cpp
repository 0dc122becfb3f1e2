#include "MsgBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
MsgBoxHook& hook()
{
    static MsgBoxHook instance;
    return instance;
}
}  // namespace

void MsgBox(const QString& prompt, MsgBoxIcon icon, const QString& title)
{
    if (hook()) {
        hook()({prompt, title, icon});
        return;
    }
    QMessageBox box(icon == MsgBoxIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title.isEmpty() ? QApplication::applicationDisplayName() : title, prompt,
                    QMessageBox::Ok);
    box.exec();
}

MsgBoxHook setMsgBoxHook(MsgBoxHook newHook)
{
    return std::exchange(hook(), std::move(newHook));
}
