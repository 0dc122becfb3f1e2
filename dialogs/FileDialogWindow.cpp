#include "FileDialogWindow.h"

#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "FolderBrowser.h"
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
    Label3 = new QLabel(QStringLiteral("Folder"), this);
    // The drive failure of these dialogs has no icon and no title of its own.
    browser = new FolderBrowser(this, QStringLiteral("File"), MsgBoxIcon::None, QString());
    drvFile = browser->drives;
    dirFile = browser->folders;
    filFile = browser->files;
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);

    Label2->setObjectName(QStringLiteral("Label2"));
    Label3->setObjectName(QStringLiteral("Label3"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    qyn::placeTwips(Label2, 120, 120, 735, 255);
    qyn::placeTwips(drvFile, 120, 360, 3375, 315);
    qyn::placeTwips(Label3, 120, 840, 735, 195);
    qyn::placeTwips(dirFile, 120, 1080, 3375, 1890);
    qyn::placeTwips(filFile, 3600, 1080, 3375, 1845);

    Label2->setBuddy(drvFile);
    Label3->setBuddy(dirFile);
    filFile->setAccessibleName(QStringLiteral("File"));
    cmdOK->setDefault(true);

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
    browser->openStartFolder(startFolder_);
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
