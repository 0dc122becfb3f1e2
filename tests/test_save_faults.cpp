// Saves that cannot succeed: each must leave a non-zero code, the file that was there
// before byte for byte, and no temporary file beside it.
#include "ImageFileFixtures.h"
#include "QynAtomicFile.h"
#include "QynFileAccess.h"
#include "QynImage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

using fixture::Bytes;

namespace {

class SaveFaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fixture::fillPattern(slot, 300, 200, QynPixelFormat::Color32, 9);
        fixture::fillPattern(oldImage, 10, 10, QynPixelFormat::Gray8, 1);
        ASSERT_EQ(QynFileAccess::saveFile(target(), oldImage), QynFileAccess::Success);
        oldBytes = fixture::readFile(target());
        ASSERT_FALSE(oldBytes.empty());
        oldEntries = fixture::entries(dir.path());
    }

    QString target(const QString& name = "good.bmp") const { return dir.filePath(name); }

    // The earlier file is as it was and nothing else appeared beside it.
    void expectUntouched() const
    {
        EXPECT_EQ(fixture::readFile(target()), oldBytes);
        EXPECT_EQ(fixture::entries(dir.path()), oldEntries);
    }

    QTemporaryDir dir;
    QynImage slot, oldImage;
    Bytes oldBytes;
    QStringList oldEntries;
};

// Sets a file size limit for the writes of one scope, as a full disk would, with the
// signal that would otherwise end the process ignored.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

}  // namespace

// Guards against a save that stops half-way (disk full) leaving a cut file in place of
// the good one, or its temporary file behind, or reporting success.
TEST_F(SaveFaultsTest, DiskFullKeepsTheOldFile)
{
    std::int32_t code = 0;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        code = QynFileAccess::saveFile(target(), slot);
    }
    EXPECT_EQ(code, QynFileAccess::CannotWrite);
    expectUntouched();
    // The same through our PNG and JPEG writers and Qt's TIFF writer, over files of the
    // same name; the reason says what happened.
    for (const char* name : {"good.png", "good.jpg", "good.tif", "good.bmp"}) {
        ASSERT_EQ(QynFileAccess::saveFile(target(name), oldImage), QynFileAccess::Success);
        const Bytes old = fixture::readFile(target(name));
        oldEntries = fixture::entries(dir.path());
        {
            FileSizeLimit limit(1024);
            ASSERT_TRUE(limit.ok());
            QString why;
            EXPECT_EQ(QynFileAccess::saveFile(target(name), slot, &why), QynFileAccess::CannotWrite) << name;
            EXPECT_EQ(why, "the file would pass the file size limit") << name;
        }
        EXPECT_EQ(fixture::readFile(target(name)), old) << name;
        expectUntouched();
    }
}

// Guards against paths that cannot take a file: a missing folder, a folder in the file's
// place, a read-only system file (read-only even for root).
TEST_F(SaveFaultsTest, UnwritablePathsGiveCannotWrite)
{
    EXPECT_EQ(QynFileAccess::saveFile(dir.filePath("missing/x.bmp"), slot), QynFileAccess::CannotWrite);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bmp"));
    oldEntries = fixture::entries(dir.path());
    EXPECT_EQ(QynFileAccess::saveFile(dir.filePath("folder.bmp"), slot), QynFileAccess::CannotWrite);
    EXPECT_TRUE(fixture::entries(dir.filePath("folder.bmp")).isEmpty());
    expectUntouched();

    const Bytes version = fixture::readFile("/proc/version");
    if (!version.empty()) {
        EXPECT_EQ(QynFileAccess::saveFile("/proc/version", slot), QynFileAccess::CannotWrite);
        EXPECT_EQ(fixture::readFile("/proc/version"), version);
    }
}

// Guards against overwriting a file or folder the user may not write: skipped as root,
// for whom permissions do not apply.
TEST_F(SaveFaultsTest, ReadOnlyFileAndFolderAreLeftAlone)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: file permissions do not apply";
    ASSERT_TRUE(QFile::setPermissions(target(), QFileDevice::ReadOwner));
    EXPECT_EQ(QynFileAccess::saveFile(target(), slot), QynFileAccess::CannotWrite);
    expectUntouched();
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_EQ(QynFileAccess::saveFile(target("new.bmp"), slot), QynFileAccess::CannotWrite);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    expectUntouched();
}

// Guards against a failed precondition writing anyway, and against a good save leaving
// its temporary file: the replaced file is the new image and stands alone.
TEST_F(SaveFaultsTest, NothingToSaveKeepsTheFileAndAGoodSaveReplacesIt)
{
    QynImage empty;
    EXPECT_EQ(QynFileAccess::saveFile(target(), empty), QynFileAccess::NothingToSave);
    expectUntouched();

    ASSERT_EQ(QynFileAccess::saveFile(target(), slot), QynFileAccess::Success);
    EXPECT_EQ(fixture::entries(dir.path()), oldEntries);
    QynImage back;
    ASSERT_EQ(QynFileAccess::loadFile(target(), back), QynFileAccess::Success);
    EXPECT_EQ(fixture::state(back), fixture::state(slot));
}

namespace {

struct stat statOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

}  // namespace

// Guards against a save that replaces what is not a file: a pipe, a socket or a device
// node (made here, never the machine's own) must stay what it was, with a reason.
TEST_F(SaveFaultsTest, DevicesPipesAndSocketsAreNotReplaced)
{
    const QByteArray fifo = QFile::encodeName(target("fifo.bmp"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(target("socket.bmp"));
    ASSERT_LT(static_cast<std::size_t>(socketPath.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.constData(), static_cast<std::size_t>(socketPath.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    QStringList nodes = {"fifo.bmp", "socket.bmp"};
    if (::mknod(QFile::encodeName(target("null.bmp")).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        nodes << "null.bmp";  // only root may make device nodes
    ASSERT_TRUE(QFile::link("fifo.bmp", target("to-fifo.bmp")));
    nodes << "to-fifo.bmp";
    oldEntries = fixture::entries(dir.path());
    for (const QString& node : nodes) {
        const struct stat before = statOf(target(node));
        QString why;
        EXPECT_EQ(QynFileAccess::saveFile(target(node), slot, &why), QynFileAccess::CannotWrite) << node.toStdString();
        EXPECT_TRUE(why.contains("device, pipe or socket")) << why.toStdString();
        EXPECT_EQ(statOf(target(node)).st_mode, before.st_mode);
        EXPECT_EQ(statOf(target(node)).st_ino, before.st_ino);
    }
    ::close(sock);
    expectUntouched();
}

// Guards against a replaced file that loses its mode (a private file made world-
// readable) or, under root, its owner; a link is written through to its file and stays a
// link; a hard link's other name keeps the old content, as docs/image-files.md says.
TEST_F(SaveFaultsTest, ReplacingKeepsModeOwnerAndLinks)
{
    for (const mode_t mode : {0600, 0640, 0604}) {
        ASSERT_EQ(::chmod(QFile::encodeName(target()).constData(), mode), 0);
        ASSERT_EQ(QynFileAccess::saveFile(target(), slot), QynFileAccess::Success);
        EXPECT_EQ(statOf(target()).st_mode & 07777, mode);
    }
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(target()).constData(), 65534, 65534), 0);
        ASSERT_EQ(QynFileAccess::saveFile(target(), oldImage), QynFileAccess::Success);
        EXPECT_EQ(statOf(target()).st_uid, 65534u);
        EXPECT_EQ(statOf(target()).st_gid, 65534u);
    }

    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    ASSERT_TRUE(QFile::link("real/pic.bmp", target("link.bmp")));  // dangling until the save
    ASSERT_EQ(QynFileAccess::saveFile(target("link.bmp"), oldImage), QynFileAccess::Success);
    ASSERT_EQ(QynFileAccess::saveFile(target("link.bmp"), slot), QynFileAccess::Success);
    EXPECT_TRUE(S_ISLNK(statOf(target("link.bmp")).st_mode));
    QynImage back;
    ASSERT_EQ(QynFileAccess::loadFile(target("real/pic.bmp"), back), QynFileAccess::Success);
    EXPECT_EQ(fixture::state(back), fixture::state(slot));
    EXPECT_EQ(fixture::entries(target("real")), QStringList{"pic.bmp"});

    ASSERT_EQ(::link(QFile::encodeName(target("real/pic.bmp")).constData(),
                     QFile::encodeName(target("real/hard.bmp")).constData()), 0);
    ASSERT_EQ(QynFileAccess::saveFile(target("real/pic.bmp"), oldImage), QynFileAccess::Success);
    ASSERT_EQ(QynFileAccess::loadFile(target("real/hard.bmp"), back), QynFileAccess::Success);
    EXPECT_EQ(fixture::state(back), fixture::state(slot));
}

// Guards against following a link that another user planted in a shared sticky folder
// such as /tmp, and against formats that shrink what they cannot hold: both are refused
// with a reason and leave nothing.
TEST_F(SaveFaultsTest, PlantedLinksAndShrinkingFormatsAreRefused)
{
    QString why;
    EXPECT_EQ(QynFileAccess::saveFile(target("icon.ico"), slot, &why), QynFileAccess::CannotWrite);
    EXPECT_TRUE(why.startsWith("ICO files are not written")) << why.toStdString();
    EXPECT_EQ(QynFileAccess::saveFile(target("two.bmp"), slot, &why), QynFileAccess::Success);
    oldEntries = fixture::entries(dir.path());
    const QynImage* images[] = {&slot, &slot};
    const QString twice[] = {target("same.bmp"), dir.path() + "/./same.bmp"};
    EXPECT_EQ(QynFileAccess::saveFiles(twice, images, &why), QynFileAccess::CannotWrite);
    EXPECT_EQ(why, "the same file is named twice");
    expectUntouched();

    if (::geteuid() != 0)
        GTEST_SKIP() << "a link owned by another user needs root to make";
    ASSERT_TRUE(QDir(dir.path()).mkdir("shared"));
    ASSERT_EQ(::chmod(QFile::encodeName(target("shared")).constData(), 01777), 0);
    const QByteArray planted = QFile::encodeName(target("shared/out.bmp"));
    ASSERT_EQ(::symlink(QFile::encodeName(target()).constData(), planted.constData()), 0);
    ASSERT_EQ(::lchown(planted.constData(), 65534, 65534), 0);
    oldEntries = fixture::entries(dir.path());
    EXPECT_EQ(QynFileAccess::saveFile(target("shared/out.bmp"), slot, &why), QynFileAccess::CannotWrite);
    EXPECT_TRUE(why.contains("another user")) << why.toStdString();
    expectUntouched();
}

namespace {

// Puts the test hooks back however a test ends.
struct ResetHooks {
    ~ResetHooks()
    {
        QynAtomicFile::renameFault = nullptr;
        QynAtomicFile::imitateMissing = 0;
    }
};

// Runs `body` in a child process (a fork of this one) and returns how it ended, as
// waitpid reports it; the child exits 0 when `body` returns.
int inChild(const std::function<void()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

}  // namespace

// Guards against a multi-file save that leaves some files replaced when a later rename
// fails: the renames before it are undone (the old files back, new names removed) and
// nothing else stays in the folder; also where the file system has neither anonymous
// files nor hard links (the old files then trade names with the new ones).
TEST_F(SaveFaultsTest, SeveralFilesAreReplacedAllOrNone)
{
    const ResetHooks reset;
    const QString paths[] = {target(), target("new.png"), target("third.bmp"), target("fourth.bmp")};
    const QynImage* images[] = {&slot, &slot, &slot, &slot};
    for (const unsigned missing : {0u, QynAtomicFile::NoAnonymousFiles | QynAtomicFile::NoHardLinks}) {
        QynAtomicFile::imitateMissing = missing;
        QynAtomicFile::renameFault = [](const QByteArray& name) { return name == "fourth.bmp" ? EIO : 0; };
        ASSERT_EQ(QynFileAccess::saveFile(target(), oldImage), QynFileAccess::Success);
        QFile::remove(target("new.png"));
        fixture::writeFile(target("third.bmp"), {3});
        fixture::writeFile(target("fourth.bmp"), {4});
        oldEntries = fixture::entries(dir.path());
        QString why;
        qsizetype failed = -1;
        EXPECT_EQ(QynFileAccess::saveFiles(paths, images, &why, &failed), QynFileAccess::CannotWrite);
        EXPECT_EQ(failed, 3);
        EXPECT_FALSE(why.isEmpty());
        EXPECT_EQ(fixture::readFile(target("third.bmp")), Bytes{3}) << missing;
        EXPECT_EQ(fixture::readFile(target("fourth.bmp")), Bytes{4}) << missing;
        expectUntouched();

        QynAtomicFile::renameFault = nullptr;
        ASSERT_EQ(QynFileAccess::saveFiles(paths, images, &why, &failed), QynFileAccess::Success) << why.toStdString();
        EXPECT_EQ(fixture::entries(dir.path()), (QStringList{"fourth.bmp", "good.bmp", "new.png", "third.bmp"}));
        QynImage back;
        ASSERT_EQ(QynFileAccess::loadFile(target("third.bmp"), back), QynFileAccess::Success);
        EXPECT_EQ(fixture::state(back), fixture::state(slot)) << missing;
    }
}

// Guards against an ending signal landing in the microseconds of a save's renames: a
// child whose rename step raises SIGTERM must end by it only after the new file is in
// place, with nothing hidden beside it.
TEST_F(SaveFaultsTest, ASignalDuringTheRenameWaitsForIt)
{
    const int status = inChild([this] {
        QynAtomicFile::installSignalHandling();
        QynAtomicFile::renameFault = [](const QByteArray&) { return ::raise(SIGTERM); };
        QynFileAccess::saveFile(target(), slot);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    QynImage back;
    ASSERT_EQ(QynFileAccess::loadFile(target(), back), QynFileAccess::Success);
    EXPECT_EQ(fixture::state(back), fixture::state(slot));
    EXPECT_EQ(fixture::entries(dir.path()), oldEntries);
}

// Guards against the temporary files of file systems without anonymous files (NFS): one
// that replaces a private file is private from its first byte; a second signal removes
// every one in flight, however many; and what a process killed by SIGKILL left is removed
// by the next process that saves into the folder, while a live process's file stays.
TEST_F(SaveFaultsTest, NamedTemporaryFilesArePrivateAndNeverOutliveTheirProcess)
{
    const ResetHooks reset;
    QynAtomicFile::imitateMissing = QynAtomicFile::NoAnonymousFiles;
    ASSERT_EQ(::chmod(QFile::encodeName(target()).constData(), 0600), 0);
    {
        QynAtomicFile file;
        ASSERT_EQ(file.open(target()), QynFileAccess::Success);
        const QStringList hidden = QDir(dir.path()).entryList({".qyn-*"}, QDir::Files | QDir::Hidden);
        ASSERT_EQ(hidden.size(), 1);
        EXPECT_EQ(statOf(dir.filePath(hidden.front())).st_mode & 07777, 0600u);
    }
    EXPECT_EQ(fixture::entries(dir.path()), oldEntries);

    const int status = inChild([this] {
        QynAtomicFile::installSignalHandling();
        std::vector<std::unique_ptr<QynAtomicFile>> files;
        for (int i = 0; i < 100; ++i)
            if (files.emplace_back(std::make_unique<QynAtomicFile>())->open(target(QString("f%1.bmp").arg(i))) != 0)
                ::_exit(1);
        ::raise(SIGINT);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(fixture::entries(dir.path()), oldEntries);

    QynAtomicFile live;
    ASSERT_EQ(live.open(target("live.bmp")), QynFileAccess::Success);
    ASSERT_EQ(inChild([this] {
                  QynAtomicFile file;
                  file.open(target("killed.bmp"));
                  ::raise(SIGKILL);
              }),
              SIGKILL);
    ASSERT_EQ(QDir(dir.path()).entryList({".qyn-*"}, QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_EQ(inChild([this] { ::_exit(QynFileAccess::saveFile(target("next.bmp"), slot) == 0 ? 0 : 1); }), 0);
    EXPECT_EQ(QDir(dir.path()).entryList({".qyn-*"}, QDir::Files | QDir::Hidden).size(), 1);
}
