#pragma once

#include <QString>

// The save-file dialog object: one for the whole run, its window made anew at every showing.
class frmFileSave {
public:
    explicit frmFileSave(QString startFolder);
    ~frmFileSave();

    void setStrDefaultExtension(const QString& extension) { defaultExtension_ = extension; }
    void setStrPattern(const QString& pattern);
    QString strFilePath() const { return chosenPath_; }

    void showModal();

private:
    QString startFolder_;
    QString defaultExtension_;
    QString pattern_ = QStringLiteral("*.*");
    QString chosenPath_;
};
