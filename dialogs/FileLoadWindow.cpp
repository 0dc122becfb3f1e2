#include "FileLoadWindow.h"

#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "FolderBrowser.h"
#include "MsgBox.h"
#include "WindowDesign.h"

#include <QLabel>
#include <QPushButton>

FileLoadWindow::FileLoadWindow(QString startFolder, QString pattern, QWidget* parent)
    : FileDialogWindow(QStringLiteral("Load file"), std::move(startFolder), std::move(pattern), parent)
{
    setObjectName(QStringLiteral("frmFileLoad"));
    qyn::resizeTwips(this, 7020, 3495);

    Label1 = new QLabel(QStringLiteral("File"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setBuddy(filFile);
    qyn::placeTwips(Label1, 3600, 840, 735, 255);
    qyn::placeTwips(cmdOK, 3960, 3060, 1455, 375);
    qyn::placeTwips(cmdCancel, 5520, 3060, 1455, 375);
    qyn::setTabOrderChain({drvFile, dirFile, filFile, cmdOK, cmdCancel});

    Form_Load();
}

void FileLoadWindow::cmdOK_Click()
{
    const QString path = browser->selectedFilePath();
    if (path.isEmpty()) {
        MsgBox(QStringLiteral("The file is not chosen."), MsgBoxIcon::Exclamation, QStringLiteral("Error"));
        return;
    }
    choose(path);
}
