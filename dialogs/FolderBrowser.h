#pragma once

#include "MsgBox.h"

#include <QObject>
#include <QString>

class DirListBox;
class DriveListBox;
class FileListBox;
class QWidget;

// The drive, folder and file lists of a dialog and what keeps them in step. The lists are
// children of the dialog's window, which places them; they are named drv<name>,
// dir<name> and fil<name>. Choosing a drive opens its root; when it cannot, the reason is
// said with the dialog's icon and title and the drive list goes back to the folder list's
// volume (the message is "number : description"). Opening a folder moves the drive list along and lists the folder's files.
class FolderBrowser : public QObject {
    Q_OBJECT

public:
    FolderBrowser(QWidget* window, const QString& name, MsgBoxIcon failureIcon, QString failureTitle);

    // The first folder the dialog shows: the drive list on its volume, the folder list on
    // it. A folder that cannot be listed is said so ("The folder ... cannot be opened") and
    // the user's pictures folder (or home folder) opens instead.
    void openStartFolder(const QString& folder);
    // The selected file with its folder; "" when no file is selected.
    QString selectedFilePath() const;
    void setEnabled(bool enabled);

    DriveListBox* const drives;
    DirListBox* const folders;
    FileListBox* const files;

private:
    void driveChosen();
    void folderOpened();

    MsgBoxIcon failureIcon_;
    QString failureTitle_;
};
