// Saves that cannot succeed: each must leave a non-zero code, the file that was there
// before byte for byte, and no temporary file beside it.
#include "ImageFileFixtures.h"
#include "QynFileAccess.h"
#include "QynImage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

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
    // The same through Qt's writers, over a PNG of the same name.
    ASSERT_EQ(QynFileAccess::saveFile(target("good.png"), oldImage), QynFileAccess::Success);
    const Bytes oldPng = fixture::readFile(target("good.png"));
    oldEntries = fixture::entries(dir.path());
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok());
        EXPECT_EQ(QynFileAccess::saveFile(target("good.png"), slot), QynFileAccess::CannotWrite);
    }
    EXPECT_EQ(fixture::readFile(target("good.png")), oldPng);
    expectUntouched();
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
