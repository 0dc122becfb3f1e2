#include "QynTemporaryName.h"

#include <QList>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <set>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr char Prefix[] = ".qyn-";
constexpr char Suffix[] = ".tmp";
constexpr std::int64_t ForeignAgeSeconds = 24 * 60 * 60;

QByteArray readSmallFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::array<char, 1024> buffer{};
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    ::close(fd);
    return got > 0 ? QByteArray(buffer.data(), got) : QByteArray();
}

// This boot of this machine and this process namespace, as 16 hex digits; empty when the
// system does not say (then nothing is ever swept).
QByteArray machineTag()
{
    static const QByteArray tag = [] {
        const QByteArray boot = readSmallFile("/proc/sys/kernel/random/boot_id").trimmed();
        std::array<char, 64> ns{};
        const ssize_t length = ::readlink("/proc/self/ns/pid", ns.data(), ns.size() - 1);
        if (boot.isEmpty() || length <= 0)
            return QByteArray();
        std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
        for (char c : boot + '/' + QByteArray(ns.data(), length))
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        return QByteArray::number(static_cast<qulonglong>(hash), 16).rightJustified(16, '0');
    }();
    return tag;
}

// The start time of a process in clock ticks since boot (field 22 of its stat); false
// when there is no such process, with `known` false when /proc cannot tell.
bool startTime(pid_t pid, std::uint64_t& start, bool& known)
{
    known = true;
    const QByteArray path = "/proc/" + QByteArray::number(pid) + "/stat";
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        known = errno == ENOENT;
        return false;
    }
    std::array<char, 1024> buffer{};
    const ssize_t got = ::read(fd, buffer.data(), buffer.size() - 1);
    ::close(fd);
    const QByteArray stat(buffer.data(), got > 0 ? got : 0);
    const qsizetype name = stat.lastIndexOf(')');  // the command name may hold spaces
    const QList<QByteArray> fields = stat.mid(name + 2).split(' ');
    constexpr int StartField = 22 - 3;  // fields after the name start at the third
    bool ok = false;
    if (name >= 0 && fields.size() > StartField)
        start = fields[StartField].toULongLong(&ok);
    known = ok;
    return ok;
}

struct Self {
    pid_t pid = 0;
    std::uint64_t start = 0;
};

Self self()
{
    static std::mutex mutex;
    static Self cached;
    const std::lock_guard lock(mutex);
    if (cached.pid != ::getpid()) {  // first call, or a forked child
        cached.pid = ::getpid();
        bool known = false;
        if (!startTime(cached.pid, cached.start, known))
            cached.start = 0;
    }
    return cached;
}

QByteArray randomLetters()
{
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::array<unsigned char, 12> random{};
    std::size_t got = 0;
    while (got < random.size()) {
        const ssize_t n = ::getrandom(random.data() + got, random.size() - got, 0);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (errno != EINTR)
            break;
    }
    QByteArray letters;
    for (unsigned char r : random)
        letters += Letters[r % 32];
    return letters;
}

struct Parts {
    QByteArray machine;
    pid_t pid = 0;
    std::uint64_t start = 0;
};

bool parse(const QByteArray& name, Parts& parts)
{
    if (!name.startsWith(Prefix) || !name.endsWith(Suffix))
        return false;
    const QList<QByteArray> fields =
        name.mid(sizeof Prefix - 1, name.size() - qsizetype{sizeof Prefix - 1} - qsizetype{sizeof Suffix - 1}).split('-');
    if (fields.size() != 4 || fields[0].size() != 16 || fields[3].size() != 12)
        return false;
    bool pidOk = false, startOk = false;
    parts.machine = fields[0];
    parts.pid = static_cast<pid_t>(fields[1].toInt(&pidOk));
    parts.start = fields[2].toULongLong(&startOk);
    return pidOk && startOk && parts.pid > 0;
}

bool leftover(const Parts& parts, std::int64_t lastTouched)
{
    if (parts.machine != machineTag())
        return std::int64_t{std::time(nullptr)} - lastTouched > ForeignAgeSeconds;
    const Self me = self();
    if (parts.pid == me.pid && parts.start == me.start)
        return false;
    std::uint64_t start = 0;
    bool known = false;
    const bool running = startTime(parts.pid, start, known);
    return known && (!running || start != parts.start);
}

}  // namespace

QByteArray QynTemporaryName::make()
{
    const Self me = self();
    const QByteArray machine = machineTag().isEmpty() ? QByteArray(16, '0') : machineTag();
    return Prefix + machine + '-' + QByteArray::number(me.pid) + '-' + QByteArray::number(static_cast<qulonglong>(me.start))
        + '-' + randomLetters() + Suffix;
}

void QynTemporaryName::sweep(int dirFd)
{
    if (machineTag().isEmpty())
        return;  // without /proc no process can be told alive or dead
    struct stat folder {};
    if (::fstat(dirFd, &folder) != 0)
        return;
    {
        static std::mutex mutex;
        static std::set<std::pair<dev_t, ino_t>> swept;
        static pid_t sweeper = 0;
        const std::lock_guard lock(mutex);
        if (sweeper != ::getpid()) {  // a forked child is a process of its own
            swept.clear();
            sweeper = ::getpid();
        }
        if (!swept.insert({folder.st_dev, folder.st_ino}).second)
            return;
    }
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd), &::closedir);
    if (!dir) {
        ::close(listFd);
        return;
    }
    const uid_t user = ::geteuid();
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        Parts parts;
        if (!parse(name, parts))
            continue;
        struct stat st {};
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || (user != 0 && st.st_uid != user))
            continue;
        if (leftover(parts, std::max<std::int64_t>(st.st_mtime, st.st_ctime)))
            ::unlinkat(dirFd, name.constData(), 0);
    }
}
