#include "FolderBrowser.h"

#include "DialogPaths.h"
#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"

#include <QDir>
#include <QWidget>

FolderBrowser::FolderBrowser(QWidget* window, const QString& name, MsgBoxIcon failureIcon,
                             QString failureTitle)
    : QObject(window),
      drives(new DriveListBox(window)),
      folders(new DirListBox(window)),
      files(new FileListBox(window)),
      failureIcon_(failureIcon),
      failureTitle_(std::move(failureTitle))
{
    drives->setObjectName(QStringLiteral("drv") + name);
    folders->setObjectName(QStringLiteral("dir") + name);
    files->setObjectName(QStringLiteral("fil") + name);
    drives->setAccessibleName(QStringLiteral("Drive"));
    folders->setAccessibleName(QStringLiteral("Folder"));

    connect(drives, &DriveListBox::driveChanged, this, &FolderBrowser::driveChosen);
    connect(folders, &DirListBox::pathChanged, this, &FolderBrowser::folderOpened);
}

void FolderBrowser::openStartFolder(const QString& folder)
{
    drives->setDrive(qyn::volumeRootOf(folder));
    if (folders->setPath(folder))
        return;
    const DirListBox::Failure failure = folders->lastFailure();
    const QString instead = qyn::userPicturesFolder();
    MsgBox(QStringLiteral("The folder %1 cannot be opened (%2). The folder %3 is shown instead.")
               .arg(QDir::toNativeSeparators(folder), qyn::failureText(failure.number, failure.description),
                    instead),
           failureIcon_, failureTitle_);
    drives->setDrive(qyn::volumeRootOf(instead));
    folders->setPath(instead);
}

QString FolderBrowser::selectedFilePath() const
{
    if (files->listIndex() == -1)
        return {};
    return qyn::appendFileName(files->path(), files->fileName());
}

void FolderBrowser::setEnabled(bool enabled)
{
    drives->setEnabled(enabled);
    folders->setEnabled(enabled);
    files->setEnabled(enabled);
}

void FolderBrowser::driveChosen()
{
    if (folders->setPath(drives->drive()))
        return;
    // Going back to the folder list's volume chooses a drive again, which opens its root.
    const DirListBox::Failure& failure = folders->lastFailure();
    MsgBox(qyn::failureText(failure.number, failure.description), failureIcon_, failureTitle_);
    drives->setDrive(qyn::volumeRootOf(folders->path()));
}

void FolderBrowser::folderOpened()
{
    drives->followFolder(folders->path());
    files->setPath(folders->path());
}
