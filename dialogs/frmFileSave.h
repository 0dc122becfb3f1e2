#pragma once

#include "ModalWindowLifecycle.h"

#include <QString>

class FileSaveWindow;

// The save-file dialog object: one for the whole run, its window made anew at every showing.
class frmFileSave {
public:
    explicit frmFileSave(QString startFolder);
    ~frmFileSave();

    void setStrDefaultExtension(const QString& extension) { defaultExtension_ = extension; }
    // As frmFileLoad's: applied at once, creating the window first when needed.
    void setStrPattern(const QString& pattern);
    QString strFilePath() const { return chosenPath_; }

    void showModal();

private:
    QString startFolder_;
    QString defaultExtension_;
    QString pattern_ = QStringLiteral("*.*");
    QString chosenPath_;
    ModalWindowLifecycle<FileSaveWindow> window_;
};
