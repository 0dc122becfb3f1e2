#include "SelectVideoConfFileWindow.h"

#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "FolderBrowser.h"
#include "MsgBox.h"
#include "WindowDesign.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

SelectVideoConfFileWindow::SelectVideoConfFileWindow(QString defaultFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      defaultFolder_(std::move(defaultFolder))
{
    setObjectName(QStringLiteral("frmSelectVideoConfFile"));
    setWindowTitle(QStringLiteral("Selection Of The Video Configuration"));
    qyn::requestDesignFont(this);
    qyn::resizeTwips(this, 8070, 5400);
    setFixedSize(size());

    Label1 = new QLabel(
        QStringLiteral("Please select the video configuration file - TEAL/KBT01/KBT02/KBT04."), this);
    Label2 = new QLabel(QStringLiteral("(The Quorvi Data's capture card is not available)"), this);
    browser = new FolderBrowser(this, QStringLiteral("ConfFile"), MsgBoxIcon::Exclamation, QStringLiteral("Error"));
    DriveListBox* drvConfFile = browser->drives;
    DirListBox* dirConfFile = browser->folders;
    FileListBox* filConfFile = browser->files;
    chkNotUseCamera =
        new QCheckBox(QStringLiteral("A camera input is not used. (only reading from a file)"), this);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);

    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    chkNotUseCamera->setObjectName(QStringLiteral("chkNotUseCamera"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));

    qyn::placeTwips(Label1, 240, 120, 6015, 255);
    qyn::placeTwips(Label2, 240, 480, 4575, 255);
    qyn::placeTwips(drvConfFile, 120, 960, 3855, 315);
    qyn::placeTwips(dirConfFile, 120, 1320, 3855, 3240);
    qyn::placeTwips(filConfFile, 4080, 1320, 3855, 3210);
    qyn::placeTwips(chkNotUseCamera, 240, 4800, 5055, 375);
    qyn::placeTwips(cmdOK, 5880, 4800, 2055, 375);

    Label1->setBuddy(filConfFile);
    filConfFile->setAccessibleName(QStringLiteral("Video configuration file"));
    cmdOK->setDefault(true);
    qyn::setTabOrderChain({drvConfFile, dirConfFile, filConfFile, cmdOK, chkNotUseCamera});

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(chkNotUseCamera, &QCheckBox::toggled, this, &SelectVideoConfFileWindow::chkNotUseCamera_Click);
    connect(cmdOK, &QPushButton::clicked, this, &SelectVideoConfFileWindow::cmdOK_Click);

    Form_Load();
}

void SelectVideoConfFileWindow::Form_Load()
{
    // A missing default folder is no fault: the lists stay on the current folder.
    if (QFileInfo(defaultFolder_).isDir())
        browser->openStartFolder(defaultFolder_);
    browser->files->setPattern(QStringLiteral("*.ini"));
}

void SelectVideoConfFileWindow::chkNotUseCamera_Click()
{
    browser->setEnabled(!chkNotUseCamera->isChecked());
}

void SelectVideoConfFileWindow::cmdOK_Click()
{
    if (chkNotUseCamera->isChecked()) {
        chosenPath_.clear();
        accept();
        return;
    }
    const QString path = browser->selectedFilePath();
    if (path.isEmpty()) {
        MsgBox(QStringLiteral("The video setting file is not chosen."), MsgBoxIcon::Exclamation,
               QStringLiteral("Error"));
        return;
    }
    chosenPath_ = path;
    accept();
}
