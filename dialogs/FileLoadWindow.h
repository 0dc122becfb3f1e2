#pragma once

#include "FileDialogWindow.h"

// The window of the load-file dialog: OK chooses the file selected in the file list.
class FileLoadWindow : public FileDialogWindow {
    Q_OBJECT

public:
    FileLoadWindow(QString startFolder, QString pattern, QWidget* parent = nullptr);

private:
    void cmdOK_Click() override;

    QLabel* Label1;
};
