#include "FileDialogWindow.h"

#include "DialogPaths.h"
#include "DirListBox.h"
#include "DriveChange.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "WindowDesign.h"

#include <QLabel>
#include <QPushButton>

FileDialogWindow::FileDialogWindow(const QString& caption, QString startFolder, QString pattern,
                                   QWidget* parent)
    // An ordinary sizable window: title, system menu, minimize, maximize and close.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      startFolder_(std::move(startFolder)),
      pattern_(std::move(pattern))
{
    setWindowTitle(caption);
    qyn::requestDesignFont(this);

    Label2 = new QLabel(QStringLiteral("Drive"), this);
    drvFile = new DriveListBox(this);
    Label3 = new QLabel(QStringLiteral("Folder"), this);
    dirFile = new DirListBox(this);
    filFile = new FileListBox(this);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);

    Label2->setObjectName(QStringLiteral("Label2"));
    drvFile->setObjectName(QStringLiteral("drvFile"));
    Label3->setObjectName(QStringLiteral("Label3"));
    dirFile->setObjectName(QStringLiteral("dirFile"));
    filFile->setObjectName(QStringLiteral("filFile"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    qyn::placeTwips(Label2, 120, 120, 735, 255);
    qyn::placeTwips(drvFile, 120, 360, 3375, 315);
    qyn::placeTwips(Label3, 120, 840, 735, 195);
    qyn::placeTwips(dirFile, 120, 1080, 3375, 1890);
    qyn::placeTwips(filFile, 3600, 1080, 3375, 1845);

    Label2->setBuddy(drvFile);
    Label3->setBuddy(dirFile);
    drvFile->setAccessibleName(QStringLiteral("Drive"));
    dirFile->setAccessibleName(QStringLiteral("Folder"));
    filFile->setAccessibleName(QStringLiteral("File"));
    cmdOK->setDefault(true);

    connect(drvFile, &DriveListBox::driveChanged, this, &FileDialogWindow::drvFile_Change);
    connect(dirFile, &DirListBox::pathChanged, this, &FileDialogWindow::dirFile_Change);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &FileDialogWindow::cmdCancel_Click);
}

void FileDialogWindow::setPattern(const QString& pattern)
{
    pattern_ = pattern;
    filFile->setPattern(pattern_);
}

void FileDialogWindow::Form_Load()
{
    filFile->setPattern(pattern_);
    openStartFolder(*drvFile, *dirFile, startFolder_, MsgBoxIcon::None, QString());
}

void FileDialogWindow::drvFile_Change()
{
    // The drive failure of these dialogs has no icon and no title of its own.
    openChosenDriveRoot(*drvFile, *dirFile, MsgBoxIcon::None, QString());
}

void FileDialogWindow::dirFile_Change()
{
    drvFile->followFolder(dirFile->path());
    filFile->setPath(dirFile->path());
}

void FileDialogWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);  // not QDialog's, which moves the window
}

void FileDialogWindow::cmdCancel_Click()
{
    chosenPath_.clear();
    reject();
}

void FileDialogWindow::choose(const QString& path)
{
    chosenPath_ = path;
    accept();
}
