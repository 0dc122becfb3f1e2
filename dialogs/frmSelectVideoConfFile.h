#pragma once

#include "ModalWindowLifecycle.h"

#include <QString>

class SelectVideoConfFileWindow;

// The video configuration dialog object. It lives for the whole run; every showing
// creates its window anew and OK or the close button discards it again.
class frmSelectVideoConfFile {
public:
    // defaultFolder: the folder offered first when it exists.
    explicit frmSelectVideoConfFile(QString defaultFolder);
    ~frmSelectVideoConfFile();

    QString strVideoConfFilePath() const { return strVideoConfFilePath_; }
    void setStrVideoConfFilePath(const QString& path) { strVideoConfFilePath_ = path; }

    // Shows the window modally, without an owner; returns when it has closed.
    void showModal();

private:
    QString defaultFolder_;
    QString strVideoConfFilePath_;
    ModalWindowLifecycle<SelectVideoConfFileWindow> window_;
};
