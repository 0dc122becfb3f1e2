#include "QynAtomicFile.h"

#include "QynFileResult.h"
#include "QynNativePath.h"
#include "QynTemporaryName.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <unistd.h>
#include <vector>

// Names of temporary files, for the signal handler: written and read without locks or
// allocation, as a handler may only do. Blocks of entries are added when all are taken
// and never freed, so the handler can walk them at any moment and no count is too many.
struct QynAtomicFileEntry {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in use
    int dirFd = -1;
    std::array<char, 96> name{};
};

namespace {

using Registered = QynAtomicFileEntry;
constexpr int MaxLinks = 40;  // as the kernel allows in one path

struct RegisteredBlock {
    std::array<Registered, 64> entries;
    RegisteredBlock* next = nullptr;  // set before the block is shared, never changed after
};
std::atomic<RegisteredBlock*> registered{nullptr};

// Files being published, and an ending signal that came meanwhile. The publishing
// thread holds the ending signals back, but the process's other threads (the row
// pool's, Qt's) may take one: their handler leaves it here, and the last publish to
// finish raises it again once every name is settled. Low 16 bits: publishes under way;
// above them: the signal held back.
std::atomic<int> publishing{0};
constexpr int PublishMask = 0xffff;

Registered* registerName(int dirFd, const QByteArray& name)
{
    if (name.size() >= static_cast<qsizetype>(Registered{}.name.size()))
        return nullptr;  // not one of our names: never the case
    for (;;) {
        for (RegisteredBlock* block = registered.load(); block; block = block->next)
            for (Registered& entry : block->entries) {
                int expected = 0;
                if (!entry.state.compare_exchange_strong(expected, 1))
                    continue;
                entry.dirFd = dirFd;
                std::memcpy(entry.name.data(), name.constData(), static_cast<std::size_t>(name.size()) + 1);
                entry.state.store(2);
                return &entry;
            }
        auto* block = new RegisteredBlock;  // all taken: one more block
        block->next = registered.load();
        while (!registered.compare_exchange_weak(block->next, block)) {
        }
    }
}

void unregisterName(Registered*& entry)
{
    if (entry)
        entry->state.store(0);
    entry = nullptr;
}

void removeRegisteredAndEnd(int signal)
{
    for (int state = publishing.load(); (state & PublishMask) != 0;)
        if (publishing.compare_exchange_weak(state, (state & PublishMask) | signal << 16))
            return;
    for (RegisteredBlock* block = registered.load(); block; block = block->next)
        for (Registered& entry : block->entries)
            if (entry.state.load() == 2)
                ::unlinkat(entry.dirFd, entry.name.data(), 0);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folder and name of the file a path finally names, links followed.
struct Target {
    QByteArray dir;
    QByteArray name;
    bool exists = false;
    struct stat st {};
};

void split(const QByteArray& path, QByteArray& dir, QByteArray& name)
{
    const qsizetype slash = path.lastIndexOf('/');
    dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    name = path.mid(slash + 1);
}

// A link in a world-writable sticky folder (such as /tmp) made by neither the process's
// user nor the folder's owner: the kernel's protected links refuse to follow it.
bool foreignInSharedFolder(const struct stat& dir, const struct stat& link)
{
    return (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH) && link.st_uid != ::geteuid()
        && link.st_uid != dir.st_uid;
}

// Returns an empty string or the reason the path cannot take a file.
QString resolve(QByteArray path, Target& target)
{
    for (int links = 0;; ++links) {
        if (links > MaxLinks)
            return QStringLiteral("too many symbolic links");
        split(path, target.dir, target.name);
        if (target.name.isEmpty() || target.name == "." || target.name == "..")
            return QStringLiteral("the path names a folder, not a file");
        struct stat dir {};
        if (::stat(target.dir.constData(), &dir) != 0)
            return errno == ENOENT ? QStringLiteral("the folder does not exist") : systemError(errno);
        if (!S_ISDIR(dir.st_mode))
            return QStringLiteral("the folder is not a folder");
        if (::lstat(path.constData(), &target.st) != 0) {
            if (errno != ENOENT)
                return systemError(errno);
            target.exists = false;
            break;
        }
        target.exists = true;
        if (S_ISREG(target.st.st_mode))
            break;
        if (S_ISDIR(target.st.st_mode))
            return QStringLiteral("the path is a folder");
        if (!S_ISLNK(target.st.st_mode))
            return QStringLiteral("the path is a device, pipe or socket, not a file");
        if (foreignInSharedFolder(dir, target.st))
            return QStringLiteral("the path is a link that another user made in a shared folder");
        std::vector<char> link(static_cast<std::size_t>(target.st.st_size > 0 ? target.st.st_size : 255) + 1);
        const ssize_t length = ::readlink(path.constData(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size())
            return QStringLiteral("the link changed while it was read");
        const QByteArray to(link.data(), length);
        path = to.startsWith('/') ? to : target.dir + '/' + to;
    }
    // The kernel lets nobody but its owner replace a file in a sticky folder, and the
    // backup that replacing several files makes could not be removed either.
    if (target.exists && ::geteuid() != 0) {
        struct stat dir {};
        if (::stat(target.dir.constData(), &dir) == 0 && (dir.st_mode & S_ISVTX) && target.st.st_uid != ::geteuid()
            && dir.st_uid != ::geteuid())
            return QStringLiteral("the file belongs to another user in a shared folder");
    }
    if (target.exists && ::faccessat(AT_FDCWD, (target.dir + '/' + target.name).constData(), W_OK, AT_EACCESS) != 0)
        return errno == EACCES ? QStringLiteral("no permission to write the file") : systemError(errno);
    if (::faccessat(AT_FDCWD, target.dir.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return errno == EACCES ? QStringLiteral("no permission to write in the folder") : systemError(errno);
    return {};
}

// Signals that would end the process while files trade places: held back from this
// thread, and left for later by the handler on any other.
class BlockEndingSignals {
public:
    BlockEndingSignals()
    {
        sigset_t ending;
        sigemptyset(&ending);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&ending, s);
        publishing.fetch_add(1);
        pthread_sigmask(SIG_BLOCK, &ending, &old_);
    }
    ~BlockEndingSignals()
    {
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
        for (int state = publishing.load();;) {
            const int left = (state & PublishMask) - 1;
            const int held = left == 0 ? state >> 16 : 0;
            if (publishing.compare_exchange_weak(state, held ? 0 : state - 1)) {
                if (held)
                    ::raise(held);
                return;
            }
        }
    }
    BlockEndingSignals(const BlockEndingSignals&) = delete;
    BlockEndingSignals& operator=(const BlockEndingSignals&) = delete;

private:
    sigset_t old_{};
};

}  // namespace

QynAtomicFile::~QynAtomicFile()
{
    discard();
}

std::int32_t QynAtomicFile::fail(const QString& why)
{
    reason_ = why;
    discard();
    return QynFileResult::CannotWrite;
}

void QynAtomicFile::discard()
{
    if (!tempName_.isEmpty())
        ::unlinkat(dirFd_, tempName_.constData(), 0);
    tempName_.clear();
    unregisterName(registration_);
    if (fd_ >= 0)
        ::close(fd_);
    if (dirFd_ >= 0)
        ::close(dirFd_);
    fd_ = dirFd_ = -1;
    complete_ = false;
}

std::int32_t QynAtomicFile::check(const QString& path, QString* why, QByteArray* identity)
{
    Target target;
    const QString problem = resolve(qynPathToNative(path), target);
    if (why)
        *why = problem;
    if (!problem.isEmpty())
        return QynFileResult::CannotWrite;
    if (identity) {
        char* dir = ::realpath(target.dir.constData(), nullptr);
        *identity = (dir ? QByteArray(dir) : target.dir) + '/' + target.name;
        std::free(dir);
    }
    return QynFileResult::Success;
}

std::int32_t QynAtomicFile::open(const QString& path)
{
    discard();
    reason_.clear();
    Target target;
    if (const QString problem = resolve(qynPathToNative(path), target); !problem.isEmpty())
        return fail(problem);
    name_ = target.name;
    replaces_ = target.exists;
    old_ = target.st;
    dirFd_ = ::open(target.dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0)
        return fail(systemError(errno));
    QynTemporaryName::sweep(dirFd_);  // what a killed process of ours left here

    fd_ = (imitateMissing & NoAnonymousFiles) ? -1 : ::openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        // Naming it later goes through /proc, or needs a capability without it.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
        if (::access(self.constData(), F_OK) == 0 || ::geteuid() == 0) {
            anonymous_ = true;
            return QynFileResult::Success;
        }
        ::close(fd_);
        fd_ = -1;
    } else if (!(imitateMissing & NoAnonymousFiles) && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return fail(systemError(errno));
    }
    anonymous_ = false;
    // Named from the start: private until complete() gives it the old file's mode and
    // owner, so nobody else can read the new content meanwhile. A new file gets the mode
    // it keeps.
    const mode_t mode = replaces_ ? 0600 : 0666;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        const QByteArray name = QynTemporaryName::make();
        fd_ = ::openat(dirFd_, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            tempName_ = name;
            registration_ = registerName(dirFd_, tempName_);
        } else if (errno != EEXIST) {
            return fail(systemError(errno));
        }
    }
    return fd_ >= 0 ? QynFileResult::Success : fail(QStringLiteral("no free temporary name"));
}

std::int32_t QynAtomicFile::complete()
{
    if (fd_ < 0)
        return fail(QStringLiteral("the file is not open"));
    if (replaces_) {
        const mode_t mode = old_.st_mode & 07777;
        // The old owner where the process may give it (root may), else at least its group.
        if ((old_.st_uid != ::geteuid() || old_.st_gid != ::getegid())
            && ::fchown(fd_, old_.st_uid, old_.st_gid) != 0) {
            // Without the right to give the owner, the group where the user is in it;
            // else the file stays in the user's own group.
            [[maybe_unused]] const int grouped = ::fchown(fd_, static_cast<uid_t>(-1), old_.st_gid);
        }
        // After the owner: changing it clears the set-id bits.
        if (::fchmod(fd_, mode) != 0)
            return fail(systemError(errno));
    }
    if (::fsync(fd_) != 0)
        return fail(systemError(errno));
    complete_ = true;
    return QynFileResult::Success;
}

bool QynAtomicFile::linkAnonymous(const QByteArray& name)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
    return ::linkat(AT_FDCWD, self.constData(), dirFd_, name.constData(), AT_SYMLINK_FOLLOW) == 0
        || (errno == ENOENT && ::linkat(fd_, "", dirFd_, name.constData(), AT_EMPTY_PATH) == 0);
}

QString QynAtomicFile::nameAnonymous()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = QynTemporaryName::make();
        if (linkAnonymous(name)) {
            tempName_ = name;
            return {};
        }
        if (errno != EEXIST)
            return systemError(errno);
    }
    return QStringLiteral("no free temporary name");
}

QString QynAtomicFile::keepOld(QByteArray& backup)
{
    // A second name for the old file, where the file system has hard links.
    int error = EPERM;
    for (int attempt = 0; attempt < 100 && !(imitateMissing & NoHardLinks); ++attempt) {
        const QByteArray name = QynTemporaryName::make();
        if (::linkat(dirFd_, name_.constData(), dirFd_, name.constData(), 0) == 0) {
            backup = name;
            return {};
        }
        if ((error = errno) != EEXIST)
            break;
    }
    if (error == EEXIST)
        return QStringLiteral("no free temporary name");
    // Else the new file and the old one trade names in one step: the old one keeps the
    // temporary name.
    if (::renameat2(dirFd_, tempName_.constData(), dirFd_, name_.constData(), RENAME_EXCHANGE) == 0) {
        backup = tempName_;
        tempName_.clear();
        return {};
    }
    return QStringLiteral("the old file cannot be kept while it is replaced (the file system has neither hard "
                          "links nor exchanging renames): ")
        + systemError(error);
}

std::int32_t QynAtomicFile::publish()
{
    QynAtomicFile* self = this;
    return publish(std::span<QynAtomicFile* const>(&self, 1));
}

std::int32_t QynAtomicFile::publish(std::span<QynAtomicFile* const> files, qsizetype* failed)
{
    const BlockEndingSignals blocked;
    const auto failAt = [&](std::size_t i, const QString& why) {
        if (failed)
            *failed = static_cast<qsizetype>(i);
        for (QynAtomicFile* file : files)
            if (file != files[i])
                file->discard();
        return files[i]->fail(why);
    };
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!files[i]->complete_)
            return failAt(i, QStringLiteral("the file is not complete"));
    // New targets first: only a replaced file that another follows needs its old file
    // kept, so one replaced file among new ones (a resumed decompose) never does.
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_partition(order.begin(), order.end(), [&](std::size_t i) { return !files[i]->replaces_; });

    std::vector<QByteArray> backups(files.size());
    const auto undo = [&](std::size_t done, std::size_t culprit, const QString& why) {
        for (std::size_t step = 0; step < done; ++step) {
            const std::size_t j = order[step];
            QynAtomicFile& f = *files[j];
            if (backups[j].isEmpty())
                ::unlinkat(f.dirFd_, f.name_.constData(), 0);
            else
                ::renameat(f.dirFd_, backups[j].constData(), f.dirFd_, f.name_.constData());
            // A backup that could not go back keeps the old content under its hidden name.
            backups[j].clear();
        }
        if (!backups[culprit].isEmpty())  // a second name of an old file still in place
            ::unlinkat(files[culprit]->dirFd_, backups[culprit].constData(), 0);
        return failAt(culprit, why);  // removes the temporary names
    };
    // Each file takes its name with the ending signals held back, so no kill but SIGKILL
    // comes between; a new target is linked straight to its name and never has another.
    for (std::size_t step = 0; step < order.size(); ++step) {
        const std::size_t i = order[step];
        QynAtomicFile& f = *files[i];
        if (const int fault = renameFault ? renameFault(f.name_) : 0)
            return undo(step, i, systemError(fault));
        if (f.anonymous_ && !f.replaces_ && f.linkAnonymous(f.name_))
            continue;
        if (f.anonymous_)
            if (const QString problem = f.nameAnonymous(); !problem.isEmpty())
                return undo(step, i, problem);
        if (f.replaces_ && step + 1 < order.size()) {
            if (const QString problem = f.keepOld(backups[i]); !problem.isEmpty())
                return undo(step, i, problem);
            if (f.tempName_.isEmpty())
                continue;  // traded names with the old file: in place
        }
        if (::renameat(f.dirFd_, f.tempName_.constData(), f.dirFd_, f.name_.constData()) != 0)
            return undo(step, i, systemError(errno));
        f.tempName_.clear();
        unregisterName(f.registration_);
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!backups[i].isEmpty())
            ::unlinkat(files[i]->dirFd_, backups[i].constData(), 0);
    for (QynAtomicFile* file : files) {
        ::fsync(file->dirFd_);  // the new names outlive a power cut
        file->discard();
    }
    return QynFileResult::Success;
}

void QynAtomicFile::installSignalHandling()
{
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(s, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
            continue;  // ignored or handled by the program: leave it so
        struct sigaction handler {};
        handler.sa_handler = removeRegisteredAndEnd;
        sigemptyset(&handler.sa_mask);
        ::sigaction(s, &handler, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}
