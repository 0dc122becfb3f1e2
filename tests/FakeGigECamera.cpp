#include "FakeGigECamera.h"

#include "QynGst.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <linux/capability.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool writeFile(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

// A network namespace with its loopback interface up: as root a new one directly (as
// `unshare -n`), otherwise inside a user namespace that maps the user to itself (as
// `unshare -rn`, keeping the user's own id). A user namespace can only be entered while
// the process has one thread, hence before main(). Returns the problem, or empty.
std::string enterOwnNetwork()
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid == 0) {
        if (::unshare(CLONE_NEWNET) != 0)
            return systemError("unshare(CLONE_NEWNET)");
    } else {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            return systemError("unshare(CLONE_NEWUSER | CLONE_NEWNET)");
        if (!writeFile("/proc/self/setgroups", "deny")
            || !writeFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1")
            || !writeFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
            return systemError("mapping the user into its namespace");
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return systemError("socket");
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0
                    && (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    const std::string problem = up ? std::string() : systemError("setting lo up");
    ::close(fd);
    return problem;
}

bool dropRawNetwork()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned bit = 1u << (CAP_NET_RAW % 32);
    auto& word = data[CAP_NET_RAW / 32];
    word.effective &= ~bit;
    word.permitted &= ~bit;
    word.inheritable &= ~bit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// The namespace first: entering a user namespace gives the process every capability in it.
const std::string networkProblem = enterOwnNetwork();
const bool dropped = dropRawNetwork();

}  // namespace

bool FakeGigECamera::rawNetworkDropped()
{
    return dropped;
}

QString FakeGigECamera::missing()
{
    if (!networkProblem.empty())
        return QStringLiteral("no network namespace of its own (%1)").arg(QString::fromStdString(networkProblem));
    for (const char* tool : {"arv-fake-gv-camera-0.8", "arv-tool-0.8"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed (Debian packages aravis-tools, aravis-tools-cli)")
                .arg(QString::fromLatin1(tool));
    qyn::gst::ensureInitialized();
    if (!qyn::gst::ObjectPtr<GstElementFactory>(gst_element_factory_find("aravissrc")))
        return QStringLiteral("GStreamer has no aravissrc (Debian package libaravis-0.8-0)");
    return {};
}

bool FakeGigECamera::start(int width, int height)
{
    process_.start(QStringLiteral("arv-fake-gv-camera-0.8"), {"-i", name(), "-s", QStringLiteral("QYNTEST")});
    if (!process_.waitForStarted(10000))
        return false;
    const QStringList size{QStringLiteral("Width=%1").arg(width), QStringLiteral("Height=%1").arg(height)};
    for (QDeadlineTimer deadline(30000); !deadline.hasExpired(); QThread::msleep(200)) {
        if (process_.state() == QProcess::NotRunning)
            return false;
        if (control(size).size() == 2)
            return true;
    }
    return false;
}

void FakeGigECamera::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000))
        process_.kill();
    process_.waitForFinished(5000);
}

std::map<QString, QString> FakeGigECamera::control(const QStringList& arguments) const
{
    QProcess tool;
    tool.start(QStringLiteral("arv-tool-0.8"), QStringList{"-a", name(), "control"} + arguments);
    std::map<QString, QString> values;
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return values;
    // "GainRaw = 7 min:0 max:10"
    static const QRegularExpression line(QStringLiteral("^(\\w+) = (\\S+)"), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(QString::fromUtf8(tool.readAllStandardOutput())); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        values[m.captured(1)] = m.captured(2);
    }
    return values;
}
