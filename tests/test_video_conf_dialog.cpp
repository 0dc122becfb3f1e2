#include "DialogPaths.h"
#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "DialogTestSupport.h"
#include "ModalScript.h"
#include "MsgBox.h"
#include "frmSelectVideoConfFile.h"

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A default folder with two configuration files and one other file.
struct ConfFolder {
    QTemporaryDir dir;
    ConfFolder()
    {
        for (const char* name : {"a.ini", "B.INI", "c.txt"})
            touch(dir.filePath(name));
    }
    QString path() const { return QDir::toNativeSeparators(dir.path()); }
};


}  // namespace

// Guards against a dialog that ignores its default folder or lists other files than ".ini",
// and against the close button overwriting an earlier result.
TEST(VideoConfDialog, OpensOnTheDefaultFolderAndCloseKeepsTheResult)
{
    ConfFolder folder;
    MessageLog log;
    frmSelectVideoConfFile dialog(folder.path());
    dialog.setStrVideoConfFilePath("/earlier/choice.ini");
    showWith(dialog, [&](QWidget* window) {
        EXPECT_EQ(window->windowTitle(), "Selection Of The Video Configuration");
        EXPECT_EQ(control<DriveListBox>(window, "drvConfFile")->drive(), qyn::volumeRootOf(folder.path()));
        EXPECT_EQ(control<DirListBox>(window, "dirConfFile")->path(), folder.path());
        auto* files = control<FileListBox>(window, "filConfFile");
        EXPECT_EQ(files->path(), folder.path());
        EXPECT_EQ(files->pattern(), "*.ini");
        EXPECT_EQ(texts(*files), QStringList({"a.ini", "B.INI"}));
        EXPECT_EQ(files->listIndex(), -1);
        window->close();
    });
    EXPECT_EQ(dialog.strVideoConfFilePath(), "/earlier/choice.ini");
    EXPECT_TRUE(log.shown.empty());
}

// Guards against a missing default folder being reported or leaving the lists unfiltered.
TEST(VideoConfDialog, MissingDefaultFolderStartsInTheCurrentFolder)
{
    ConfFolder current;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(current.dir.path()));
    MessageLog log;
    frmSelectVideoConfFile dialog(current.dir.filePath("no-such-folder"));
    showWith(dialog, [&](QWidget* window) {
        EXPECT_EQ(control<DirListBox>(window, "dirConfFile")->path(), current.path());
        auto* files = control<FileListBox>(window, "filConfFile");
        EXPECT_EQ(files->pattern(), "*.ini");
        EXPECT_EQ(texts(*files), QStringList({"a.ini", "B.INI"}));
        window->close();
    });
    QDir::setCurrent(before);
    EXPECT_TRUE(log.shown.empty());
    EXPECT_EQ(dialog.strVideoConfFilePath(), "");
}

// Guards against a selected file winning over the "no camera" tick.
TEST(VideoConfDialog, TickGivesTheEmptyPath)
{
    ConfFolder folder;
    frmSelectVideoConfFile dialog(folder.path());
    dialog.setStrVideoConfFilePath("/earlier/choice.ini");
    showWith(dialog, [&](QWidget* window) {
        control<FileListBox>(window, "filConfFile")->setListIndex(0);
        control<QCheckBox>(window, "chkNotUseCamera")->click();
        EXPECT_FALSE(control<QWidget>(window, "drvConfFile")->isEnabled());
        EXPECT_FALSE(control<QWidget>(window, "dirConfFile")->isEnabled());
        EXPECT_FALSE(control<QWidget>(window, "filConfFile")->isEnabled());
        control<QPushButton>(window, "cmdOK")->click();
    });
    EXPECT_EQ(dialog.strVideoConfFilePath(), "");
}

// Guards against an untick that leaves the lists disabled or drops the selection.
TEST(VideoConfDialog, TickUntickThenOkGivesTheSelectedFile)
{
    ConfFolder folder;
    frmSelectVideoConfFile dialog(folder.path());
    showWith(dialog, [&](QWidget* window) {
        auto* files = control<FileListBox>(window, "filConfFile");
        files->setListIndex(1);
        auto* tick = control<QCheckBox>(window, "chkNotUseCamera");
        tick->click();
        tick->click();
        EXPECT_TRUE(control<QWidget>(window, "drvConfFile")->isEnabled());
        EXPECT_TRUE(control<QWidget>(window, "dirConfFile")->isEnabled());
        EXPECT_TRUE(files->isEnabled());
        EXPECT_EQ(files->listIndex(), 1);
        control<QPushButton>(window, "cmdOK")->click();
    });
    EXPECT_EQ(dialog.strVideoConfFilePath(), folder.path() + QDir::separator() + "B.INI");
}

// Guards against OK without a selection closing the dialog or changing the result.
TEST(VideoConfDialog, OkWithoutSelectionWarnsAndStays)
{
    ConfFolder folder;
    MessageLog log;
    frmSelectVideoConfFile dialog(folder.path());
    dialog.setStrVideoConfFilePath("/earlier/choice.ini");
    showWith(dialog, [&](QWidget* window) {
        control<QPushButton>(window, "cmdOK")->click();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(dialog.strVideoConfFilePath(), "/earlier/choice.ini");
        ASSERT_EQ(log.shown.size(), 1u);
        EXPECT_EQ(log.shown[0].prompt, "The video setting file is not chosen.");
        EXPECT_EQ(log.shown[0].title, "Error");
        EXPECT_EQ(log.shown[0].icon, MsgBoxIcon::Exclamation);
        control<FileListBox>(window, "filConfFile")->setListIndex(0);
        control<QPushButton>(window, "cmdOK")->click();
    });
    EXPECT_EQ(dialog.strVideoConfFilePath(), folder.path() + QDir::separator() + "a.ini");
}

// Guards against two separators between a volume root and the file name.
TEST(VideoConfDialog, FileInTheRootGetsOneSeparator)
{
    ConfFolder folder;
    frmSelectVideoConfFile dialog(folder.path());
    QString picked;
    showWith(dialog, [&](QWidget* window) {
        auto* folders = control<DirListBox>(window, "dirConfFile");
        ASSERT_TRUE(folders->setPath(QDir::rootPath()));
        auto* files = control<FileListBox>(window, "filConfFile");
        EXPECT_EQ(files->path(), QDir::toNativeSeparators(QDir::rootPath()));
        files->setPattern("*");  // the root holds no ".ini" file to pick
        if (files->count() == 0) {
            window->close();
            return;
        }
        files->setListIndex(0);
        picked = files->fileName();
        control<QPushButton>(window, "cmdOK")->click();
    });
    if (picked.isEmpty())
        GTEST_SKIP() << "the root folder holds no file";
    EXPECT_EQ(dialog.strVideoConfFilePath(), QDir::toNativeSeparators(QDir::rootPath()) + picked);
}
