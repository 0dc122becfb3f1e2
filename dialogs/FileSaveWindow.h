#pragma once

#include "FileDialogWindow.h"

class QLineEdit;

// The window of the save-file dialog: OK chooses the open folder plus the typed name, with
// the default extension added to a path that has no "." at all.
class FileSaveWindow : public FileDialogWindow {
    Q_OBJECT

public:
    // defaultExtension is read at OK, so a later write by the caller still counts.
    FileSaveWindow(QString startFolder, QString pattern, const QString& defaultExtension,
                   QWidget* parent = nullptr);

private:
    void filFile_Click();
    void cmdOK_Click() override;

    const QString& defaultExtension_;
    // The file last clicked in the list: its name and the text it put into the name box.
    QString clickedName_;
    QString clickedShown_;
    QLabel* Label1;
    QLineEdit* txtFilename;
};
