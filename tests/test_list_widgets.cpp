#include "DialogPaths.h"
#include "DialogTestSupport.h"
#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// Records the values a change signal carried.
template <class Widget, class Signal>
std::shared_ptr<QStringList> recordChanges(Widget& widget, Signal signal)
{
    auto seen = std::make_shared<QStringList>();
    QObject::connect(&widget, signal, &widget, [seen](const QString& value) { *seen << value; });
    return seen;
}

}  // namespace

// Guards against wrong separators after a volume root and a dot test that misses the folder part.
TEST(DialogPaths, JoinAndDefaultExtension)
{
    const QString sep = QDir::separator();
    EXPECT_EQ(qyn::appendFileName(sep, "a.bmp"), sep + "a.bmp");
    EXPECT_EQ(qyn::appendFileName(sep + "data", "a.bmp"), sep + "data" + sep + "a.bmp");

    EXPECT_EQ(qyn::withDefaultExtension("/data/pic", "bmp"), "/data/pic.bmp");
    EXPECT_EQ(qyn::withDefaultExtension("/data/pic.raw", "bmp"), "/data/pic.raw");
    EXPECT_EQ(qyn::withDefaultExtension("/home/first.last/pic", "bmp"), "/home/first.last/pic.bmp");
    EXPECT_EQ(qyn::withDefaultExtension("/data/pic", ""), "/data/pic.");

    EXPECT_EQ(qyn::failureText(2, "No such file or directory"), "2 : No such file or directory");
}

// Guards against an empty drive for a vanished folder, which would leave the drive list nowhere.
TEST(DialogPaths, VolumeOfMissingPathIsItsAncestorsVolume)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = qyn::volumeRootOf(dir.path());
    ASSERT_FALSE(root.isEmpty());
    EXPECT_EQ(qyn::volumeRootOf(dir.filePath("gone/deeper")), root);
}

// Guards against case-sensitive matching, Qt's "*.*" dropping names without a dot, and
// folders or hidden files showing up as files.
TEST(FileListBox, MatchesPatternsLikeTheClassicList)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"a.bmp", "B.BMP", "c.ini", "README", ".hidden.bmp"})
        touch(dir.filePath(name));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bmp"));

    FileListBox list;
    EXPECT_EQ(list.pattern(), "*.*");
    list.setPath(dir.path());
    EXPECT_EQ(texts(list), QStringList({"a.bmp", "B.BMP", "c.ini", "README"}));

    list.setPattern("*.bmp");
    EXPECT_EQ(texts(list), QStringList({"a.bmp", "B.BMP"}));
    list.setPattern("*.ini; *.BMP");
    EXPECT_EQ(texts(list), QStringList({"a.bmp", "B.BMP", "c.ini"}));

    list.setPath(dir.filePath("missing"));
    EXPECT_EQ(list.count(), 0);
}

// Guards against a stale selection surviving a refill and against clicks that do not report.
TEST(FileListBox, SelectionIndexNameAndClick)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    touch(dir.filePath("one.ini"));
    touch(dir.filePath("two.ini"));

    FileListBox list;
    list.setPath(dir.path());
    int clicks = 0;
    QObject::connect(&list, &FileListBox::fileClicked, [&clicks] { ++clicks; });
    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(list.fileName(), "");

    list.setListIndex(1);
    EXPECT_EQ(list.listIndex(), 1);
    EXPECT_EQ(list.fileName(), "two.ini");
    EXPECT_EQ(clicks, 1);

    list.setPattern("*.ini");
    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(clicks, 1);
}

// Guards against change signals on unchanged paths, missing ancestors or sub-folders, and a
// failed opening that moves the list anyway.
TEST(DirListBox, OpensFoldersAndReportsFailures)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath("sub/inner");
    QDir(dir.path()).mkpath("Beta");
    touch(dir.filePath("file.txt"));
    const QString top = QDir::toNativeSeparators(dir.path());

    DirListBox list;
    const auto changes = recordChanges(list, &DirListBox::pathChanged);
    ASSERT_TRUE(list.setPath(dir.path()));
    EXPECT_EQ(list.path(), top);
    EXPECT_EQ(changes->size(), 1);
    ASSERT_TRUE(list.setPath(dir.path() + "/"));
    EXPECT_EQ(changes->size(), 1);

    const QStringList shown = texts(list);
    ASSERT_GE(shown.size(), 3);
    EXPECT_EQ(shown.first(), QString(QDir::separator()));
    EXPECT_EQ(shown.mid(shown.size() - 3), QStringList({QDir(dir.path()).dirName(), "Beta", "sub"}));

    EXPECT_FALSE(list.setPath(dir.filePath("missing")));
    EXPECT_EQ(list.lastFailure().number, ENOENT);
    EXPECT_EQ(list.lastFailure().description, QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_FALSE(list.setPath(dir.filePath("file.txt")));
    EXPECT_EQ(list.lastFailure().number, ENOTDIR);
    EXPECT_EQ(list.path(), top);
    EXPECT_EQ(changes->size(), 1);

    ASSERT_TRUE(list.setPath("/"));
    EXPECT_EQ(list.path(), QString(QDir::separator()));
}

// Guards against Enter falling through to the dialog's OK instead of opening the folder.
TEST(DirListBox, EnterOpensTheCurrentFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath("sub");
    DirListBox list;
    ASSERT_TRUE(list.setPath(dir.path()));
    const auto changes = recordChanges(list, &DirListBox::pathChanged);

    list.setCurrentRow(list.count() - 1);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(list.path(), QDir::toNativeSeparators(dir.filePath("sub")));
    EXPECT_EQ(changes->size(), 1);

    list.setCurrentRow(0);  // the volume root, an ancestor
    QCoreApplication::sendEvent(&list, &enter);
    EXPECT_EQ(list.path(), QString(QDir::separator()));
}

// Guards against a drive list that signals without a change or cannot take a vanished volume.
TEST(DriveListBox, ChangesOnlyWhenTheDriveChanges)
{
    DriveListBox drives;
    EXPECT_EQ(drives.drive(), qyn::volumeRootOf(QDir::currentPath()));
    const auto changes = recordChanges(drives, &DriveListBox::driveChanged);

    drives.setDrive(drives.drive());
    EXPECT_EQ(changes->size(), 0);

    const QString gone = "/no-such-volume-qyn";
    drives.setDrive(gone);
    EXPECT_EQ(drives.drive(), gone);
    ASSERT_EQ(changes->size(), 1);
    EXPECT_EQ(changes->at(0), gone);

    drives.setDrive(qyn::volumeRootOf(QDir::currentPath()));
    EXPECT_EQ(changes->size(), 2);
}

// Guards against a drive list filled with every mount of the system (kernel file systems,
// snaps, per-user runtime folders, boot partitions) or lacking the root and the home folder.
TEST(DriveListBox, OffersWhatADesktopFileManagerShows)
{
    DriveListBox drives;
    QStringList roots;
    for (int i = 0; i < drives.count(); ++i)
        roots << drives.itemData(i).toString();
    ASSERT_FALSE(roots.isEmpty());
    EXPECT_EQ(roots.first(), "/");
    EXPECT_TRUE(roots.contains(QDir::homePath())) << roots.join(' ').toStdString();
    EXPECT_EQ(drives.itemText(roots.indexOf(QDir::homePath())), QDir::homePath() + " [Home]");
    const QString current = qyn::volumeRootOf(QDir::currentPath());
    for (const QString& root : roots) {
        for (const char* system : {"/proc", "/sys", "/dev", "/run/user/", "/snap/", "/boot", "/var/lib/docker/"})
            EXPECT_FALSE(root.startsWith(system) && root != current) << root.toStdString();
    }
}
