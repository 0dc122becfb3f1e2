#include "FakeGigECamera.h"

#include "QynGst.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const bool dropped = [] {
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
}();

}  // namespace

bool FakeGigECamera::rawNetworkDropped()
{
    return dropped;
}

QString FakeGigECamera::missing()
{
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
    process_.start(QStringLiteral("arv-fake-gv-camera-0.8"), {"-i", "127.0.0.1", "-s", serial_});
    if (!process_.waitForStarted(5000))
        return false;
    for (int attempt = 0; attempt < 30; ++attempt) {
        QProcess list;
        list.start(QStringLiteral("arv-tool-0.8"), {});
        list.waitForFinished(5000);
        if (QString::fromUtf8(list.readAllStandardOutput()).contains(name()))
            return control({QStringLiteral("Width=%1").arg(width), QStringLiteral("Height=%1").arg(height)}).size() == 2;
        QThread::msleep(500);
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
    tool.start(QStringLiteral("arv-tool-0.8"), QStringList{"-n", name(), "control"} + arguments);
    std::map<QString, QString> values;
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
        return values;
    // "GainRaw = 7 min:0 max:10"
    static const QRegularExpression line(QStringLiteral("^(\\w+) = (\\S+)"), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(QString::fromUtf8(tool.readAllStandardOutput())); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        values[m.captured(1)] = m.captured(2);
    }
    return values;
}
