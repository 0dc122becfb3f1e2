#pragma once

#include "ModalWindowLifecycle.h"

#include <QString>

class FileLoadWindow;

// The load-file dialog object: one for the whole run, its window made anew at every showing.
class frmFileLoad {
public:
    // startFolder: where every showing opens (the application's own folder).
    explicit frmFileLoad(QString startFolder);
    ~frmFileLoad();

    // Stores the pattern and applies it to the file list at once, creating the window first
    // when it does not exist yet (the next showing shows that window).
    void setStrPattern(const QString& pattern);
    QString strFilePath() const { return chosenPath_; }

    // Shows the window modally, without an owner; returns when it has closed.
    void showModal();

private:
    QString startFolder_;
    QString pattern_ = QStringLiteral("*.*");
    QString chosenPath_;
    ModalWindowLifecycle<FileLoadWindow> window_;
};
