#pragma once

#include <QDialog>
#include <QString>

class DirListBox;
class DriveListBox;
class FileListBox;
class FolderBrowser;
class QLabel;
class QPushButton;

// What the load-file and save-file windows share: the drive, folder and file lists with
// their labels, OK and Cancel, and the load step. Every window opens in
// the start folder; OK accepts it with a chosen path, Cancel, Escape and the close button
// reject it.
class FileDialogWindow : public QDialog {
    Q_OBJECT

public:
    QString chosenPath() const { return chosenPath_; }
    // The pattern of the file list, applied at once.
    void setPattern(const QString& pattern);

protected:
    FileDialogWindow(const QString& caption, QString startFolder, QString pattern, QWidget* parent);

    // The load step; the concrete window runs it once it is built.
    void Form_Load();
    virtual void cmdOK_Click() = 0;
    void cmdCancel_Click();
    // Stores the chosen path and closes the window.
    void choose(const QString& path);
    // Leaves the place of the window to the window system, as for any new window
    // (QDialog would centre it over the active window).
    void showEvent(QShowEvent* event) override;

    QLabel* Label2;
    FolderBrowser* browser;
    DriveListBox* drvFile;
    QLabel* Label3;
    DirListBox* dirFile;
    FileListBox* filFile;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    QString startFolder_;
    QString pattern_;
    QString chosenPath_;
};
