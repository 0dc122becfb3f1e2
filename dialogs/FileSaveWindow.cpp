#include "FileSaveWindow.h"

#include "DialogPaths.h"
#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "MsgBox.h"
#include "WindowDesign.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FileSaveWindow::FileSaveWindow(QString startFolder, QString pattern, const QString& defaultExtension,
                               QWidget* parent)
    : FileDialogWindow(QStringLiteral("Save file"), std::move(startFolder), std::move(pattern), parent),
      defaultExtension_(defaultExtension)
{
    setObjectName(QStringLiteral("frmFileSave"));
    qyn::resizeTwips(this, 7020, 3510);

    Label1 = new QLabel(QStringLiteral("Save file"), this);
    txtFilename = new QLineEdit(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtFilename->setObjectName(QStringLiteral("txtFilename"));
    Label1->setBuddy(txtFilename);
    txtFilename->setAccessibleName(QStringLiteral("Save file"));

    qyn::placeTwips(Label1, 3600, 120, 1335, 255);
    qyn::placeTwips(txtFilename, 3600, 360, 3375, 330);
    qyn::placeTwips(cmdOK, 3840, 3060, 1455, 375);
    qyn::placeTwips(cmdCancel, 5400, 3060, 1455, 375);
    qyn::setTabOrderChain({cmdCancel, cmdOK, filFile, dirFile, drvFile, txtFilename});

    connect(filFile, &FileListBox::fileClicked, this, &FileSaveWindow::filFile_Click);

    Form_Load();
}

void FileSaveWindow::filFile_Click()
{
    clickedName_ = filFile->fileName();
    clickedShown_ = filFile->shownFileName();
    txtFilename->setText(clickedShown_);
}

void FileSaveWindow::cmdOK_Click()
{
    // A clicked name that does not decode is shown readably but saved under its own bytes.
    const QString typed = txtFilename->text();
    const QString name = !typed.isEmpty() && typed == clickedShown_ ? clickedName_ : typed;
    if (name.isEmpty()) {
        MsgBox(QStringLiteral("Please input a file name."), MsgBoxIcon::Exclamation, QStringLiteral("Error"));
        return;
    }
    choose(qyn::withDefaultExtension(qyn::appendFileName(dirFile->path(), name), defaultExtension_));
}
