#pragma once

#include <QDialog>
#include <QString>

class FolderBrowser;
class QCheckBox;
class QLabel;
class QPushButton;

// The window of the video configuration dialog: drive, folder and ".ini" file lists and
// a "no camera" check box. OK accepts it with the chosen path; the close button rejects
// it without running any handler.
class SelectVideoConfFileWindow : public QDialog {
    Q_OBJECT

public:
    explicit SelectVideoConfFileWindow(QString defaultFolder, QWidget* parent = nullptr);

    // What OK chose: a full path, or "" when no camera is used.
    QString chosenPath() const { return chosenPath_; }

private:
    void Form_Load();
    void chkNotUseCamera_Click();
    void cmdOK_Click();

    QString defaultFolder_;
    QString chosenPath_;

    QLabel* Label1;
    QLabel* Label2;
    FolderBrowser* browser;
    QCheckBox* chkNotUseCamera;
    QPushButton* cmdOK;
};
