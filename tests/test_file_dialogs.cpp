#include "CaseName.h"
#include "DialogPaths.h"
#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "DialogTestSupport.h"
#include "ModalScript.h"
#include "MsgBox.h"
#include "QynNativePath.h"
#include "frmFileLoad.h"
#include "frmFileSave.h"
#include "frmSelectVideoConfFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTest>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

// The application's folder: two bitmaps, a file without extension and a sub-folder.
struct StartFolder {
    QTemporaryDir dir;
    StartFolder()
    {
        for (const char* name : {"a.bmp", "B.BMP", "notes"})
            touch(dir.filePath(name));
        QDir(dir.path()).mkpath("sub");
        touch(dir.filePath("sub/inner.bmp"));
    }
    QString path() const { return QDir::toNativeSeparators(dir.path()); }
    QString file(const QString& name) const { return qyn::appendFileName(path(), name); }
};


// Shows the load dialog, picks name in the open folder and presses OK.
void loadPick(frmFileLoad& dialog, const QString& name)
{
    showWith(dialog, [&](QWidget* window) {
        auto* files = control<FileListBox>(window, "filFile");
        files->setListIndex(texts(*files).indexOf(name));
        click(window, "cmdOK");
    });
}

}  // namespace

// Guards against OK without a selection closing the dialog, case-sensitive patterns, and a
// chosen path that is not folder + one separator + name.
TEST(FileLoadDialog, OpensInTheStartFolderAndChoosesTheSelectedFile)
{
    StartFolder start;
    MessageLog log;
    frmFileLoad dialog(start.path());
    dialog.setStrPattern("*.bmp");
    showWith(dialog, [&](QWidget* window) {
        EXPECT_EQ(window->windowTitle(), "Load file");
        EXPECT_TRUE(window->windowFlags().testFlags(Qt::WindowMinMaxButtonsHint |
                                                    Qt::WindowCloseButtonHint))
            << "an ordinary sizable window";
        EXPECT_EQ(control<DriveListBox>(window, "drvFile")->drive(), qyn::volumeRootOf(start.path()));
        EXPECT_EQ(control<DirListBox>(window, "dirFile")->path(), start.path());
        auto* files = control<FileListBox>(window, "filFile");
        EXPECT_EQ(texts(*files), QStringList({"a.bmp", "B.BMP"}));

        click(window, "cmdOK");
        EXPECT_TRUE(window->isVisible());
        ASSERT_EQ(log.shown.size(), 1u);
        EXPECT_EQ(log.shown[0].prompt, "The file is not chosen.");
        EXPECT_EQ(log.shown[0].title, "Error");
        EXPECT_EQ(log.shown[0].icon, MsgBoxIcon::Exclamation);
        EXPECT_EQ(dialog.strFilePath(), "");

        files->setListIndex(1);
        click(window, "cmdOK");
    });
    EXPECT_EQ(dialog.strFilePath(), start.file("B.BMP"));
}

// Guards against a showing that reopens where the last one ended or forgets the pattern, and
// against Cancel, Escape or the close button keeping an earlier path (which would load a
// file the operator did not choose now).
TEST(FileLoadDialog, EveryShowingStartsAgainAndOnlyOkChooses)
{
    StartFolder start;
    frmFileLoad dialog(start.path());
    dialog.setStrPattern("*.bmp");
    showWith(dialog, [&](QWidget* window) {
        ASSERT_TRUE(control<DirListBox>(window, "dirFile")->setPath(start.dir.filePath("sub")));
        auto* files = control<FileListBox>(window, "filFile");
        EXPECT_EQ(texts(*files), QStringList({"inner.bmp"}));
        files->setListIndex(0);
        click(window, "cmdOK");
    });
    EXPECT_EQ(dialog.strFilePath(), qyn::appendFileName(start.file("sub"), "inner.bmp"));

    showWith(dialog, [&](QWidget* window) {
        EXPECT_EQ(control<DirListBox>(window, "dirFile")->path(), start.path());
        auto* files = control<FileListBox>(window, "filFile");
        EXPECT_EQ(files->pattern(), "*.bmp");
        EXPECT_EQ(files->path(), start.path());
        click(window, "cmdCancel");
    });
    EXPECT_EQ(dialog.strFilePath(), "");

    loadPick(dialog, "a.bmp");
    ASSERT_EQ(dialog.strFilePath(), start.file("a.bmp"));
    showWith(dialog, [](QWidget* window) { window->close(); });
    EXPECT_EQ(dialog.strFilePath(), "");

    loadPick(dialog, "a.bmp");
    showWith(dialog, [](QWidget* window) { pressKey(window->focusWidget(), Qt::Key_Escape); });
    EXPECT_EQ(dialog.strFilePath(), "");
}

// Guards against Qt's "*.*" hiding files without an extension from a caller that never set a
// pattern.
TEST(FileLoadDialog, UnsetPatternListsAllFiles)
{
    StartFolder start;
    frmFileLoad dialog(start.path());
    showWith(dialog, [&](QWidget* window) {
        auto* files = control<FileListBox>(window, "filFile");
        EXPECT_EQ(files->pattern(), "*.*");
        EXPECT_EQ(texts(*files), QStringList({"a.bmp", "B.BMP", "notes"}));
        window->close();
    });
}

// Guards against the pattern write making a second window instead of filling the one shown.
TEST(FileLoadDialog, PatternWriteCreatesTheWindowThatIsShown)
{
    StartFolder start;
    frmFileLoad dialog(start.path());
    const QWidgetList before = QApplication::topLevelWidgets();
    dialog.setStrPattern("notes");
    QWidget* created = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (!before.contains(widget) && widget->objectName() == "frmFileLoad")
            created = widget;
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(texts(*created->findChild<FileListBox*>("filFile")), QStringList({"notes"}));
    showWith(dialog, [&](QWidget* window) {
        EXPECT_EQ(window, created);
        window->close();
    });
}

// Guards against the extension rule looking at the folders' names (a home folder such as
// /home/first.last), adding to names that have one, or skipping the dot when the default
// extension is empty.
TEST(FileSaveDialog, DefaultExtensionRules)
{
    StartFolder start;
    QTemporaryDir dotted;
    ASSERT_TRUE(QDir(dotted.path()).mkpath("with.dot"));
    const QString dottedFolder = QDir::toNativeSeparators(dotted.filePath("with.dot"));

    struct Case {
        QString folder, typed, extension, expected;
    };
    const Case cases[] = {
        {start.path(), "pic", "bmp", start.file("pic.bmp")},
        {start.path(), "pic.raw", "bmp", start.file("pic.raw")},
        {dottedFolder, "pic", "bmp", qyn::appendFileName(dottedFolder, "pic.bmp")},
        {dottedFolder, "pic.png", "bmp", qyn::appendFileName(dottedFolder, "pic.png")},
        {start.path(), "pic", "", start.file("pic.")},
        {QDir::rootPath(), "pic", "bmp", QDir::toNativeSeparators(QDir::rootPath()) + "pic.bmp"},
    };
    for (const Case& c : cases) {
        frmFileSave dialog(start.path());
        dialog.setStrDefaultExtension(c.extension);
        dialog.setStrPattern("*.bmp");
        showWith(dialog, [&](QWidget* window) {
            ASSERT_TRUE(control<DirListBox>(window, "dirFile")->setPath(c.folder));
            control<QLineEdit>(window, "txtFilename")->setText(c.typed);
            click(window, "cmdOK");
        });
        EXPECT_EQ(dialog.strFilePath(), c.expected) << c.folder.toStdString() << " " << c.typed.toStdString();
    }
}

// Guards against an empty name accepted, a click that does not replace the typed text, and
// Cancel or the close button keeping an earlier path (which would overwrite that file).
TEST(FileSaveDialog, NameFromTheListAndTheEmptyNameWarning)
{
    StartFolder start;
    MessageLog log;
    frmFileSave dialog(start.path());
    dialog.setStrDefaultExtension("bmp");
    dialog.setStrPattern("*.bmp");
    showWith(dialog, [&](QWidget* window) {
        EXPECT_EQ(window->windowTitle(), "Save file");
        auto* name = control<QLineEdit>(window, "txtFilename");
        EXPECT_EQ(name->text(), "");
        click(window, "cmdOK");
        EXPECT_TRUE(window->isVisible());
        ASSERT_EQ(log.shown.size(), 1u);
        EXPECT_EQ(log.shown[0].prompt, "Please input a file name.");
        EXPECT_EQ(log.shown[0].title, "Error");
        EXPECT_EQ(log.shown[0].icon, MsgBoxIcon::Exclamation);

        name->setText("typed");
        auto* files = control<FileListBox>(window, "filFile");
        files->setListIndex(1);
        EXPECT_EQ(name->text(), "B.BMP");
        // A click on the file already picked changes no selection, yet puts its name back.
        name->setText("edited");
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(files->item(1)).center());
        EXPECT_EQ(name->text(), "B.BMP");
        click(window, "cmdOK");
    });
    EXPECT_EQ(dialog.strFilePath(), start.file("B.BMP"));

    showWith(dialog, [&](QWidget* window) {
        EXPECT_EQ(control<QLineEdit>(window, "txtFilename")->text(), "");
        EXPECT_EQ(control<DirListBox>(window, "dirFile")->path(), start.path());
        window->close();
    });
    EXPECT_EQ(dialog.strFilePath(), "");
}

// Guards against a start folder that cannot be opened being passed over in silence, and
// against the file dialogs opening where an installed program's user cannot save.
TEST(FileDialogs, StartFolderIsWritableOrSaidAndReplacedByThePicturesFolder)
{
    QTemporaryDir user;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);
    });
    qputenv("HOME", QFile::encodeName(user.path()));
    qunsetenv("XDG_CONFIG_HOME");
    const QString pictures = QDir::toNativeSeparators(user.filePath("Pictures"));

    StartFolder start;
    EXPECT_EQ(qyn::fileDialogFolder(start.path()), start.path());
    EXPECT_EQ(qyn::fileDialogFolder(start.file("gone")), QDir::toNativeSeparators(user.path()));
    ASSERT_TRUE(QDir(user.path()).mkdir("Pictures"));
    EXPECT_EQ(qyn::fileDialogFolder(start.file("gone")), pictures);
    if (geteuid() != 0) {
        QDir(start.path()).mkdir("locked");
        QFile::setPermissions(start.file("locked"), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(qyn::fileDialogFolder(start.file("locked")), pictures);
    }

    const QString gone = start.file("gone");
    frmFileLoad load(gone);
    frmFileSave save(gone);
    const std::function<void(const ModalScript::Step&)> shows[] = {
        [&](const ModalScript::Step& step) { showWith(load, step); },
        [&](const ModalScript::Step& step) { showWith(save, step); },
    };
    for (const auto& show : shows) {
        MessageLog log;
        show([&](QWidget* window) {
            EXPECT_EQ(control<DirListBox>(window, "dirFile")->path(), pictures);
            EXPECT_EQ(control<FileListBox>(window, "filFile")->path(), pictures);
            EXPECT_EQ(control<DriveListBox>(window, "drvFile")->drive(), qyn::volumeRootOf(pictures));
            window->close();
        });
        ASSERT_EQ(log.shown.size(), 1u);
        EXPECT_EQ(log.shown[0].prompt,
                  "The folder " + gone + " cannot be opened ("
                      + qyn::failureText(ENOENT, QString::fromLocal8Bit(std::strerror(ENOENT)))
                      + "). The folder " + pictures + " is shown instead.");
    }
}

// Guards against names that are not valid UTF-8 missing from the lists, shown as unreadable
// text, or handed to the program in a form that no longer opens the file.
TEST(FileDialogs, NamesThatAreNotUtf8AreListedOpenedAndChosen)
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    const auto removeNames = qScopeGuard([&] {  // which QTemporaryDir cannot name
        for (const char* name : {"/caf\xE9.bmp", "/d\xE9j\xE0/inner.bmp"})
            ::unlink((root + name).constData());
        ::rmdir((root + "/d\xE9j\xE0").constData());
    });
    ASSERT_EQ(::mkdir((root + "/d\xE9j\xE0").constData(), 0755), 0);
    for (const QByteArray& name : {QByteArray("caf\xE9.bmp"), QByteArray("plain.bmp"),
                                   QByteArray("d\xE9j\xE0/inner.bmp")}) {
        const int fd = ::open((root + '/' + name).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << name.constData();
        ::close(fd);
    }
    const QString folder = QDir::toNativeSeparators(dir.path());
    const QString cafe = qynPathFromNative("caf\xE9.bmp");
    const QString deja = qynPathFromNative("d\xE9j\xE0");
    const auto opens = [](const QString& path) { return ::access(qynPathToNative(path).constData(), F_OK) == 0; };

    struct Row {
        const char* what;
        bool save;
        bool intoFolder;
        QStringList shownFiles;
        QString chosen;
    };
    const Row rows[] = {
        {"load a file", false, false, {"caf\\xE9.bmp", "plain.bmp"}, qyn::appendFileName(folder, cafe)},
        {"open a folder, load from it", false, true, {"inner.bmp"},
         qyn::appendFileName(qyn::appendFileName(folder, deja), "inner.bmp")},
        {"save over a file", true, false, {"caf\\xE9.bmp", "plain.bmp"}, qyn::appendFileName(folder, cafe)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MessageLog log;
        frmFileLoad load(folder);
        frmFileSave save(folder);
        load.setStrPattern("*.bmp");
        save.setStrPattern("*.bmp");
        save.setStrDefaultExtension("bmp");
        const auto step = [&](QWidget* window) {
            auto* folders = control<DirListBox>(window, "dirFile");
            EXPECT_TRUE(texts(*folders).contains("d\\xE9j\\xE0")) << texts(*folders).join('|').toStdString();
            if (row.intoFolder) {
                folders->setCurrentRow(texts(*folders).indexOf("d\\xE9j\\xE0"));
                pressKey(folders, Qt::Key_Return);
                EXPECT_EQ(folders->path(), qyn::appendFileName(folder, deja));
                EXPECT_EQ(texts(*folders).last(), "d\\xE9j\\xE0");
            }
            auto* files = control<FileListBox>(window, "filFile");
            EXPECT_EQ(texts(*files), row.shownFiles);
            files->setListIndex(0);
            if (row.save) {
                EXPECT_EQ(control<QLineEdit>(window, "txtFilename")->text(), "caf\\xE9.bmp");
            }
            click(window, "cmdOK");
        };
        if (row.save) {
            showWith(save, step);
            EXPECT_EQ(save.strFilePath(), row.chosen);
            EXPECT_TRUE(opens(save.strFilePath()));
        } else {
            showWith(load, step);
            EXPECT_EQ(load.strFilePath(), row.chosen);
            EXPECT_TRUE(opens(load.strFilePath()));
        }
        EXPECT_TRUE(log.shown.empty());
    }
}

namespace {

// A file dialog, and how it differs from the others.
struct DialogRow {
    const char* name;
    const char* drives;
    const char* folders;
    const char* files;
    MsgBoxIcon driveFailureIcon;
    const char* driveFailureTitle;
    QStringList tabOrder;  // from the first focus on; the load dialog's design fixes only its start
    std::vector<std::pair<const char*, const char*>> accessibleNames;  // control, its name
    bool fixedSize;
    const char* typedName;  // Enter on this name typed in, or, when none, on the first file
    const char* chosen;     // the file Enter chooses
    QString (*show)(const QString& folder, const ModalScript::Step& step);
};

// Shows a dialog opened on the folder once, runs step on its window and gives the path chosen.
template <class Dialog, QString (Dialog::*chosenPath)() const>
QString showOnce(const QString& folder, const ModalScript::Step& step)
{
    Dialog dialog(folder);
    showWith(dialog, step);
    return (dialog.*chosenPath)();
}

const DialogRow dialogs[] = {
    {"load", "drvFile", "dirFile", "filFile", MsgBoxIcon::None, "", {"drvFile"},
     {{"drvFile", "Drive"}, {"dirFile", "Folder"}, {"filFile", "File"}}, false, nullptr, "a.bmp",
     showOnce<frmFileLoad, &frmFileLoad::strFilePath>},
    {"save", "drvFile", "dirFile", "filFile", MsgBoxIcon::None, "",
     {"cmdCancel", "cmdOK", "filFile", "dirFile", "drvFile", "txtFilename"},
     {{"drvFile", "Drive"}, {"dirFile", "Folder"}, {"filFile", "File"}, {"txtFilename", "Save file"}}, false, "pic",
     "pic.", showOnce<frmFileSave, &frmFileSave::strFilePath>},
    {"video configuration", "drvConfFile", "dirConfFile", "filConfFile", MsgBoxIcon::Exclamation, "Error",
     {"drvConfFile", "dirConfFile", "filConfFile", "cmdOK", "chkNotUseCamera"},
     {{"drvConfFile", "Drive"}, {"dirConfFile", "Folder"}, {"filConfFile", "Video configuration file"}}, true,
     nullptr, "a.ini", showOnce<frmSelectVideoConfFile, &frmSelectVideoConfFile::strVideoConfFilePath>},
};

// The object names of the first stops that Tab reaches, from the focused control on.
QStringList tabOrder(QWidget* window, qsizetype stops)
{
    QStringList order;
    for (QWidget* next = window->focusWidget(); order.size() < stops; next = next->nextInFocusChain())
        if (next->focusPolicy() & Qt::TabFocus)
            order << next->objectName();
    return order;
}

}  // namespace

// What the three file dialogs share, run on each, in a folder with a file for each.
class SharedDialogBehaviour : public ::testing::TestWithParam<DialogRow> {
protected:
    void SetUp() override
    {
        touch(dir.filePath("a.bmp"));
        touch(dir.filePath("a.ini"));
    }
    QString folder() const { return QDir::toNativeSeparators(dir.path()); }

    QTemporaryDir dir;
};

// Guards against a drive failure that is not reported, reported twice or with another icon
// or title than the dialog's, or that leaves the lists on the drive that failed.
TEST_P(SharedDialogBehaviour, UnreadableDriveIsReportedOnceAndTheListsReturn)
{
    const DialogRow& d = GetParam();
    MessageLog log;
    d.show(folder(), [&](QWidget* window) {
        auto* drives = control<DriveListBox>(window, d.drives);
        drives->setDrive("/no-such-volume-qyn");
        const QString root = qyn::volumeRootOf(folder());
        EXPECT_EQ(drives->drive(), root);
        EXPECT_EQ(control<DirListBox>(window, d.folders)->path(), root);
        EXPECT_EQ(control<FileListBox>(window, d.files)->path(), root);
        window->close();
    });
    ASSERT_EQ(log.shown.size(), 1u);
    EXPECT_EQ(log.shown[0].prompt, qyn::failureText(ENOENT, QString::fromLocal8Bit(std::strerror(ENOENT))));
    EXPECT_EQ(log.shown[0].title, d.driveFailureTitle);
    EXPECT_EQ(log.shown[0].icon, d.driveFailureIcon);
}

// Guards against a keyboard path that does not follow the design: where focus starts, the
// tab order, Enter choosing, the accessible names, a window that must not resize.
TEST_P(SharedDialogBehaviour, KeyboardAndAccessibility)
{
    const DialogRow& d = GetParam();
    const QString chosen = d.show(folder(), [&](QWidget* window) {
        if (d.fixedSize) {
            EXPECT_EQ(window->minimumSize(), window->maximumSize());
        }
        EXPECT_EQ(window->focusWidget()->objectName(), d.tabOrder.first());
        EXPECT_EQ(tabOrder(window, d.tabOrder.size()), d.tabOrder);
        for (const auto& [object, name] : d.accessibleNames)
            EXPECT_EQ(control<QWidget>(window, object)->accessibleName(), name) << object;
        if (!d.typedName) {
            auto* files = control<FileListBox>(window, d.files);
            files->setListIndex(0);
            pressKey(files, Qt::Key_Return);
            return;
        }
        // Focus moves only in an active window; while Cancel keeps it, Enter presses Cancel.
        auto* name = control<QLineEdit>(window, "txtFilename");
        window->activateWindow();
        for (int i = 0; i < 100 && !window->isActiveWindow(); ++i)
            QCoreApplication::processEvents();
        ASSERT_TRUE(window->isActiveWindow());
        name->setFocus();
        ASSERT_TRUE(name->hasFocus());
        name->setText(d.typedName);
        pressKey(name, Qt::Key_Return);
    });
    EXPECT_EQ(chosen, qyn::appendFileName(folder(), d.chosen));
}

// Guards against a drive list that stays on the volume the folder list has left: then
// picking that volume again does nothing. Every dialog follows the folder list.
TEST_P(SharedDialogBehaviour, TheDriveListNamesTheVolumeOfTheOpenFolder)
{
    const DialogRow& d = GetParam();
    const QString home = qyn::volumeRootOf(folder());
    d.show(folder(), [&](QWidget* window) {
        auto* drives = control<DriveListBox>(window, d.drives);
        auto* folders = control<DirListBox>(window, d.folders);
        EXPECT_EQ(drives->drive(), home);
        QString other;  // another volume the folder list can open
        for (const QString root : {"/dev/shm", "/run", "/dev", "/proc"})
            if (other.isEmpty() && root != home && qyn::volumeRootOf(root) == root)
                other = root;
        if (other.isEmpty()) {
            window->close();
            GTEST_SKIP() << "only one volume is mounted";
        }
        drives->setDrive(other);
        ASSERT_EQ(folders->path(), other);
        ASSERT_TRUE(folders->setPath(folder()));  // as a double-click opens it
        EXPECT_EQ(drives->drive(), home);
        drives->setDrive(other);  // picking the other volume again opens it again
        EXPECT_EQ(folders->path(), other);
        ASSERT_TRUE(folders->setPath(QDir::rootPath()));
        EXPECT_EQ(drives->drive(), qyn::volumeRootOf(QDir::rootPath()));
        window->close();
    });
}

INSTANTIATE_TEST_SUITE_P(FileDialogs, SharedDialogBehaviour, ::testing::ValuesIn(dialogs), NameOfCase());
